// Writers of password-protected files for the readers' tests, written apart
// from the readers' own code so that the tests make their fixtures
// themselves: XOR obfuscation of a BIFF5 or BIFF8 workbook stream, and the
// wrapping of an Office Open XML package's encryption streams (the
// encrypted streams themselves are fixtures in tests/data/encrypted) in a
// compound file as Office writes them.
#pragma once

#include "support/excelfixtures.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace officecrypt {

using excelfixtures::Bytes;
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

// The 8-byte size that starts an EncryptedPackage stream.
inline Bytes SizePrefix(std::size_t size)
{
    Bytes b;
    Put32(b, static_cast<std::uint32_t>(size));
    Put32(b, static_cast<std::uint32_t>(static_cast<std::uint64_t>(size) >> 32));
    return b;
}

// The two streams of a package saved with a password, and the compound
// file Office wraps them in.
struct EncryptedFile {
    Bytes info;
    Bytes package;
    Bytes File() const { return excelfixtures::CompoundFileOf({{"EncryptionInfo", info}, {"EncryptedPackage", package}}); }
};

}  // namespace officecrypt
