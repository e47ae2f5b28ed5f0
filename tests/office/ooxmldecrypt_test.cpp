// Office Open XML files saved with a password: a workbook or a document
// encrypted with Office's default password opens, with either scheme
// (Standard and Agile) and every key size and hash the tests can make;
// another password, an unknown scheme and damaged headers are refused with
// their reason; the package is held to the file's budget; decrypting a
// large package looks at the stop request as it goes.
#include "office/word/wordloader.h"
#include "office/excel/workbookloader.h"
#include "platform/cancellation.h"
#include "support/officecrypt.h"

#include <gtest/gtest.h>

#include <functional>

using namespace office;
using excelfixtures::Bytes;
using officecrypt::EncryptedFile;

namespace {

const std::u16string kDefault = u"VelvetSweatshop";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

// Digits that do not compress away, so that a package grows with its rows.
std::string FillerNumber(std::size_t i)
{
    return std::to_string((i + 1) * 2654435761u % 4294967291u);
}

// A one-sheet workbook whose A1 holds `text` and whose B1 holds 4711, with
// `filler` more rows of it to make the package large.
Bytes Workbook1(const std::string& text, std::size_t filler = 0)
{
    std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + text +
                       "</t></is></c><c r=\"B1\"><v>4711</v></c></row>";
    for (std::size_t i = 0; i < filler; ++i)
        rows += "<row r=\"" + std::to_string(i + 2) + "\"><c r=\"A" + std::to_string(i + 2) +
                "\" t=\"inlineStr\"><is><t>filler " + FillerNumber(i) + "</t></is></c></row>";
    return excelfixtures::ZipOf({
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"r\" Type=\"" + kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                        "</Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\"><sheets>"
                            "<sheet name=\"Ledger\" sheetId=\"1\" r:id=\"s1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                       "<Relationship Id=\"s1\" Type=\"" + kRel + "/worksheet\" "
                                       "Target=\"worksheets/sheet1.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", "<worksheet xmlns=\"" + kMain + "\"><sheetData>" + rows + "</sheetData></worksheet>"},
    });
}

Bytes Document(const std::string& text)
{
    const std::string w = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
    return excelfixtures::ZipOf({
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"r\" Type=\"" + kRel + "/officeDocument\" Target=\"word/document.xml\"/>"
                        "</Relationships>"},
        {"word/document.xml", "<w:document xmlns:w=\"" + w + "\"><w:body><w:p><w:r><w:t>" + text +
                              "</w:t></w:r></w:p></w:body></w:document>"},
    });
}

std::u16string Shown(const Workbook& book, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(0).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

bool Load(const Bytes& file, Workbook& book, std::string& error, const WorkbookLimits& limits = {})
{
    return LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, error, limits);
}

struct Scheme {
    const char* name;
    std::function<EncryptedFile(const Bytes&, const std::u16string&)> encrypt;
};

void PrintTo(const Scheme& s, std::ostream* os) { *os << s.name; }

const Scheme kSchemes[] = {
    {"StandardAes128", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptStandard(z, p, 16); }},
    {"StandardAes192v3", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptStandard(z, p, 24, 3); }},
    {"StandardAes256v2", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptStandard(z, p, 32, 2); }},
    {"AgileSha1Aes256", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptAgile(z, p, nettle_sha1, 32); }},
    {"AgileSha512Aes256",
     [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptAgile(z, p, nettle_sha512, 32, 100000); }},
    {"AgileSha256Aes128", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptAgile(z, p, nettle_sha256, 16); }},
    {"AgileSha384Aes192", [](const Bytes& z, const std::u16string& p) { return officecrypt::EncryptAgile(z, p, nettle_sha384, 24); }},
};

class EncryptedPackage : public ::testing::TestWithParam<Scheme> {};

}  // namespace

TEST_P(EncryptedPackage, DefaultPasswordOpensTheWorkbook)
{
    // More than one 4096-byte segment, and a size that is no multiple of
    // the cipher's block.
    const Bytes zip = Workbook1("quarterly secret ledger", 1500);
    ASSERT_GT(zip.size(), 3 * 4096u);
    const Bytes file = GetParam().encrypt(zip, kDefault).File();
    Workbook book;
    std::string error;
    ASSERT_TRUE(Load(file, book, error)) << error;
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, u"Ledger");
    EXPECT_EQ(Shown(book, 0, 0), u"quarterly secret ledger");
    EXPECT_EQ(Shown(book, 0, 1), u"4711");
    const std::string last = "filler " + FillerNumber(1499);
    EXPECT_EQ(Shown(book, 1500, 0), std::u16string(last.begin(), last.end()));
}

TEST_P(EncryptedPackage, OtherPasswordStaysRefusedAsProtected)
{
    const Bytes file = GetParam().encrypt(Workbook1("hidden"), u"secret").File();
    Workbook book;
    std::string error;
    EXPECT_FALSE(Load(file, book, error));
    EXPECT_NE(error.find("protected by a password"), std::string::npos) << error;
}

TEST_P(EncryptedPackage, DefaultPasswordOpensTheDocument)
{
    const Bytes file = GetParam().encrypt(Document("minutes of the meeting"), kDefault).File();
    WordContent content;
    std::string error;
    ASSERT_TRUE(LoadWordContent(ByteView(file.data(), file.size()), content, error)) << error;
    ASSERT_FALSE(content.stories.empty());
    EXPECT_NE(content.stories[0].text.find(u"minutes of the meeting"), std::u16string::npos);

    const Bytes other = GetParam().encrypt(Document("minutes"), u"pass").File();
    EXPECT_FALSE(LoadWordContent(ByteView(other.data(), other.size()), content, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Schemes, EncryptedPackage, ::testing::ValuesIn(kSchemes),
                         [](const ::testing::TestParamInfo<Scheme>& p) { return std::string(p.param.name); });

namespace {

std::string LoadError(const EncryptedFile& f)
{
    Workbook book;
    std::string error;
    EXPECT_FALSE(Load(f.File(), book, error));
    EXPECT_FALSE(error.empty());
    return error;
}

void SetLe64(Bytes& b, std::size_t at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    const auto at = s.find(from);
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

EncryptedFile WithDescriptor(EncryptedFile f, const std::string& from, const std::string& to)
{
    std::string xml(f.info.begin() + 8, f.info.end());
    xml = Replace(xml, from, to);
    f.info.resize(8);
    f.info.insert(f.info.end(), xml.begin(), xml.end());
    return f;
}

}  // namespace

TEST(EncryptedPackageDamage, SizesAndHeadersAreChecked)
{
    const Bytes zip = Workbook1("text");
    const EncryptedFile standard = officecrypt::EncryptStandard(zip, kDefault);
    const EncryptedFile agile = officecrypt::EncryptAgile(zip, kDefault, nettle_sha1, 32, 10);

    // A package that declares more than its stream holds.
    for (const EncryptedFile& f : {standard, agile}) {
        EncryptedFile lying = f;
        SetLe64(lying.package, 0, lying.package.size());
        EXPECT_NE(LoadError(lying).find("damaged"), std::string::npos);
        SetLe64(lying.package, 0, ~std::uint64_t{0});
        EXPECT_NE(LoadError(lying).find("damaged"), std::string::npos);
        // Cut short: the last block is gone.
        EncryptedFile cut = f;
        cut.package.resize(cut.package.size() - 16);
        EXPECT_NE(LoadError(cut).find("damaged"), std::string::npos);
        EncryptedFile tiny = f;
        tiny.package.resize(5);
        EXPECT_NE(LoadError(tiny).find("damaged"), std::string::npos);
    }
    // A Standard header whose size runs past the stream, and a verifier cut off.
    EncryptedFile header = standard;
    header.info[8] = 0xFF;
    header.info[9] = 0xFF;
    EXPECT_NE(LoadError(header).find("damaged"), std::string::npos);
    EncryptedFile verifier = standard;
    verifier.info.resize(verifier.info.size() - 10);
    EXPECT_NE(LoadError(verifier).find("damaged"), std::string::npos);
    // Schemes not read here are protection, not damage.
    EncryptedFile extensible = standard;
    extensible.info[2] = 3;
    EXPECT_NE(LoadError(extensible).find("protected"), std::string::npos);
    EncryptedFile rc4 = standard;
    rc4.info[4] = 0x04;  // CryptoAPI without AES
    rc4.info[12] = 0x04;
    EXPECT_NE(LoadError(rc4).find("protected"), std::string::npos);
    EXPECT_NE(LoadError(WithDescriptor(agile, "cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"DES\"")).find("protected"),
              std::string::npos);
    EXPECT_NE(LoadError(WithDescriptor(agile, "hashAlgorithm=\"SHA1\"", "hashAlgorithm=\"WHIRLPOOL\"")).find("protected"),
              std::string::npos);
    // A repetition count beyond the documented limit is not hashed.
    EXPECT_NE(LoadError(WithDescriptor(agile, "spinCount=\"10\"", "spinCount=\"4000000000\"")).find("damaged"),
              std::string::npos);
    EXPECT_FALSE(LoadError(WithDescriptor(agile, "saltValue=\"", "saltValue=\"!!")).empty());
    EXPECT_FALSE(LoadError(WithDescriptor(agile, "<keyData", "<!DOCTYPE x><keyData")).empty());
    // No EncryptionInfo at all.
    const Bytes noInfo = excelfixtures::CompoundFileOf({{"EncryptedPackage", standard.package}});
    Workbook book;
    std::string error;
    EXPECT_FALSE(Load(noInfo, book, error));
    EXPECT_FALSE(error.empty());
}

TEST(EncryptedPackageDamage, EveryChangedByteOfTheDescriptorIsAnErrorOrARead)
{
    const EncryptedFile agile = officecrypt::EncryptAgile(Workbook1("text"), kDefault, nettle_sha1, 16, 2);
    for (std::size_t at = 0; at < agile.info.size(); at += 3) {
        EncryptedFile f = agile;
        f.info[at] = static_cast<std::uint8_t>(f.info[at] ^ 0x5A);
        Workbook book;
        std::string error;
        if (!Load(f.File(), book, error)) {
            EXPECT_FALSE(error.empty()) << at;
        }
    }
}

TEST(EncryptedPackageLimits, PackageIsChargedToTheFileBudget)
{
    const Bytes zip = Workbook1("text", 3000);
    const Bytes file = officecrypt::EncryptAgile(zip, kDefault, nettle_sha1, 16, 10).File();
    ReadBudget budget(zip.size() / 2);
    WorkbookLimits limits;
    limits.budget = &budget;
    Workbook book;
    std::string error;
    EXPECT_FALSE(Load(file, book, error, limits));
    EXPECT_NE(error.find("too large: the encrypted package"), std::string::npos) << error;
    EXPECT_EQ(budget.Used(), 0u);

    WordContent content;
    const Bytes docx = officecrypt::EncryptStandard(Document(std::string(200000, 'x')), kDefault).File();
    ReadBudget small(50000);
    EXPECT_FALSE(LoadWordContent(ByteView(docx.data(), docx.size()), content, error, WordFileName::Any, &small));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

namespace {

std::uint64_t LooksDuring(const std::function<void()>& work)
{
    platform::ClearSearchStop();
    const std::uint64_t before = platform::StopRequestLooks();
    work();
    return platform::StopRequestLooks() - before;
}

struct StopRequested {
    StopRequested() { platform::RequestSearchStop(); }
    ~StopRequested() { platform::ClearSearchStop(); }
};

// A package of `bytes` bytes that is no zip: all of it is decrypted before
// the zip reader refuses it, so the looks counted are the decryption's.
Bytes LargeEncryptedJunk(std::size_t bytes, bool agile)
{
    const Bytes junk = officecrypt::Fixed(bytes, 3);
    return (agile ? officecrypt::EncryptAgile(junk, kDefault, nettle_sha512, 32, 10)
                  : officecrypt::EncryptStandard(junk, kDefault))
        .File();
}

}  // namespace

TEST(EncryptedPackageStop, DecryptionLooksAtTheStopRequestAsItGoes)
{
    constexpr std::size_t kSize = std::size_t{16} << 20;
    for (const bool agile : {false, true}) {
        const Bytes file = LargeEncryptedJunk(kSize, agile);
        Workbook book;
        std::string error;
        // At least once per 256 KB of the package, beside the stream's reading.
        EXPECT_GE(LooksDuring([&] { EXPECT_FALSE(Load(file, book, error)); }), kSize / (256 * 1024)) << agile;
        const StopRequested stop;
        EXPECT_THROW(Load(file, book, error), platform::OperationCancelled);
    }
}
