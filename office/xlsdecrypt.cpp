// RC4 decryption of BIFF8 workbook streams (see xlsdecrypt.h), on nettle.
#include "office/xlsdecrypt.h"

#include "office/biffrecords.h"
#include "platform/cancellation.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <algorithm>
#include <cstring>

namespace office {

namespace {

constexpr std::size_t kBlock = 1024;

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

bool XlsDecryptor::Init(ByteView fp, std::u16string_view password, std::string& error)
{
    if (fp.size() < 2) {
        error = "damaged encryption header";
        return false;
    }
    const std::uint16_t type = biff::U16(fp.data());
    if (type == 0) {
        error = "protected by a password (XOR obfuscation)";
        return false;
    }
    if (type != 1 || fp.size() < 6) {
        error = "protected by a password (unknown encryption)";
        return false;
    }
    const std::uint16_t major = biff::U16(fp.data() + 2);
    const std::uint16_t minor = biff::U16(fp.data() + 4);
    std::vector<std::uint8_t> verifier;
    std::vector<std::uint8_t> verifierHash;
    if (major == 1 && minor == 1) {
        if (fp.size() < 6 + 48) {
            error = "damaged encryption header";
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
            error = "damaged encryption header";
            return false;
        }
        const std::uint32_t headerSize = biff::U32(fp.data() + pos + 4);
        pos += 8;
        if (headerSize < 20 || headerSize > fp.size() - pos) {
            error = "damaged encryption header";
            return false;
        }
        const std::uint32_t algId = biff::U32(fp.data() + pos + 8);
        std::uint32_t keyBits = biff::U32(fp.data() + pos + 16);
        if (algId != 0 && algId != 0x6801) {
            error = "protected by a password (unsupported cipher)";
            return false;
        }
        if (keyBits == 0) keyBits = 40;
        if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) {
            error = "damaged encryption header";
            return false;
        }
        m_keyBytes = keyBits / 8;
        pos += headerSize;
        if (fp.size() < pos + 4 + 16 + 16 + 4 + 20) {
            error = "damaged encryption header";
            return false;
        }
        const std::uint32_t saltSize = biff::U32(fp.data() + pos);
        if (saltSize != 16) {
            error = "damaged encryption header";
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
            error = "damaged encryption header";
            return false;
        }
        verifierHash.assign(salt + 36, salt + 56);
    } else {
        error = "protected by a password (unknown encryption)";
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
        error = "protected by a password";
        return false;
    }
    return true;
}

bool XlsDecryptor::IsClearRecord(std::uint16_t type)
{
    switch (type) {
    case biff::kBof: case biff::kFilePass: case biff::kUsrExcl: case biff::kFileLock:
    case biff::kInterfaceHdr: case biff::kRrdInfo: case biff::kRrdHead:
        return true;
    default:
        return false;
    }
}

void XlsDecryptor::DecryptStream(std::vector<std::uint8_t>& stream) const
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
