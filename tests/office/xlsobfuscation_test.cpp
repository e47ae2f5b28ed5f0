// Workbooks obfuscated with XOR, the password scheme of Excel 5 and 95 and
// one of Excel 97's: with Excel's default password they open, in BIFF5 and
// BIFF8, whatever the lengths of their records; with any other password,
// or a FILEPASS too short to hold the key, they stay refused.
#include "office/excel/workbookloader.h"
#include "support/officecrypt.h"

#include <gtest/gtest.h>

using namespace office;
using namespace excelfixtures;

namespace {

// A workbook stream with a FILEPASS of `filePass` right after the BOF, two
// sheets, shared strings (BIFF8) or labels (BIFF5) and numbers in records of
// many lengths.
Bytes Stream2(unsigned version, const Bytes& filePass)
{
    const bool biff8 = version == 0x0600;
    Stream s;
    s.Bof(version, 0x0005);
    s.Record(0x002F, filePass);
    Bytes cp;
    Put16(cp, biff8 ? 1200 : 1252);
    s.Record(0x0042, cp);
    if (biff8) {
        Bytes sst;
        Put32(sst, 3);
        Put32(sst, 3);
        for (const char16_t* text : {u"obfuscated ledger", u"x", u"a longer string of shared text, past sixteen bytes"})
            PutString8(sst, text, 2);
        s.Record(0x00FC, sst);
    }
    const std::size_t first = s.BoundSheet(u"Accounts", 0, biff8);
    const std::size_t second = s.BoundSheet(u"Zweites Blatt", 1, biff8);
    s.Eof();
    const auto label = [&](unsigned row, unsigned col, const std::string& text) {
        Bytes b;
        Put16(b, row);
        Put16(b, col);
        Put16(b, 0);
        Put16(b, static_cast<unsigned>(text.size()));
        if (biff8) b.push_back(0);
        b.insert(b.end(), text.begin(), text.end());
        s.Record(0x0204, b);
    };
    s.PatchOffset(first, s.Size());
    s.Bof(version, 0x0010);
    if (biff8) {
        s.LabelSst(0, 0, 0);
        s.LabelSst(0, 1, 2);
    }
    label(1, 0, "label text");
    for (unsigned r = 2; r < 60; ++r) s.Number(r, 0, r * 1.25);
    s.Eof();
    s.PatchOffset(second, s.Size());
    s.Bof(version, 0x0010);
    label(0, 0, "second sheet words");
    s.Eof();
    return s.Data();
}

Bytes XorFilePass(unsigned version, std::uint16_t key, std::uint16_t verifier)
{
    Bytes b;
    if (version == 0x0600) Put16(b, 0);  // XOR obfuscation
    Put16(b, key);
    Put16(b, verifier);
    return b;
}

Bytes Obfuscated(unsigned version, const std::string& password, std::uint16_t key, std::uint16_t verifier)
{
    Bytes stream = Stream2(version, XorFilePass(version, key, verifier));
    officecrypt::XorObfuscate(stream, officecrypt::XorArray(password, key));
    return CompoundFileOf({{version == 0x0600 ? "Workbook" : "Book", stream}});
}

std::u16string Shown(const Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

bool Load(const Bytes& file, Workbook& book, std::string& error)
{
    return LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, error);
}

}  // namespace

TEST(XlsXorObfuscation, DefaultPasswordOpensBiff5AndBiff8)
{
    for (const unsigned version : {0x0500u, 0x0600u}) {
        SCOPED_TRACE(version);
        const Bytes file =
            Obfuscated(version, "VelvetSweatshop", officecrypt::kDefaultXorKey, officecrypt::kDefaultXorVerifier);
        Workbook book;
        std::string error;
        ASSERT_TRUE(Load(file, book, error)) << error;
        ASSERT_EQ(book.sheets.size(), 2u);
        EXPECT_EQ(book.sheets[0].name, u"Accounts");
        EXPECT_EQ(book.sheets[1].name, u"Zweites Blatt");
        EXPECT_EQ(book.sheets[1].visibility, SheetVisibility::Hidden);
        EXPECT_EQ(Shown(book, 0, 1, 0), u"label text");
        EXPECT_EQ(Shown(book, 0, 59, 0), u"73.75");
        EXPECT_EQ(Shown(book, 1, 0, 0), u"second sheet words");
        if (version == 0x0600) {
            EXPECT_EQ(Shown(book, 0, 0, 0), u"obfuscated ledger");
            EXPECT_EQ(Shown(book, 0, 0, 1), u"a longer string of shared text, past sixteen bytes");
        }
    }
}

TEST(XlsXorObfuscation, OtherPasswordsAndShortHeadersStayRefused)
{
    for (const unsigned version : {0x0500u, 0x0600u}) {
        SCOPED_TRACE(version);
        Workbook book;
        std::string error;
        // Another password's key and verifier.
        EXPECT_FALSE(Load(Obfuscated(version, "abc", 0x1234, 0x5678), book, error));
        EXPECT_NE(error.find("protected by a password"), std::string::npos) << error;
        // The default verifier with another key, and the reverse.
        EXPECT_FALSE(Load(Obfuscated(version, "VelvetSweatshop", 0x1234, officecrypt::kDefaultXorVerifier), book, error));
        EXPECT_NE(error.find("protected by a password"), std::string::npos) << error;
        EXPECT_FALSE(Load(Obfuscated(version, "VelvetSweatshop", officecrypt::kDefaultXorKey, 0x5678), book, error));
        EXPECT_NE(error.find("protected by a password"), std::string::npos) << error;
        // A FILEPASS cut before the verifier.
        Bytes shortPass = XorFilePass(version, officecrypt::kDefaultXorKey, officecrypt::kDefaultXorVerifier);
        shortPass.resize(shortPass.size() - 1);
        const Bytes cut = CompoundFileOf({{version == 0x0600 ? "Workbook" : "Book", Stream2(version, shortPass)}});
        EXPECT_FALSE(Load(cut, book, error));
        EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    }
}

// A stream cut inside its records after the FILEPASS is read as far as it
// goes or refused, never read past its end.
TEST(XlsXorObfuscation, StreamsCutAnywhereAreSafe)
{
    const Bytes stream = [] {
        Bytes s = Stream2(0x0600, XorFilePass(0x0600, officecrypt::kDefaultXorKey, officecrypt::kDefaultXorVerifier));
        officecrypt::XorObfuscate(s, officecrypt::XorArray("VelvetSweatshop", officecrypt::kDefaultXorKey));
        return s;
    }();
    for (std::size_t cut = 20; cut < stream.size(); cut += 7) {
        const Bytes file = CompoundFileOf({{"Workbook", Bytes(stream.begin(), stream.begin() + static_cast<long>(cut))}});
        Workbook book;
        std::string error;
        if (!Load(file, book, error)) {
            EXPECT_FALSE(error.empty()) << cut;
        }
    }
}
