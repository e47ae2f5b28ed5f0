// Files saved with a password open when the password is Office's default:
// Office Open XML packages with either scheme (Standard and Agile) and
// every key size and hash the tests can make, workbooks and documents
// alike, and BIFF5 and BIFF8 workbooks obfuscated with XOR. Another
// password, an unknown scheme and damaged headers are refused; the package
// is held to the file's budget; decryption looks at the stop request.
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "support/excelbooks.h"
#include "support/officecrypt.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

using namespace office;
using namespace excelfixtures;
using officecrypt::EncryptedFile;

namespace {

const std::u16string kDefault = u"VelvetSweatshop";

// Digits that do not compress away, so that a package grows with its rows.
std::string FillerNumber(std::size_t i) { return std::to_string((i + 1) * 2654435761u % 4294967291u); }

// A one-sheet workbook whose A1 holds `text` and B1 4711, with `filler`
// more rows to make the package large.
Bytes Workbook1(const std::string& text, std::size_t filler = 0)
{
    std::string rows = "<row r=\"1\">" + InlineCell("A1", text) + "<c r=\"B1\"><v>4711</v></c></row>";
    for (std::size_t i = 0; i < filler; ++i)
        rows += "<row r=\"" + std::to_string(i + 2) + "\">" +
                InlineCell("A" + std::to_string(i + 2), "filler " + FillerNumber(i)) + "</row>";
    return Xlsx({{"Ledger", rows}});
}

Bytes Document(const std::string& text)
{
    return ZipOf({{"_rels/.rels", "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"r\" Type=\"" + kXlRel +
                                      "/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
                  {"word/document.xml", "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
                                        "main\"><w:body><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:body>"
                                        "</w:document>"}});
}

// A scheme: Agile with its hash, key size and spin count, or Standard with
// its key size and version.
struct Scheme {
    const char* name;
    const nettle_hash* agileHash;
    std::size_t keyBytes;
    std::uint32_t spinsOrVersion;
    EncryptedFile Encrypt(const Bytes& zip, const std::u16string& password) const
    {
        return agileHash != nullptr ? officecrypt::EncryptAgile(zip, password, *agileHash, keyBytes, spinsOrVersion)
                                    : officecrypt::EncryptStandard(zip, password, keyBytes, spinsOrVersion);
    }
};

void PrintTo(const Scheme& s, std::ostream* os) { *os << s.name; }

const Scheme kSchemes[] = {
    {"StandardAes128", nullptr, 16, 4},           {"StandardAes192v3", nullptr, 24, 3},
    {"StandardAes256v2", nullptr, 32, 2},         {"AgileSha1Aes256", &nettle_sha1, 32, 1000},
    {"AgileSha512Aes256", &nettle_sha512, 32, 100000}, {"AgileSha256Aes128", &nettle_sha256, 16, 1000},
    {"AgileSha384Aes192", &nettle_sha384, 24, 1000},
};

class EncryptedPackage : public ::testing::TestWithParam<Scheme> {};

}  // namespace

TEST_P(EncryptedPackage, DefaultPasswordOpensWorkbooksAndDocuments)
{
    // More than one 4096-byte segment, and a size that is no multiple of
    // the cipher's block.
    const Bytes zip = Workbook1("quarterly secret ledger", 1500);
    ASSERT_GT(zip.size(), 3 * 4096u);
    const Workbook book = LoadOk(GetParam().Encrypt(zip, kDefault).File());
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"quarterly secret ledger");
    const std::string last = "filler " + FillerNumber(1499);
    EXPECT_EQ(Shown(book, 0, 1500, 0), std::u16string(last.begin(), last.end()));
    EXPECT_EQ(Refusal(GetParam().Encrypt(Workbook1("hidden"), u"secret").File()), ReadErrorKind::Encrypted);

    ReadError error;
    const Bytes file = GetParam().Encrypt(Document("minutes of the meeting"), kDefault).File();
    WordContent content;
    ASSERT_TRUE(LoadWordContent(View(file), content, error)) << error;
    EXPECT_NE(content.stories.at(0).text.find(u"minutes of the meeting"), std::u16string::npos);
    EXPECT_FALSE(LoadWordContent(View(GetParam().Encrypt(Document("minutes"), u"pass").File()), content, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Encrypted) << error;
}

INSTANTIATE_TEST_SUITE_P(Schemes, EncryptedPackage, ::testing::ValuesIn(kSchemes),
                         [](const ::testing::TestParamInfo<Scheme>& p) { return std::string(p.param.name); });

namespace {

EncryptedFile WithDescriptor(EncryptedFile f, const std::string& from, const std::string& to)
{
    std::string xml(f.info.begin() + 8, f.info.end());
    xml.replace(xml.find(from), from.size(), to);
    f.info.resize(8);
    f.info.insert(f.info.end(), xml.begin(), xml.end());
    return f;
}

}  // namespace

TEST(EncryptedPackageDamage, SizesHeadersAndSchemesAreChecked)
{
    const Bytes zip = Workbook1("text");
    const EncryptedFile standard = officecrypt::EncryptStandard(zip, kDefault);
    const EncryptedFile agile = officecrypt::EncryptAgile(zip, kDefault, nettle_sha1, 32, 10);
    // Damage is refused as damage; a scheme not read here as protection.
    std::vector<std::pair<EncryptedFile, ReadErrorKind>> refused;
    const auto add = [&](const EncryptedFile& f, ReadErrorKind kind) -> EncryptedFile& {
        refused.emplace_back(f, kind);
        return refused.back().first;
    };
    for (const EncryptedFile& f : {standard, agile}) {
        for (const std::uint64_t size : {std::uint64_t{f.package.size()}, ~std::uint64_t{0}}) {
            // a package that declares more than its stream holds
            const Bytes declared = officecrypt::SizePrefix(size);
            std::copy(declared.begin(), declared.end(), add(f, ReadErrorKind::Damaged).package.begin());
        }
        for (const std::size_t size : {f.package.size() - 16, std::size_t{5}})
            add(f, ReadErrorKind::Damaged).package.resize(size);  // cut short
    }
    EncryptedFile& header = add(standard, ReadErrorKind::Damaged);  // a header whose size runs past the stream
    header.info[8] = 0xFF;
    header.info[9] = 0xFF;
    add(standard, ReadErrorKind::Damaged).info.resize(standard.info.size() - 10);  // a verifier cut off
    add(standard, ReadErrorKind::Encrypted).info[2] = 3;                           // Extensible Encryption
    EncryptedFile& rc4 = add(standard, ReadErrorKind::Encrypted);                  // CryptoAPI without AES
    rc4.info[4] = rc4.info[12] = 0x04;
    for (const auto& [from, to, kind] : std::initializer_list<std::tuple<const char*, const char*, ReadErrorKind>>{
             {"cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\"", ReadErrorKind::Encrypted},
             {"hashAlgorithm=\"SHA1\"", "hashAlgorithm=\"WHIRLPOOL\"", ReadErrorKind::Encrypted},
             // past the documented limit: not hashed
             {"spinCount=\"10\"", "spinCount=\"4000000000\"", ReadErrorKind::Damaged},
             {"saltValue=\"", "saltValue=\"!!", ReadErrorKind::Damaged},
             // a verifier that is no whole number of cipher blocks
             {"encryptedVerifierHashInput=\"", "encryptedVerifierHashInput=\"AAAA", ReadErrorKind::Damaged},
             {"<keyData", "<!DOCTYPE x><keyData", ReadErrorKind::Damaged}})
        add(WithDescriptor(agile, from, to), kind);
    for (std::size_t i = 0; i < refused.size(); ++i)
        EXPECT_EQ(Refusal(refused[i].first.File()), refused[i].second) << i;
    // no EncryptionInfo
    EXPECT_EQ(Refusal(CompoundFileOf({{"EncryptedPackage", standard.package}})), ReadErrorKind::Damaged);
    Workbook book;
    ReadError error;
    // Every changed byte of the descriptor gives an error or a read.
    const EncryptedFile small = officecrypt::EncryptAgile(Workbook1("text"), kDefault, nettle_sha1, 16, 2);
    for (std::size_t at = 0; at < small.info.size(); at += 3) {
        EncryptedFile f = small;
        f.info[at] = static_cast<std::uint8_t>(f.info[at] ^ 0x5A);
        if (!Load(f.File(), book, error)) {
            EXPECT_FALSE(error.ok()) << at;
        }
    }
}

TEST(EncryptedPackage, PackageIsChargedToTheBudgetAndDecryptionHeedsTheStop)
{
    const Bytes zip = Workbook1("text", 3000);
    ReadBudget budget(zip.size() / 2);
    WorkbookLimits limits;
    limits.budget = &budget;
    EXPECT_EQ(Refusal(officecrypt::EncryptAgile(zip, kDefault, nettle_sha1, 16, 10).File(), limits),
              ReadErrorKind::TooLarge);
    EXPECT_EQ(budget.Used(), 0u);
    Workbook book;
    ReadError error;
    WordContent content;
    ReadBudget small(50000);
    const Bytes docx = officecrypt::EncryptStandard(Document(std::string(200000, 'x')), kDefault).File();
    EXPECT_FALSE(LoadWordContent(View(docx), content, error, WordFileName::Any, &small));
    EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;

    // A package of 16 MB that is no zip: all of it is decrypted before the
    // zip reader refuses it, so the looks counted are the decryption's, at
    // least one per 256 KB.
    constexpr std::size_t kSize = std::size_t{16} << 20;
    for (const bool agile : {false, true}) {
        const Bytes junk = officecrypt::Fixed(kSize, 3);
        const Bytes file = (agile ? officecrypt::EncryptAgile(junk, kDefault, nettle_sha512, 32, 10)
                                  : officecrypt::EncryptStandard(junk, kDefault))
                               .File();
        platform::ClearSearchStop();
        const std::uint64_t before = platform::StopRequestLooks();
        EXPECT_FALSE(Load(file, book, error));
        EXPECT_GE(platform::StopRequestLooks() - before, kSize / (256 * 1024)) << agile;
        platform::RequestSearchStop();
        EXPECT_THROW(Load(file, book, error), platform::OperationCancelled);
        platform::ClearSearchStop();
    }
}

namespace {

// A BIFF5 or BIFF8 workbook of two sheets, shared strings (BIFF8) or labels
// and numbers in records of many lengths, obfuscated with XOR under
// `password` and the FILEPASS of `key` and `verifier`, cut to `length`.
Bytes Obfuscated(unsigned version, const std::string& password, std::uint16_t key, std::uint16_t verifier,
                 std::size_t filePassBytes = 6)
{
    const bool biff8 = version == 0x0600;
    Bytes filePass = biff8 ? Words({0, key, verifier}) : Words({key, verifier});  // BIFF8: 0 for XOR obfuscation
    filePass.resize(filePassBytes - (biff8 ? 0 : 2));
    auto globals = [biff8](Stream& s) {
        Bytes sst = {2, 0, 0, 0, 2, 0, 0, 0};
        for (const char16_t* text : {u"obfuscated ledger", u"a longer string of shared text, past sixteen bytes"})
            PutString8(sst, text, 2);
        if (biff8) s.Record(0x00FC, sst);
    };
    auto first = [&](Stream& s) {
        if (biff8) s.LabelSst(0, 1, 1);
        s.Label(1, 0, u"label text", biff8);
        for (unsigned r = 2; r < 60; ++r) s.Number(r, 0, r * 1.25);
    };
    Bytes stream = BiffStream({{u"Accounts", 0, first}, {u"Zweites Blatt", 1, [&](Stream& s) { s.Label(0, 0, u"second", biff8); }}},
                              globals, version, &filePass);
    officecrypt::XorObfuscate(stream, officecrypt::XorArray(password, key));
    return Xls(stream, version);
}

}  // namespace

TEST(XlsXorObfuscation, DefaultPasswordOpensOthersStayRefused)
{
    using officecrypt::kDefaultXorKey;
    using officecrypt::kDefaultXorVerifier;
    for (const unsigned version : {0x0500u, 0x0600u}) {
        const Workbook book = LoadOk(Obfuscated(version, "VelvetSweatshop", kDefaultXorKey, kDefaultXorVerifier));
        ASSERT_EQ(book.sheets.size(), 2u);
        EXPECT_EQ(book.sheets[1].name, u"Zweites Blatt");
        EXPECT_EQ(Shown(book, 0, 1, 0), u"label text");
        EXPECT_EQ(Shown(book, 0, 59, 0), u"73.75");
        EXPECT_EQ(Shown(book, 1, 0, 0), u"second");
        if (version == 0x0600) {
            EXPECT_EQ(Shown(book, 0, 0, 1), u"a longer string of shared text, past sixteen bytes");
        }
        // Another password's key and verifier, the default verifier with
        // another key and the reverse, a FILEPASS cut before the verifier.
        for (const Bytes& file : {Obfuscated(version, "abc", 0x1234, 0x5678),
                                  Obfuscated(version, "VelvetSweatshop", 0x1234, kDefaultXorVerifier),
                                  Obfuscated(version, "VelvetSweatshop", kDefaultXorKey, 0x5678),
                                  Obfuscated(version, "VelvetSweatshop", kDefaultXorKey, kDefaultXorVerifier, 5)})
            EXPECT_NE(Refusal(file), ReadErrorKind::None) << version;
    }
}
