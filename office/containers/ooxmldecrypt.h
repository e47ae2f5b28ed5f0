// Opens an Office Open XML file (.xlsx, .docx and their kin) that was saved
// with a password: such a file is a compound file holding an
// "EncryptionInfo" stream, which says how the key is made from the password
// and checked, and an "EncryptedPackage" stream, the zip package encrypted
// with that key. Excel opens a workbook encrypted with its default password
// "VelvetSweatshop" without asking anyone; the built-in Office does the same
// for both kinds of file and reports every other password as protection.
//
// Two schemes are read, on nettle: Standard Encryption (EncryptionInfo
// version 2.2, 3.2 or 4.2: AES-128/192/256 in ECB mode, the key made from
// SHA-1 over the salted password 50,000 times) and Agile Encryption
// (version 4.4: an XML descriptor, AES in CBC mode over 4096-byte segments,
// SHA-1 or SHA-2 hashing repeated spinCount times). Extensible encryption,
// other ciphers and certificate-only files are reported as protected.
//
// Every size is checked: the EncryptedPackage stream against the file, the
// package size it declares against the stream, and the stream against the
// file's memory budget before it is read. The work is proportional to the
// stream, plus the password hashing, whose repetitions are capped at the
// documented maximum; both look at the stop request as they go.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/text/byteview.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace office {

// The password Office tries on its own before asking the user (Excel's
// "VelvetSweatshop"): a file encrypted with it opens like any other.
constexpr std::u16string_view kDefaultOfficePassword = u"VelvetSweatshop";

class OoxmlDecryptor {
public:
    enum class Result {
        Ok,
        Protected,  // another password, or a scheme not read here
        Damaged,
    };

    // Reads the EncryptionInfo stream.
    Result ReadInfo(ByteView info, ReadError& error);
    // Makes the key from `password` and checks it against the verifier the
    // file holds.
    Result SetPassword(std::u16string_view password, ReadError& error);
    // Decrypts an EncryptedPackage stream in place, leaving the package
    // (cut to the size the stream declares). Throws
    // platform::OperationCancelled when the search is stopped meanwhile.
    Result DecryptPackage(std::vector<std::uint8_t>& stream, ReadError& error) const;

    // The most times the password hash is repeated: the limit the format
    // documents for spinCount.
    static constexpr std::uint32_t kMaxSpinCount = 10'000'000;

private:
    bool m_agile = false;
    // Standard: the AES key size. Agile: the package key's cipher.
    std::size_t m_keyBytes = 16;
    std::size_t m_blockSize = 16;
    std::string m_hash = "SHA1";
    std::vector<std::uint8_t> m_salt;  // Standard: the verifier's; Agile: keyData's
    // Standard: the verifier and its hash, encrypted.
    std::vector<std::uint8_t> m_encryptedVerifier;
    std::vector<std::uint8_t> m_encryptedVerifierHash;
    // Agile: the password key encryptor.
    struct PasswordEncryptor {
        std::uint32_t spinCount = 0;
        std::size_t keyBytes = 16;
        std::size_t blockSize = 16;
        std::string hash = "SHA1";
        std::vector<std::uint8_t> salt;
        std::vector<std::uint8_t> verifierHashInput;
        std::vector<std::uint8_t> verifierHashValue;
        std::vector<std::uint8_t> keyValue;
    } m_password;
    // The key the package was encrypted with, once the password is right.
    std::vector<std::uint8_t> m_key;
};

// What became of a compound file that may hold an encrypted package.
enum class EncryptedPackageState {
    None,       // no encrypted package: read the compound file as it is
    Decrypted,  // `package` holds the zip package
    Protected,  // another password, or an unknown scheme; `error` says which
    Damaged,    // `error` says what
};

// Looks for an encrypted package in the compound file `bytes` and decrypts
// it with `password`. The package is charged to `hold` (the opened file's
// budget) before it is read, and stays charged while the caller keeps it;
// a package beyond the budget throws ReadBudgetExceeded. Throws
// platform::OperationCancelled when the search is stopped meanwhile.
EncryptedPackageState OpenEncryptedPackage(ByteView bytes, std::u16string_view password,
                                           std::vector<std::uint8_t>& package, BudgetHold& hold, ReadError& error);

}  // namespace office
