// Decryption of a workbook stream protected with a password, the way Excel
// opens a workbook encrypted with its default password "VelvetSweatshop"
// without asking anyone: in BIFF8 the original RC4 scheme (MD5 key
// derivation), the CryptoAPI RC4 scheme (SHA-1) and XOR obfuscation; in
// BIFF5 (Excel 5 and 95) XOR obfuscation, the only scheme it has. Any other
// password is reported as a protected workbook.
#pragma once

#include "office/containers/ooxmldecrypt.h"
#include "office/text/byteview.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace office {

class XlsDecryptor {
public:
    // Reads a FILEPASS record's body and checks `password` against its
    // verifier. False with a reason when the scheme is unknown or the
    // password is not the one the workbook was encrypted with. A BIFF5
    // FILEPASS holds only the XOR key and verifier; a BIFF8 one begins with
    // the scheme.
    bool Init(ByteView filePass, std::u16string_view password, ReadError& error, bool biff8 = true);

    // Decrypts every record of the stream in place. Record headers, and the
    // records the format leaves in clear (BOF, FILEPASS, INTERFACEHDR and
    // the like, and a BOUNDSHEET's stream offset), stay as they are, while
    // the key stream still advances over them because it follows the byte
    // position in the stream. Throws platform::OperationCancelled when the
    // search is stopped meanwhile (the stream is then partly decrypted).
    void DecryptStream(std::vector<std::uint8_t>& stream) const;

    // Builds the RC4 key for a 1024-byte block.
    std::vector<std::uint8_t> BlockKey(std::uint32_t block) const;

    // XOR obfuscation's key and password verifier for `password` (its
    // characters made single bytes, at most 15 of them), and the 16-byte
    // array the data is combined with. The key and verifier are what a
    // FILEPASS record stores.
    static std::uint16_t XorKey(std::u16string_view password);
    static std::uint16_t XorVerifier(std::u16string_view password);
    static std::array<std::uint8_t, 16> XorArray(std::u16string_view password);

    // The record types that stay in clear.
    static bool IsClearRecord(std::uint16_t type);

private:
    friend std::vector<std::uint8_t> MakeRc4FilePass(std::u16string_view, const std::array<std::uint8_t, 16>&,
                                                     const std::array<std::uint8_t, 16>&);
    bool InitXor(std::uint16_t key, std::uint16_t verifier, std::u16string_view password, ReadError& error);
    void DecryptRc4(std::vector<std::uint8_t>& stream) const;
    void DecryptXor(std::vector<std::uint8_t>& stream) const;

    bool m_xor = false;
    std::array<std::uint8_t, 16> m_xorArray{};
    bool m_cryptoApi = false;
    std::size_t m_keyBytes = 16;
    // MD5 scheme: the first 5 bytes of the salted password hash.
    // CryptoAPI: SHA-1 of salt and password.
    std::vector<std::uint8_t> m_base;
};

// The FILEPASS body of the original RC4 scheme for `password`, `salt` and
// a verifier, for tests and tools that make encrypted workbooks (RC4 is its
// own inverse, so DecryptStream then encrypts a clear stream).
std::vector<std::uint8_t> MakeRc4FilePass(std::u16string_view password, const std::array<std::uint8_t, 16>& salt,
                                          const std::array<std::uint8_t, 16>& verifier);

}  // namespace office
