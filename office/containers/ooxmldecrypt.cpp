// Decryption of password-protected Office Open XML packages (see
// ooxmldecrypt.h), on nettle.
#include "office/containers/ooxmldecrypt.h"

#include "office/containers/compoundfile.h"
#include "office/containers/xmlsax.h"
#include "platform/cancellation.h"

#include <nettle/base64.h>
#include <nettle/cbc.h>
#include <nettle/nettle-meta.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <system_error>

namespace office {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Result = OoxmlDecryptor::Result;

// Standard Encryption repeats its password hash this often.
constexpr std::uint32_t kStandardSpinCount = 50000;
// Agile Encryption encrypts the package in segments of this size, each
// with an initialisation vector of its own.
constexpr std::size_t kSegment = 4096;
// The EncryptionInfo stream is a header of a few hundred bytes; one far
// larger is no such header.
constexpr std::size_t kMaxInfoBytes = 1 << 20;
// Salts, keys and verifiers in the descriptor are short; longer base64
// values are damage.
constexpr std::size_t kMaxBase64Chars = 4096;

// The block keys Agile Encryption hashes with the password hash, one for
// each thing the password key unlocks.
constexpr std::uint8_t kBlockVerifierInput[8] = {0xFE, 0xA7, 0xD2, 0x76, 0x3B, 0x4B, 0x9E, 0x79};
constexpr std::uint8_t kBlockVerifierValue[8] = {0xD7, 0xAA, 0x0F, 0x6D, 0x30, 0x61, 0x34, 0x4E};
constexpr std::uint8_t kBlockKeyValue[8] = {0x14, 0x6E, 0x0B, 0xE7, 0xAB, 0xAC, 0xD0, 0xD6};

constexpr std::string_view kPasswordEncryptorNs = "http://schemas.microsoft.com/office/2006/keyEncryptor/password";

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t Le64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

const nettle_hash* HashNamed(std::string_view name)
{
    if (name == "SHA1" || name == "SHA-1") return &nettle_sha1;
    if (name == "SHA256" || name == "SHA-256") return &nettle_sha256;
    if (name == "SHA384" || name == "SHA-384") return &nettle_sha384;
    if (name == "SHA512" || name == "SHA-512") return &nettle_sha512;
    return nullptr;
}

const nettle_cipher* AesOfKeyBytes(std::size_t bytes)
{
    switch (bytes) {
    case 16: return &nettle_aes128;
    case 24: return &nettle_aes192;
    case 32: return &nettle_aes256;
    default: return nullptr;
    }
}

// One hash computation over several pieces.
class Hasher {
public:
    explicit Hasher(const nettle_hash& hash) : m_hash(hash), m_context(hash.context_size) {}
    Bytes Of(std::initializer_list<ByteView> pieces)
    {
        m_hash.init(m_context.data());
        for (const ByteView& piece : pieces) m_hash.update(m_context.data(), piece.size(), piece.data());
        Bytes out(m_hash.digest_size);
        m_hash.digest(m_context.data(), out.size(), out.data());
        return out;
    }
    std::size_t DigestSize() const { return m_hash.digest_size; }

private:
    const nettle_hash& m_hash;
    Bytes m_context;
};

ByteView View(const Bytes& b)
{
    return ByteView(b.data(), b.size());
}

Bytes PasswordBytes(std::u16string_view password)
{
    Bytes out;
    out.reserve(password.size() * 2);
    for (char16_t c : password) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

// Both schemes' password hash: the hash of salt and password, then hashed
// again `spins` times, each time after the round's number.
Bytes PasswordHash(const nettle_hash& hash, ByteView salt, std::u16string_view password, std::uint32_t spins)
{
    Hasher h(hash);
    const Bytes pw = PasswordBytes(password);
    Bytes current = h.Of({salt, View(pw)});
    platform::StopCheck stop(4096);
    std::uint8_t round[4];
    for (std::uint32_t i = 0; i < spins; ++i) {
        stop();
        PutLe32(round, i);
        current = h.Of({ByteView(round, 4), View(current)});
    }
    return current;
}

// A hash made to `size` bytes: cut, or padded with 0x36.
Bytes FitTo(Bytes b, std::size_t size)
{
    b.resize(size, 0x36);
    return b;
}

// Decrypts whole cipher blocks in place; false when the data is no whole
// number of blocks.
bool DecryptEcb(const nettle_cipher& cipher, const Bytes& key, std::uint8_t* data, std::size_t size)
{
    if (size % cipher.block_size != 0) return false;
    std::vector<std::uint8_t> context(cipher.context_size);
    cipher.set_decrypt_key(context.data(), key.data());
    cipher.decrypt(context.data(), size, data, data);
    return true;
}

bool DecryptCbc(const nettle_cipher& cipher, const Bytes& key, Bytes iv, std::uint8_t* data, std::size_t size)
{
    if (size % cipher.block_size != 0 || iv.size() != cipher.block_size) return false;
    std::vector<std::uint8_t> context(cipher.context_size);
    cipher.set_decrypt_key(context.data(), key.data());
    cbc_decrypt(context.data(), cipher.decrypt, cipher.block_size, iv.data(), size, data, data);
    return true;
}

bool DecodeBase64(const char* text, Bytes& out)
{
    out.clear();
    if (text == nullptr) return false;
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > kMaxBase64Chars) return false;
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    out.resize(BASE64_DECODE_LENGTH(length));
    std::size_t produced = 0;
    if (base64_decode_update(&ctx, &produced, out.data(), length, text) == 0 || base64_decode_final(&ctx) == 0)
        return false;
    out.resize(produced);
    return !out.empty();
}

bool ParseCount(const char* text, std::uint64_t& value)
{
    if (text == nullptr) return false;
    const std::size_t length = std::strlen(text);
    const auto res = std::from_chars(text, text + length, value);
    return res.ec == std::errc() && res.ptr == text + length;
}

// The attributes of keyData and of the password's encryptedKey.
class AgileInfoParser : public XmlSax {
public:
    struct Cipher {
        bool seen = false;
        std::uint64_t keyBits = 0, blockSize = 0, spinCount = 0;
        std::string hash, cipher, chaining;
        Bytes salt, verifierHashInput, verifierHashValue, keyValue;
        bool valid = true;
    };
    Cipher keyData;
    Cipher password;

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local == "keyData" && !keyData.seen) Read(attrs, keyData, false);
        else if (name.local == "encryptedKey" && name.ns == kPasswordEncryptorNs && !password.seen)
            Read(attrs, password, true);
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}

private:
    static void Read(const XmlAttributes& attrs, Cipher& c, bool encryptor)
    {
        c.seen = true;
        const auto text = [&](const char* attr) {
            const char* v = attrs.Get("", attr);
            return std::string(v != nullptr ? v : "");
        };
        c.valid = ParseCount(attrs.Get("", "keyBits"), c.keyBits) &&
                  ParseCount(attrs.Get("", "blockSize"), c.blockSize) &&
                  DecodeBase64(attrs.Get("", "saltValue"), c.salt);
        c.hash = text("hashAlgorithm");
        c.cipher = text("cipherAlgorithm");
        c.chaining = text("cipherChaining");
        if (encryptor) {
            c.valid = c.valid && ParseCount(attrs.Get("", "spinCount"), c.spinCount) &&
                      DecodeBase64(attrs.Get("", "encryptedVerifierHashInput"), c.verifierHashInput) &&
                      DecodeBase64(attrs.Get("", "encryptedVerifierHashValue"), c.verifierHashValue) &&
                      DecodeBase64(attrs.Get("", "encryptedKeyValue"), c.keyValue);
        }
    }
};

// The cipher an Agile descriptor names, if it is one read here: AES in CBC
// mode with a key of 128, 192 or 256 bits and 16-byte blocks.
Result CheckAgileCipher(const AgileInfoParser::Cipher& c, ReadError& error)
{
    if (!c.seen || !c.valid) {
        error = {ReadErrorKind::Damaged, "damaged encryption descriptor"};
        return Result::Damaged;
    }
    if (c.cipher != "AES" || c.chaining != "ChainingModeCBC" || c.blockSize != 16 ||
        AesOfKeyBytes(static_cast<std::size_t>(c.keyBits / 8)) == nullptr || c.keyBits % 8 != 0) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unsupported cipher " + c.cipher + ")"};
        return Result::Protected;
    }
    if (HashNamed(c.hash) == nullptr) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unsupported hash " + c.hash + ")"};
        return Result::Protected;
    }
    return Result::Ok;
}

}  // namespace

Result OoxmlDecryptor::ReadInfo(ByteView info, ReadError& error)
{
    if (info.size() < 8) {
        error = {ReadErrorKind::Damaged, "damaged encryption header"};
        return Result::Damaged;
    }
    const std::uint32_t major = static_cast<std::uint32_t>(info[0] | (info[1] << 8));
    const std::uint32_t minor = static_cast<std::uint32_t>(info[2] | (info[3] << 8));
    if (major == 4 && minor == 4) {
        // Agile: reserved flags (0x40), then the XML descriptor.
        m_agile = true;
        AgileInfoParser parser;
        const std::string_view xml(reinterpret_cast<const char*>(info.data() + 8), info.size() - 8);
        ReadError xmlError;
        if (!parser.Parse(xml, xmlError)) {
            error = {ReadErrorKind::Damaged, "damaged encryption descriptor: " + xmlError.detail};
            return Result::Damaged;
        }
        if (!parser.password.seen) {
            error = {ReadErrorKind::Encrypted, "protected by a certificate, not by a password"};
            return Result::Protected;
        }
        for (const auto* c : {&parser.keyData, &parser.password}) {
            const Result r = CheckAgileCipher(*c, error);
            if (r != Result::Ok) return r;
        }
        m_keyBytes = static_cast<std::size_t>(parser.keyData.keyBits / 8);
        m_blockSize = static_cast<std::size_t>(parser.keyData.blockSize);
        m_hash = parser.keyData.hash;
        m_salt = std::move(parser.keyData.salt);
        auto& p = parser.password;
        if (p.spinCount > kMaxSpinCount) {
            error = {ReadErrorKind::Damaged, "damaged encryption descriptor (spin count beyond the limit)"};
            return Result::Damaged;
        }
        m_password.spinCount = static_cast<std::uint32_t>(p.spinCount);
        m_password.keyBytes = static_cast<std::size_t>(p.keyBits / 8);
        m_password.blockSize = static_cast<std::size_t>(p.blockSize);
        m_password.hash = p.hash;
        m_password.salt = std::move(p.salt);
        m_password.verifierHashInput = std::move(p.verifierHashInput);
        m_password.verifierHashValue = std::move(p.verifierHashValue);
        m_password.keyValue = std::move(p.keyValue);
        return Result::Ok;
    }
    if (minor == 3 && (major == 3 || major == 4)) {
        error = {ReadErrorKind::Encrypted, "protected by a password (extensible encryption)"};
        return Result::Protected;
    }
    if (minor != 2 || major < 2 || major > 4) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unknown encryption version " +
                                               std::to_string(major) + "." + std::to_string(minor) + ")"};
        return Result::Protected;
    }
    // Standard: flags, header size, header, verifier.
    m_agile = false;
    if (info.size() < 12) {
        error = {ReadErrorKind::Damaged, "damaged encryption header"};
        return Result::Damaged;
    }
    const std::uint32_t headerSize = Le32(info.data() + 8);
    if (headerSize < 32 || headerSize > info.size() - 12) {
        error = {ReadErrorKind::Damaged, "damaged encryption header"};
        return Result::Damaged;
    }
    const std::uint8_t* header = info.data() + 12;
    const std::uint32_t flags = Le32(header);
    const std::uint32_t algId = Le32(header + 8);
    const std::uint32_t hashId = Le32(header + 12);
    std::uint32_t keyBits = Le32(header + 16);
    constexpr std::uint32_t kCryptoApi = 0x04, kExternal = 0x10, kAes = 0x20;
    if ((flags & kExternal) != 0 || (flags & kAes) == 0 || (flags & kCryptoApi) == 0) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unsupported cipher)"};
        return Result::Protected;
    }
    const std::uint32_t algBits = algId == 0x660E ? 128 : algId == 0x660F ? 192 : algId == 0x6610 ? 256 : 0;
    if (algId != 0 && algBits == 0) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unsupported cipher)"};
        return Result::Protected;
    }
    if (algId == 0 && keyBits == 0) keyBits = 128;
    if (algBits != 0 && keyBits != algBits) {
        error = {ReadErrorKind::Damaged, "damaged encryption header (key size)"};
        return Result::Damaged;
    }
    if (hashId != 0 && hashId != 0x8004) {
        error = {ReadErrorKind::Encrypted, "protected by a password (unsupported hash)"};
        return Result::Protected;
    }
    m_keyBytes = keyBits / 8;
    if (AesOfKeyBytes(m_keyBytes) == nullptr || keyBits % 8 != 0) {
        error = {ReadErrorKind::Damaged, "damaged encryption header (key size)"};
        return Result::Damaged;
    }
    // Salt size, salt, verifier, hash size, the verifier's hash (two blocks).
    const std::size_t at = 12 + headerSize;
    if (info.size() - at < 4 + 16 + 16 + 4 + 32 || Le32(info.data() + at) != 16 || Le32(info.data() + at + 36) != 20) {
        error = {ReadErrorKind::Damaged, "damaged encryption verifier"};
        return Result::Damaged;
    }
    m_salt.assign(info.data() + at + 4, info.data() + at + 20);
    m_encryptedVerifier.assign(info.data() + at + 20, info.data() + at + 36);
    m_encryptedVerifierHash.assign(info.data() + at + 40, info.data() + at + 72);
    return Result::Ok;
}

Result OoxmlDecryptor::SetPassword(std::u16string_view password, ReadError& error)
{
    m_key.clear();
    if (!m_agile) {
        const nettle_cipher& aes = *AesOfKeyBytes(m_keyBytes);
        Hasher sha1(nettle_sha1);
        const Bytes h = PasswordHash(nettle_sha1, View(m_salt), password, kStandardSpinCount);
        const std::uint8_t block0[4] = {0, 0, 0, 0};
        const Bytes hashed = sha1.Of({View(h), ByteView(block0, 4)});
        // The key: the hash stretched through two pads, as CryptoAPI's key
        // derivation does, and cut to the key size.
        std::uint8_t inner[64];
        std::uint8_t outer[64];
        std::memset(inner, 0x36, sizeof inner);
        std::memset(outer, 0x5C, sizeof outer);
        for (std::size_t i = 0; i < hashed.size(); ++i) {
            inner[i] = static_cast<std::uint8_t>(inner[i] ^ hashed[i]);
            outer[i] = static_cast<std::uint8_t>(outer[i] ^ hashed[i]);
        }
        Bytes key = sha1.Of({ByteView(inner, sizeof inner)});
        const Bytes second = sha1.Of({ByteView(outer, sizeof outer)});
        key.insert(key.end(), second.begin(), second.end());
        key.resize(m_keyBytes);
        Bytes verifier = m_encryptedVerifier;
        Bytes verifierHash = m_encryptedVerifierHash;
        DecryptEcb(aes, key, verifier.data(), verifier.size());
        DecryptEcb(aes, key, verifierHash.data(), verifierHash.size());
        const Bytes expected = sha1.Of({View(verifier)});
        if (!std::equal(expected.begin(), expected.end(), verifierHash.begin())) {
            error = {ReadErrorKind::Encrypted, "protected by a password"};
            return Result::Protected;
        }
        m_key = std::move(key);
        return Result::Ok;
    }
    const PasswordEncryptor& p = m_password;
    const nettle_hash& hash = *HashNamed(p.hash);
    const nettle_cipher& aes = *AesOfKeyBytes(p.keyBytes);
    Hasher h(hash);
    const Bytes base = PasswordHash(hash, View(p.salt), password, p.spinCount);
    const auto keyFor = [&](const std::uint8_t(&block)[8]) {
        return FitTo(h.Of({View(base), ByteView(block, 8)}), p.keyBytes);
    };
    const Bytes iv = FitTo(p.salt, p.blockSize);
    Bytes input = p.verifierHashInput;
    Bytes value = p.verifierHashValue;
    Bytes key = p.keyValue;
    if (!DecryptCbc(aes, keyFor(kBlockVerifierInput), iv, input.data(), input.size()) ||
        !DecryptCbc(aes, keyFor(kBlockVerifierValue), iv, value.data(), value.size()) ||
        !DecryptCbc(aes, keyFor(kBlockKeyValue), iv, key.data(), key.size()) || input.size() < p.salt.size() ||
        value.size() < h.DigestSize() || key.size() < m_keyBytes) {
        error = {ReadErrorKind::Damaged, "damaged encryption descriptor (verifier sizes)"};
        return Result::Damaged;
    }
    // The verifier input is as long as the salt; its hash must match.
    input.resize(p.salt.size());
    const Bytes expected = h.Of({View(input)});
    if (!std::equal(expected.begin(), expected.end(), value.begin())) {
        error = {ReadErrorKind::Encrypted, "protected by a password"};
        return Result::Protected;
    }
    key.resize(m_keyBytes);
    m_key = std::move(key);
    return Result::Ok;
}

Result OoxmlDecryptor::DecryptPackage(std::vector<std::uint8_t>& stream, ReadError& error) const
{
    if (m_key.empty()) {
        error = {ReadErrorKind::Encrypted, "protected by a password"};
        return Result::Protected;
    }
    if (stream.size() < 8) {
        error = {ReadErrorKind::Damaged, "damaged encrypted package"};
        return Result::Damaged;
    }
    // The package's size, then the encrypted data, padded to whole blocks.
    const std::uint64_t declared = Le64(stream.data());
    const std::size_t available = stream.size() - 8;
    if (declared > available) {
        error = {ReadErrorKind::Damaged, "damaged encrypted package (it declares " + std::to_string(declared) +
                                             " bytes, holds " + std::to_string(available) + ")"};
        return Result::Damaged;
    }
    const nettle_cipher& aes = *AesOfKeyBytes(m_keyBytes);
    // Only whole blocks are decrypted; bytes past the last whole block can
    // only be padding or damage and are not part of the package.
    std::uint8_t* data = stream.data() + 8;
    const std::size_t whole = available - available % aes.block_size;
    if (declared > whole) {
        error = {ReadErrorKind::Damaged, "damaged encrypted package (cut short)"};
        return Result::Damaged;
    }
    // The stop request is looked at every 64 KB, a fraction of a
    // millisecond of work.
    platform::StopCheck stop(16);
    if (!m_agile) {
        // One key over the whole package, a chunk at a time for Stop.
        constexpr std::size_t kChunk = 16 * kSegment;
        for (std::size_t at = 0; at < whole; at += kChunk) {
            platform::ThrowIfStopRequested();
            DecryptEcb(aes, m_key, data + at, std::min(whole - at, kChunk));
        }
    } else {
        // Each segment has the hash of the salt and its number for vector.
        Hasher h(*HashNamed(m_hash));
        std::uint8_t number[4];
        std::uint32_t segment = 0;
        for (std::size_t at = 0; at < whole; at += kSegment, ++segment) {
            stop();
            PutLe32(number, segment);
            const Bytes iv = FitTo(h.Of({View(m_salt), ByteView(number, 4)}), m_blockSize);
            DecryptCbc(aes, m_key, iv, data + at, std::min(whole - at, kSegment));
        }
    }
    stream.erase(stream.begin(), stream.begin() + 8);
    stream.resize(static_cast<std::size_t>(declared));
    return Result::Ok;
}

EncryptedPackageState OpenEncryptedPackage(ByteView bytes, std::u16string_view password,
                                           std::vector<std::uint8_t>& package, BudgetHold& hold, ReadError& error)
{
    package.clear();
    if (!IsCompoundFile(bytes)) return EncryptedPackageState::None;
    CompoundFile file;
    ReadError ignored;
    if (!file.Open(bytes, ignored) || !file.HasStream("EncryptedPackage")) return EncryptedPackageState::None;
    const auto state = [](Result r) {
        return r == Result::Protected ? EncryptedPackageState::Protected : EncryptedPackageState::Damaged;
    };
    std::vector<std::uint8_t> info;
    if (!file.HasStream("EncryptionInfo")) {
        error = {ReadErrorKind::Damaged, "damaged encrypted file (no EncryptionInfo stream)"};
        return EncryptedPackageState::Damaged;
    }
    if (!file.ReadStream("EncryptionInfo", info, error, kMaxInfoBytes)) return EncryptedPackageState::Damaged;
    OoxmlDecryptor decryptor;
    Result r = decryptor.ReadInfo(ByteView(info.data(), info.size()), error);
    if (r != Result::Ok) return state(r);
    r = decryptor.SetPassword(password, error);
    if (r != Result::Ok) return state(r);
    // The stream's sectors lie inside the file, so it is never larger; what
    // it takes is charged before it is read.
    std::uint64_t size = 0;
    if (!file.StreamSize("EncryptedPackage", size) || size > bytes.size()) {
        error = {ReadErrorKind::Damaged, "damaged encrypted package (larger than the file)"};
        return EncryptedPackageState::Damaged;
    }
    hold.Add(size, "the encrypted package");
    if (!file.ReadStream("EncryptedPackage", package, error, static_cast<std::size_t>(size)))
        return EncryptedPackageState::Damaged;
    r = decryptor.DecryptPackage(package, error);
    if (r != Result::Ok) {
        package.clear();
        return state(r);
    }
    return EncryptedPackageState::Decrypted;
}

}  // namespace office
