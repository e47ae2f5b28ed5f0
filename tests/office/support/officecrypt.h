// Writers of password-protected files for the readers' tests, written apart
// from the readers' own code so that the tests make their fixtures
// themselves: XOR obfuscation of a BIFF5 or BIFF8 workbook stream, and the
// two schemes of Office Open XML encryption (Standard: AES in ECB mode with
// a key made by SHA-1 over 50,000 rounds; Agile: an XML descriptor, AES in
// CBC mode over 4096-byte segments, SHA-1 or SHA-512 repeated spinCount
// times), wrapped in a compound file as Office writes them.
#pragma once

#include "support/excelfixtures.h"

#include <nettle/aes.h>
#include <nettle/base64.h>
#include <nettle/cbc.h>
#include <nettle/nettle-meta.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace officecrypt {

using excelfixtures::Bytes;
using excelfixtures::Utf16;
using excelfixtures::Put32;

// ---- XOR obfuscation of a workbook stream --------------------------------

// The key and verifier Excel writes in FILEPASS for its default password
// "VelvetSweatshop" under XOR obfuscation.
constexpr std::uint16_t kDefaultXorKey = 0xB359;
constexpr std::uint16_t kDefaultXorVerifier = 0x9A0A;

// The 16 bytes the data is combined with, from the password (one byte a
// character) and its 16-bit key: the password padded with fixed bytes,
// each byte XORed with the key's low (even places) or high (odd places)
// byte and rotated right by one bit.
inline std::array<std::uint8_t, 16> XorArray(const std::string& password, std::uint16_t key)
{
    static const std::uint8_t pad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                         0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
    std::array<std::uint8_t, 16> out{};
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint8_t b = i < password.size() ? static_cast<std::uint8_t>(password[i]) : pad[i - password.size()];
        const auto k = static_cast<std::uint8_t>(i % 2 == 0 ? key & 0xFF : key >> 8);
        const auto x = static_cast<std::uint8_t>(b ^ k);
        out[i] = static_cast<std::uint8_t>((x >> 1) | (x << 7));
    }
    return out;
}

// Obfuscates every record of `stream` but the ones left in clear (BOF,
// FILEPASS and a few more) and the stream offset of BOUNDSHEET: each data
// byte is rotated left by 5 bits and XORed with the array entry of its
// place, counted from where its record's data ends.
inline void XorObfuscate(Bytes& stream, const std::array<std::uint8_t, 16>& array)
{
    std::size_t pos = 0;
    while (stream.size() - pos >= 4) {
        const unsigned type = stream[pos] | (stream[pos + 1] << 8);
        const std::size_t size = stream[pos + 2] | (stream[pos + 3] << 8);
        const std::size_t body = pos + 4;
        if (stream.size() - body < size) break;
        const bool clear = type == 0x0809 || type == 0x002F || type == 0x0194 || type == 0x0195 || type == 0x00E1 ||
                           type == 0x0196 || type == 0x0138;
        if (!clear) {
            for (std::size_t i = type == 0x0085 ? 4 : 0; i < size; ++i) {
                const std::uint8_t v = stream[body + i];
                const auto rotated = static_cast<std::uint8_t>((v << 5) | (v >> 3));
                stream[body + i] = static_cast<std::uint8_t>(rotated ^ array[(body + size + i) % 16]);
            }
        }
        pos = body + size;
    }
}

// ---- Office Open XML encryption ------------------------------------------

inline Bytes HashOf(const nettle_hash& h, const std::vector<Bytes>& pieces)
{
    std::vector<std::uint8_t> ctx(h.context_size);
    h.init(ctx.data());
    for (const auto& p : pieces) h.update(ctx.data(), p.size(), p.data());
    Bytes out(h.digest_size);
    h.digest(ctx.data(), out.size(), out.data());
    return out;
}

inline Bytes Round(std::uint32_t i)
{
    Bytes b;
    Put32(b, i);
    return b;
}

// H(salt, password), then `spins` times H(round number, previous).
inline Bytes IteratedHash(const nettle_hash& h, const Bytes& salt, const std::u16string& password, std::uint32_t spins)
{
    Bytes current = HashOf(h, {salt, Utf16(password)});
    for (std::uint32_t i = 0; i < spins; ++i) current = HashOf(h, {Round(i), current});
    return current;
}

// AES over `data` padded to whole blocks: in ECB mode, or in CBC mode from
// `iv` when one is given.
inline Bytes EncryptAes(const Bytes& key, Bytes data, Bytes iv = {})
{
    const nettle_cipher& aes = key.size() == 16 ? nettle_aes128 : key.size() == 24 ? nettle_aes192 : nettle_aes256;
    std::vector<std::uint8_t> ctx(aes.context_size);
    aes.set_encrypt_key(ctx.data(), key.data());
    data.resize((data.size() + 15) / 16 * 16, 0);
    if (iv.empty()) aes.encrypt(ctx.data(), data.size(), data.data(), data.data());
    else cbc_encrypt(ctx.data(), aes.encrypt, 16, iv.data(), data.size(), data.data(), data.data());
    return data;
}

inline std::string Base64(const Bytes& b)
{
    std::string out(BASE64_ENCODE_RAW_LENGTH(b.size()), '\0');
    base64_encode_raw(out.data(), b.size(), b.data());
    return out;
}

inline Bytes SizePrefix(std::size_t size)
{
    Bytes b;
    Put32(b, static_cast<std::uint32_t>(size));
    Put32(b, static_cast<std::uint32_t>(static_cast<std::uint64_t>(size) >> 32));
    return b;
}

inline Bytes Fixed(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return b;
}

struct EncryptedFile {
    Bytes info;
    Bytes package;
    Bytes File() const { return excelfixtures::CompoundFileOf({{"EncryptionInfo", info}, {"EncryptedPackage", package}}); }
};

// Standard Encryption of `zip` with an AES key of `keyBytes` bytes.
inline EncryptedFile EncryptStandard(const Bytes& zip, const std::u16string& password, std::size_t keyBytes = 16,
                                     unsigned versionMajor = 4)
{
    const Bytes salt = Fixed(16, 0x11);
    const Bytes h = IteratedHash(nettle_sha1, salt, password, 50000);
    const Bytes hashed = HashOf(nettle_sha1, {h, Round(0)});
    Bytes x1(64, 0x36), x2(64, 0x5C);
    for (std::size_t i = 0; i < hashed.size(); ++i) {
        x1[i] = static_cast<std::uint8_t>(x1[i] ^ hashed[i]);
        x2[i] = static_cast<std::uint8_t>(x2[i] ^ hashed[i]);
    }
    Bytes key = HashOf(nettle_sha1, {x1});
    const Bytes second = HashOf(nettle_sha1, {x2});
    key.insert(key.end(), second.begin(), second.end());
    key.resize(keyBytes);

    EncryptedFile out;
    Bytes& info = out.info;
    info = {static_cast<std::uint8_t>(versionMajor), 0, 2, 0};
    const std::uint32_t flags = 0x24;  // CryptoAPI, AES
    Put32(info, flags);
    // Flags, size of extra data, AES-128/192/256, SHA-1, key bits, provider
    // type, two reserved words.
    Bytes header;
    for (std::uint32_t v : {flags, 0u, keyBytes == 16 ? 0x660Eu : keyBytes == 24 ? 0x660Fu : 0x6610u, 0x8004u,
                            static_cast<std::uint32_t>(keyBytes * 8), 0x18u, 0u, 0u})
        Put32(header, v);
    const Bytes provider = Utf16(u"Microsoft Enhanced RSA and AES Cryptographic Provider");
    header.insert(header.end(), provider.begin(), provider.end());
    header.push_back(0);
    header.push_back(0);
    Put32(info, static_cast<std::uint32_t>(header.size()));
    info.insert(info.end(), header.begin(), header.end());
    const Bytes verifier = Fixed(16, 0x42);
    Put32(info, 16);
    info.insert(info.end(), salt.begin(), salt.end());
    const Bytes encryptedVerifier = EncryptAes(key, verifier);
    info.insert(info.end(), encryptedVerifier.begin(), encryptedVerifier.end());
    Put32(info, 20);
    const Bytes encryptedHash = EncryptAes(key, HashOf(nettle_sha1, {verifier}));
    info.insert(info.end(), encryptedHash.begin(), encryptedHash.end());

    out.package = SizePrefix(zip.size());
    const Bytes data = EncryptAes(key, zip);
    out.package.insert(out.package.end(), data.begin(), data.end());
    return out;
}

inline std::string AgileHashName(const nettle_hash& h)
{
    return &h == &nettle_sha1 ? "SHA1" : &h == &nettle_sha256 ? "SHA256" : &h == &nettle_sha384 ? "SHA384" : "SHA512";
}

// Agile Encryption of `zip`: the package key of `keyBytes` bytes is made
// up, and unlocked by the password key through the descriptor.
inline EncryptedFile EncryptAgile(const Bytes& zip, const std::u16string& password, const nettle_hash& hash,
                                  std::size_t keyBytes = 32, std::uint32_t spinCount = 1000)
{
    const Bytes dataSalt = Fixed(16, 0x21);
    const Bytes passwordSalt = Fixed(16, 0x31);
    const Bytes packageKey = Fixed(keyBytes, 0x51);
    const Bytes verifierInput = Fixed(16, 0x61);
    const Bytes base = IteratedHash(hash, passwordSalt, password, spinCount);
    const auto keyFor = [&](const Bytes& block) {
        Bytes k = HashOf(hash, {base, block});
        k.resize(keyBytes, 0x36);
        return k;
    };
    const Bytes blockInput = {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79};
    const Bytes blockValue = {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E};
    const Bytes blockKey = {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6};
    const Bytes encInput = EncryptAes(keyFor(blockInput), verifierInput, passwordSalt);
    const Bytes encValue = EncryptAes(keyFor(blockValue), HashOf(hash, {verifierInput}), passwordSalt);
    const Bytes encKey = EncryptAes(keyFor(blockKey), packageKey, passwordSalt);
    const std::string name = AgileHashName(hash);
    const std::string bits = std::to_string(keyBytes * 8);
    const std::string hashSize = std::to_string(hash.digest_size);
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<keyData saltSize=\"16\" blockSize=\"16\" keyBits=\"" + bits + "\" hashSize=\"" + hashSize +
        "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"" + name + "\" saltValue=\"" +
        Base64(dataSalt) + "\"/>"
        "<dataIntegrity encryptedHmacKey=\"AAAA\" encryptedHmacValue=\"AAAA\"/>"
        "<keyEncryptors><keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<p:encryptedKey spinCount=\"" + std::to_string(spinCount) + "\" saltSize=\"16\" blockSize=\"16\" keyBits=\"" +
        bits + "\" hashSize=\"" + hashSize + "\" cipherAlgorithm=\"AES\" cipherChaining=\"ChainingModeCBC\" "
        "hashAlgorithm=\"" + name + "\" saltValue=\"" + Base64(passwordSalt) + "\" encryptedVerifierHashInput=\"" +
        Base64(encInput) + "\" encryptedVerifierHashValue=\"" + Base64(encValue) + "\" encryptedKeyValue=\"" +
        Base64(encKey) + "\"/></keyEncryptor></keyEncryptors></encryption>";
    EncryptedFile out;
    Put32(out.info, 0x00040004);  // version 4.4
    Put32(out.info, 0x40);
    for (char c : xml) out.info.push_back(static_cast<std::uint8_t>(c));
    out.package = SizePrefix(zip.size());
    for (std::size_t at = 0, segment = 0; at < zip.size(); at += 4096, ++segment) {
        Bytes iv = HashOf(hash, {dataSalt, Round(static_cast<std::uint32_t>(segment))});
        iv.resize(16, 0x36);
        const Bytes piece(zip.begin() + static_cast<long>(at),
                          zip.begin() + static_cast<long>(std::min(zip.size(), at + 4096)));
        const Bytes enc = EncryptAes(packageKey, piece, iv);
        out.package.insert(out.package.end(), enc.begin(), enc.end());
    }
    return out;
}

}  // namespace officecrypt
