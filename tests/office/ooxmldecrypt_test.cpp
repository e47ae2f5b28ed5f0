// Files saved with a password open when the password is Office's default:
// Office Open XML packages with either scheme (Standard and Agile) and
// every key size and hash of the fixtures, workbooks and documents
// alike, and BIFF5 and BIFF8 workbooks obfuscated with XOR. Another
// password, an unknown scheme and damaged headers are refused; the package
// is held to the file's budget; decryption looks at the stop request.
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "support/excelbooks.h"
#include "support/officecrypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

using namespace office;
using namespace excelfixtures;
using officecrypt::EncryptedFile;

namespace {

// The files of each scheme in tests/data/encrypted, encrypted once with
// Office's default password by the writers this file's tests were first
// built on: the EncryptionInfo stream (`scheme`.info; the salts and keys
// are fixed, so it serves every package) and the EncryptedPackage streams
// of a workbook (-book: sheet "Ledger", A1 "quarterly secret ledger", B1
// 4711, 1000 rows after it of "filler " and a number; 13 KB, more than
// three 4096-byte segments, no whole number of cipher blocks) and of a
// document (-doc: "minutes of the meeting"; -bigdoc, of Standard AES-128
// only: 200,000 letters "x").
EncryptedFile Fixture(const std::string& scheme, const std::string& package)
{
    const std::string stem = std::string(VARNEL_TEST_DATA) + "/encrypted/" + scheme;
    EncryptedFile f{FileBytes(stem + ".info"), FileBytes(stem + "-" + package + ".package")};
    EXPECT_FALSE(f.info.empty() || f.package.empty()) << stem;
    return f;
}

// The file with its verifier changed, as one saved with another password
// reads: its key unlocks nothing.
EncryptedFile OtherPassword(EncryptedFile f)
{
    if (f.info.empty()) return f;
    const std::string value = "encryptedVerifierHashValue=\"";
    const auto at = std::search(f.info.begin(), f.info.end(), value.begin(), value.end());
    auto& changed = at == f.info.end() ? f.info.back() : at[static_cast<std::ptrdiff_t>(value.size())];
    changed = changed == 'A' ? 'B' : 'A';
    return f;
}

const char* const kSchemes[] = {"standard-aes128",     "standard-aes192-v3",  "standard-aes256-v2", "agile-sha1-aes256",
                                "agile-sha512-aes256", "agile-sha256-aes128", "agile-sha384-aes192"};

class EncryptedPackage : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(EncryptedPackage, DefaultPasswordOpensWorkbooksAndDocuments)
{
    const EncryptedFile workbook = Fixture(GetParam(), "book");
    const Workbook book = LoadOk(workbook.File());
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(Shown(book, 0, 0, 0), u"quarterly secret ledger");
    EXPECT_EQ(Shown(book, 0, 1000, 0), u"filler 145975162");  // digits that do not compress away
    EXPECT_EQ(Refusal(OtherPassword(workbook).File()), ReadErrorKind::Encrypted);

    ReadError error;
    const EncryptedFile document = Fixture(GetParam(), "doc");
    WordContent content;
    ASSERT_TRUE(LoadWordContent(View(document.File()), content, error)) << error;
    EXPECT_NE(content.stories.at(0).text.find(u"minutes of the meeting"), std::u16string::npos);
    EXPECT_FALSE(LoadWordContent(View(OtherPassword(document).File()), content, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Encrypted) << error;
}

INSTANTIATE_TEST_SUITE_P(Schemes, EncryptedPackage, ::testing::ValuesIn(kSchemes),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             std::string name = p.param;
                             std::erase(name, '-');
                             return name;
                         });

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
    const EncryptedFile standard = Fixture("standard-aes128", "book");
    const EncryptedFile agile = Fixture("agile-sha1-aes256", "book");
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
             {"spinCount=\"1000\"", "spinCount=\"4000000000\"", ReadErrorKind::Damaged},
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
    const EncryptedFile small = Fixture("agile-sha256-aes128", "book");
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
    const EncryptedFile workbook = Fixture("agile-sha1-aes256", "book");
    ReadBudget budget(workbook.package.size() / 2);
    EXPECT_EQ(Refusal(workbook.File(), {.budget = &budget}), ReadErrorKind::TooLarge);
    EXPECT_EQ(budget.Used(), 0u);
    Workbook book;
    ReadError error;
    WordContent content;
    // A document of 200,000 letters "x" whose package is small: the text
    // inflated from it is charged to the same budget.
    ReadBudget small(50000);
    const Bytes docx = Fixture("standard-aes128", "bigdoc").File();
    EXPECT_FALSE(LoadWordContent(View(docx), content, error, WordFileName::Any, &small));
    EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;

    // A package of 16 MB that is no zip: all of it is decrypted before the
    // zip reader refuses it, so the looks counted are the decryption's, at
    // least one per 256 KB.
    constexpr std::size_t kSize = std::size_t{16} << 20;
    for (const bool agile : {false, true}) {
        EncryptedFile junk = Fixture(agile ? "agile-sha1-aes256" : "standard-aes128", "doc");
        junk.package = officecrypt::SizePrefix(kSize);
        junk.package.resize(8 + kSize, 3);
        const Bytes file = junk.File();
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
