// RC4 decryption of BIFF8 workbook streams, on nettle, and XOR
// obfuscation of BIFF5 and BIFF8 ones (see xlsdecrypt.h).
#include "office/excel/xlsdecrypt.h"

#include "office/excel/biffrecords.h"
#include "platform/cancellation.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <algorithm>
#include <cstring>

namespace office {

namespace {

constexpr std::size_t kBlock = 1024;

// The tables of XOR obfuscation (method 1 of the binary formats' password
// schemes): a starting key for each password length, the values that each
// bit of each password position adds into the key (7 bits a position, the
// last position first), and the bytes that pad a password to 16.
constexpr std::uint16_t kXorInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
                                               0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::uint16_t kXorMatrix[105] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,
    0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,
    0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,
    0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,
    0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,
    0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,
    0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
constexpr std::uint8_t kXorPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                      0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

// The password as XOR obfuscation takes it: one byte a character (its low
// byte, or its high byte when the low one is zero), at most 15.
std::vector<std::uint8_t> XorPasswordBytes(std::u16string_view password)
{
    std::vector<std::uint8_t> out;
    for (char16_t c : password) {
        if (out.size() == 15) break;
        const auto low = static_cast<std::uint8_t>(c & 0xFF);
        out.push_back(low != 0 ? low : static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::uint8_t RotateRight(std::uint8_t v, unsigned bits)
{
    return static_cast<std::uint8_t>((v >> bits) | (v << (8 - bits)));
}

std::vector<std::uint8_t> PasswordBytes(std::u16string_view password)
{
    std::vector<std::uint8_t> out;
    for (char16_t c : password) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::array<std::uint8_t, 16> Md5(const std::vector<std::uint8_t>& data)
{
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, data.size(), data.data());
    std::array<std::uint8_t, 16> out{};
    md5_digest(&ctx, out.size(), out.data());
    return out;
}

std::array<std::uint8_t, 20> Sha1(const std::vector<std::uint8_t>& data)
{
    sha1_ctx ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, data.size(), data.data());
    std::array<std::uint8_t, 20> out{};
    sha1_digest(&ctx, out.size(), out.data());
    return out;
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The MD5 scheme's intermediate key: 5 bytes of MD5(password), repeated 16
// times with the salt, hashed, truncated to 5 bytes.
std::vector<std::uint8_t> Md5Base(std::u16string_view password, const std::uint8_t* salt)
{
    const auto h0 = Md5(PasswordBytes(password));
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < 16; ++i) {
        buffer.insert(buffer.end(), h0.begin(), h0.begin() + 5);
        buffer.insert(buffer.end(), salt, salt + 16);
    }
    const auto h1 = Md5(buffer);
    return {h1.begin(), h1.begin() + 5};
}

}  // namespace

std::vector<std::uint8_t> XlsDecryptor::BlockKey(std::uint32_t block) const
{
    std::vector<std::uint8_t> data = m_base;
    AppendU32(data, block);
    if (!m_cryptoApi) {
        const auto h = Md5(data);
        return {h.begin(), h.end()};
    }
    const auto h = Sha1(data);
    std::vector<std::uint8_t> key(h.begin(), h.begin() + static_cast<long>(std::min<std::size_t>(m_keyBytes, 20)));
    // A 40-bit key is used as 128 bits padded with zeros.
    if (key.size() == 5) key.resize(16, 0);
    return key;
}

std::uint16_t XlsDecryptor::XorKey(std::u16string_view password)
{
    const auto bytes = XorPasswordBytes(password);
    if (bytes.empty()) return 0;
    std::uint16_t key = kXorInitialCode[bytes.size() - 1];
    // The last character takes the last 7 rows of the matrix, the one
    // before it the 7 before those, and so on; within a character its bit
    // 6 comes first.
    std::size_t row = 104;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        for (int bit = 6; bit >= 0; --bit, --row)
            if ((bytes[i] >> bit) & 1) key = static_cast<std::uint16_t>(key ^ kXorMatrix[row]);
    }
    return key;
}

std::uint16_t XlsDecryptor::XorVerifier(std::u16string_view password)
{
    const auto bytes = XorPasswordBytes(password);
    // The length, then the characters, taken from the last to the length.
    std::uint16_t verifier = 0;
    const auto step = [&verifier](std::uint8_t b) {
        const auto rotated = static_cast<std::uint16_t>(((verifier >> 14) & 1) | ((verifier << 1) & 0x7FFF));
        verifier = static_cast<std::uint16_t>(rotated ^ b);
    };
    for (std::size_t i = bytes.size(); i-- > 0;) step(bytes[i]);
    step(static_cast<std::uint8_t>(bytes.size()));
    return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

std::array<std::uint8_t, 16> XlsDecryptor::XorArray(std::u16string_view password)
{
    const auto bytes = XorPasswordBytes(password);
    const std::uint16_t key = XorKey(password);
    // The password padded to 16 bytes, each combined with the key's low
    // byte (even positions) or high byte (odd ones) and rotated right by 1.
    std::array<std::uint8_t, 16> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint8_t source = i < bytes.size() ? bytes[i] : kXorPad[i - bytes.size()];
        const auto keyByte = static_cast<std::uint8_t>(i % 2 != 0 ? key >> 8 : key & 0xFF);
        out[i] = RotateRight(static_cast<std::uint8_t>(source ^ keyByte), 1);
    }
    return out;
}

bool XlsDecryptor::InitXor(std::uint16_t key, std::uint16_t verifier, std::u16string_view password, ReadError& error)
{
    if (XorPasswordBytes(password).empty() || XorKey(password) != key || XorVerifier(password) != verifier) {
        error = {ReadErrorKind::Encrypted, "protected by a password"};
        return false;
    }
    m_xor = true;
    m_xorArray = XorArray(password);
    return true;
}

bool XlsDecryptor::Init(ByteView fp, std::u16string_view password, ReadError& error, bool biff8)
{
    if (!biff8) {
        // Excel 5 and 95 know only XOR obfuscation: key and verifier.
        if (fp.size() < 4) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        return InitXor(biff::U16(fp.data()), biff::U16(fp.data() + 2), password, error);
    }
    if (fp.size() < 2) {
        error = {ReadErrorKind::Damaged, "damaged encryption header"};
        return false;
    }
    const std::uint16_t type = biff::U16(fp.data());
    if (type == 0) {
        if (fp.size() < 6) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        return InitXor(biff::U16(fp.data() + 2), biff::U16(fp.data() + 4), password, error);
    }
    if (type != 1 || fp.size() < 6) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unknown encryption)"};
        return false;
    }
    const std::uint16_t major = biff::U16(fp.data() + 2);
    const std::uint16_t minor = biff::U16(fp.data() + 4);
    std::vector<std::uint8_t> verifier;
    std::vector<std::uint8_t> verifierHash;
    if (major == 1 && minor == 1) {
        if (fp.size() < 6 + 48) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        m_cryptoApi = false;
        m_base = Md5Base(password, fp.data() + 6);
        verifier.assign(fp.begin() + 22, fp.begin() + 38);
        verifierHash.assign(fp.begin() + 38, fp.begin() + 54);
    } else if (major >= 2 && major <= 4 && minor == 2) {
        // Flags, header size, header, then the verifier.
        std::size_t pos = 6;
        if (fp.size() < pos + 8) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        const std::uint32_t headerSize = biff::U32(fp.data() + pos + 4);
        pos += 8;
        if (headerSize < 20 || headerSize > fp.size() - pos) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        const std::uint32_t algId = biff::U32(fp.data() + pos + 8);
        std::uint32_t keyBits = biff::U32(fp.data() + pos + 16);
        if (algId != 0 && algId != 0x6801) {
            error = {ReadErrorKind::Encrypted, "protected by a password (unsupported cipher)"};
            return false;
        }
        if (keyBits == 0) keyBits = 40;
        if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        m_keyBytes = keyBits / 8;
        pos += headerSize;
        if (fp.size() < pos + 4 + 16 + 16 + 4 + 20) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        const std::uint32_t saltSize = biff::U32(fp.data() + pos);
        if (saltSize != 16) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        const std::uint8_t* salt = fp.data() + pos + 4;
        m_cryptoApi = true;
        std::vector<std::uint8_t> seed(salt, salt + 16);
        const auto pw = PasswordBytes(password);
        seed.insert(seed.end(), pw.begin(), pw.end());
        const auto h0 = Sha1(seed);
        m_base.assign(h0.begin(), h0.end());
        verifier.assign(salt + 16, salt + 32);
        const std::uint32_t hashSize = biff::U32(salt + 32);
        if (hashSize != 20) {
            error = {ReadErrorKind::Damaged, "damaged encryption header"};
            return false;
        }
        verifierHash.assign(salt + 36, salt + 56);
    } else {
        error = {ReadErrorKind::Encrypted, "protected by a password (unknown encryption)"};
        return false;
    }
    // Verifier and its hash are encrypted one after the other with block 0.
    const auto key = BlockKey(0);
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, key.size(), key.data());
    arcfour_crypt(&rc4, verifier.size(), verifier.data(), verifier.data());
    arcfour_crypt(&rc4, verifierHash.size(), verifierHash.data(), verifierHash.data());
    bool match = false;
    if (m_cryptoApi) {
        const auto h = Sha1(verifier);
        match = std::equal(h.begin(), h.end(), verifierHash.begin());
    } else {
        const auto h = Md5(verifier);
        match = std::equal(h.begin(), h.end(), verifierHash.begin());
    }
    if (!match) {
        error = {ReadErrorKind::Encrypted, "protected by a password"};
        return false;
    }
    return true;
}

bool XlsDecryptor::IsClearRecord(std::uint16_t type)
{
    switch (type) {
    case biff::kBof:
    case biff::kFilePass:
    case biff::kUsrExcl:
    case biff::kFileLock:
    case biff::kInterfaceHdr:
    case biff::kRrdInfo:
    case biff::kRrdHead: return true;
    default: return false;
    }
}

void XlsDecryptor::DecryptStream(std::vector<std::uint8_t>& stream) const
{
    if (m_xor) DecryptXor(stream);
    else DecryptRc4(stream);
}

void XlsDecryptor::DecryptXor(std::vector<std::uint8_t>& stream) const
{
    // A record's data is combined with the array from the position its
    // data ends at, modulo 16, onwards; the clear parts (whole records, a
    // BOUNDSHEET's stream offset) are passed over but keep their places in
    // that count.
    platform::StopCheck stop(1024);
    biff::RecordWalker walker(ByteView(stream.data(), stream.size()), 0);
    biff::Record record;
    while (walker.Next(record)) {
        stop();
        if (IsClearRecord(record.type)) continue;
        const std::size_t bodyPos = record.offset + 4;
        const std::size_t size = record.body.size();
        const std::size_t first = record.type == biff::kBoundSheet ? std::min<std::size_t>(4, size) : 0;
        for (std::size_t i = first; i < size; ++i) {
            std::uint8_t& b = stream[bodyPos + i];
            b = RotateRight(static_cast<std::uint8_t>(b ^ m_xorArray[(bodyPos + size + i) % 16]), 5);
        }
    }
}

void XlsDecryptor::DecryptRc4(std::vector<std::uint8_t>& stream) const
{
    arcfour_ctx rc4;
    std::uint32_t block = 0;
    std::size_t keyPos = 0;  // stream position the key stream has reached
    bool keyed = false;
    std::uint8_t scratch[kBlock];
    // Each step below costs at most a block's key and 1 KB of key stream.
    platform::StopCheck stop(1024);
    // Brings the key stream to stream position `pos`.
    auto seek = [&](std::size_t pos) {
        const auto wanted = static_cast<std::uint32_t>(pos / kBlock);
        if (!keyed || wanted != block || pos < keyPos) {
            block = wanted;
            const auto key = BlockKey(block);
            arcfour_set_key(&rc4, key.size(), key.data());
            keyPos = std::size_t{block} * kBlock;
            keyed = true;
        }
        const std::size_t skip = pos - keyPos;
        if (skip > 0) arcfour_crypt(&rc4, skip, scratch, scratch);
        keyPos = pos;
    };
    auto crypt = [&](std::size_t pos, std::size_t length) {
        while (length > 0) {
            stop();
            seek(pos);
            const std::size_t n = std::min(length, kBlock - pos % kBlock);
            arcfour_crypt(&rc4, n, stream.data() + pos, stream.data() + pos);
            keyPos += n;
            pos += n;
            length -= n;
        }
    };
    biff::RecordWalker walker(ByteView(stream.data(), stream.size()), 0);
    biff::Record record;
    while (walker.Next(record)) {
        stop();
        const std::size_t bodyPos = record.offset + 4;
        if (IsClearRecord(record.type)) continue;
        if (record.type == biff::kBoundSheet) {
            if (record.body.size() > 4) crypt(bodyPos + 4, record.body.size() - 4);
            continue;
        }
        crypt(bodyPos, record.body.size());
    }
}

std::vector<std::uint8_t> MakeRc4FilePass(std::u16string_view password, const std::array<std::uint8_t, 16>& salt,
                                          const std::array<std::uint8_t, 16>& verifier)
{
    std::vector<std::uint8_t> body = {1, 0, 1, 0, 1, 0};
    body.insert(body.end(), salt.begin(), salt.end());
    XlsDecryptor keyMaker;
    keyMaker.m_cryptoApi = false;
    keyMaker.m_base = Md5Base(password, salt.data());
    const auto key = keyMaker.BlockKey(0);
    std::vector<std::uint8_t> v(verifier.begin(), verifier.end());
    const auto hash = Md5(v);
    std::vector<std::uint8_t> h(hash.begin(), hash.end());
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, key.size(), key.data());
    arcfour_crypt(&rc4, v.size(), v.data(), v.data());
    arcfour_crypt(&rc4, h.size(), h.data(), h.data());
    body.insert(body.end(), v.begin(), v.end());
    body.insert(body.end(), h.begin(), h.end());
    return body;
}

}  // namespace office
