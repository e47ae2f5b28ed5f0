// Generators of crafted .xls files, as a hostile sender would make them to
// stall or flood a reader: few bytes per record, but counts that multiply
// if a reader does work per pair of them. Each file also holds an ordinary
// cell after the hostile part, with kMarker as its text, so that a test can
// check that the content a person would see still comes out. The tests
// make small ones; bench/hostilexls_bench.cpp makes them at full size.
#pragma once

#include "excelfixtures.h"
#include "office/excel/xlsdecrypt.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hostilexls {

using excelfixtures::Bytes;
using excelfixtures::Put16;
using excelfixtures::Put32;
using excelfixtures::PutString8;
using excelfixtures::Stream;

// The text of the cell every generated workbook holds after its hostile part.
inline const std::u16string kMarker = u"needle after the hostile part";

// A record body can hold at most this many bytes.
constexpr std::size_t kMaxBody = 8224;

inline std::u16string Numbered(const char16_t* stem, std::size_t n)
{
    std::u16string out = stem;
    for (char c : std::to_string(n)) out.push_back(static_cast<char16_t>(c));
    return out;
}

inline void Label(Stream& s, unsigned row, unsigned col, const std::u16string& text) { s.Label(row, col, text); }

// NAME with 8-bit characters, scoped to BOUNDSHEET `sheet` (1-based; 0 for
// the workbook), defined as =1.
inline void Name(Stream& s, const std::u16string& name, unsigned sheet)
{
    Bytes b = {0, 0, 0, static_cast<std::uint8_t>(name.size()), 3, 0, 0, 0};
    Put16(b, sheet);
    b.insert(b.end(), {0, 0, 0, 0, 0});
    for (char16_t c : name) b.push_back(static_cast<std::uint8_t>(c));
    b.insert(b.end(), {0x1E, 1, 0});
    s.Record(0x0018, b);
}

// A compound file of a BIFF8 workbook of one sheet, with `cells` in it
// and `globals` after the globals' BOF.
inline Bytes OneSheetXls(const std::function<void(Stream&)>& cells, const std::function<void(Stream&)>& globals = {},
                         const std::u16string& sheet = u"Sheet1")
{
    return excelfixtures::Xls(excelfixtures::BiffStream({{sheet, 0, cells}}, globals));
}

// `entries` EXTERNSHEET entries through this workbook's SUPBOOK and
// `names` NAMEs of workbook scope, "Name1" on. The sheet "My Data" holds
// the marker in A1 and in A2 the formula =Name1+'My Data'!A1+Name<names>,
// through the last EXTERNSHEET entry.
inline Bytes ExternSheetsAndNames(std::size_t entries, std::size_t names)
{
    auto globals = [&](Stream& s) {
        s.Record(0x01AE, {1, 0, 0x01, 0x04});
        constexpr std::size_t kPerRecord = (kMaxBody - 2) / 6;
        for (std::size_t done = 0; done < entries;) {
            const std::size_t n = std::min(kPerRecord, entries - done);
            Bytes xti(2 + 6 * n, 0);
            xti[0] = static_cast<std::uint8_t>(n);
            xti[1] = static_cast<std::uint8_t>(n >> 8);
            s.Record(0x0017, xti);
            done += n;
        }
        for (std::size_t i = 1; i <= names; ++i) Name(s, Numbered(u"Name", i), 0);
    };
    auto cells = [&](Stream& s) {
        Label(s, 0, 0, kMarker);
        const auto last = static_cast<std::uint8_t>(entries - 1), high = static_cast<std::uint8_t>((entries - 1) >> 8);
        const auto n = static_cast<std::uint8_t>(names), nHigh = static_cast<std::uint8_t>(names >> 8);
        // ptgNameX (entry, name 1), ptgRef3d (entry, A1 relative), +,
        // ptgName (the last name), +.
        s.Formula(1, 0, 1, {0x39, last, high, 1, 0, 0, 0, 0x5A, last, high, 0, 0, 0, 0xC0, 0x03, 0x43, n, nHigh, 0, 0, 0x03});
    };
    return OneSheetXls(cells, globals, u"My Data");
}

// `sheets` sheets "Quarterly figures of department 1" on and `names` NAMEs
// "Local1" on, name i scoped to sheet (i - 1) % sheets + 1. The last sheet
// holds the marker in A1 and in A2 =Local1+Local<sheets>: the first scoped
// to sheet 1, so written with its sheet's name, the second to the last
// sheet itself.
inline Bytes SheetScopedNames(std::size_t sheets, std::size_t names)
{
    // Long sheet names that need quoting: each sheet-qualified name costs
    // its length to write.
    auto globals = [&](Stream& s) {
        for (std::size_t i = 0; i < names; ++i) Name(s, Numbered(u"Local", i + 1), static_cast<unsigned>(i % sheets + 1));
    };
    std::vector<excelfixtures::BiffSheet> list;
    for (std::size_t i = 1; i <= sheets; ++i) list.push_back({Numbered(u"Quarterly figures of department ", i)});
    list.back().cells = [&](Stream& s) {
        Label(s, 0, 0, kMarker);
        s.Formula(1, 0, 1, {0x43, 1, 0, 0, 0, 0x43, static_cast<std::uint8_t>(sheets), static_cast<std::uint8_t>(sheets >> 8),
                            0, 0, 0x03});
    };
    return excelfixtures::Xls(excelfixtures::BiffStream(list, globals));
}

// A workbook encrypted with Excel's default password whose globals repeat
// the FILEPASS record `filePasses` times, then hold about `fillerBytes` of
// records no reader looks at. The sheet holds the marker in A1.
inline Bytes RepeatedFilePass(std::size_t filePasses, std::size_t fillerBytes)
{
    const std::array<std::uint8_t, 16> salt = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3};
    const std::array<std::uint8_t, 16> verifier = {2, 7, 1, 8, 2, 8, 1, 8, 2, 8, 4, 5, 9, 0, 4, 5};
    const Bytes filePass = office::MakeRc4FilePass(office::kDefaultOfficePassword, salt, verifier);
    auto globals = [&](Stream& s) {
        for (std::size_t i = 0; i < filePasses; ++i) s.Record(0x002F, filePass);
        std::uint32_t state = 12345;
        for (std::size_t done = 0; done < fillerBytes; done += kMaxBody + 4) {
            Bytes filler(kMaxBody);
            for (auto& byte : filler) {
                state = state * 1664525u + 1013904223u;
                byte = static_cast<std::uint8_t>(state >> 24);
            }
            s.Record(0x0800, filler);
        }
    };
    Bytes stream = excelfixtures::BiffStream({{u"Sheet1", 0, [](Stream& s) { Label(s, 0, 0, kMarker); }}}, globals);
    office::XlsDecryptor cipher;
    office::ReadError error;
    if (!cipher.Init(office::ByteView(filePass.data(), filePass.size()), office::kDefaultOfficePassword, error))
        return {};
    cipher.DecryptStream(stream);  // RC4 is its own inverse: this encrypts
    return excelfixtures::Xls(stream);
}

// `cells` formula cells down column A sharing one SHRFMLA: "the cell
// itself" (ptgRefN 0,0) and then `operators` times an empty argument added
// to what came before, two tokens per "+", so that cell A<r> reads
// =A<r>++...+ and decoding the tokens costs far more than the text.
// The marker is in B1.
inline Bytes SharedFormulaCells(std::size_t cells, std::size_t operators)
{
    auto body = [&](Stream& s) {
        Label(s, 0, 1, kMarker);
        const Bytes exp = {0x01, 0, 0, 0, 0};
        s.Formula(0, 0, 0, exp);
        Bytes tokens = {0x4C, 0, 0, 0, 0xC0};
        for (std::size_t i = 0; i < operators; ++i) tokens.insert(tokens.end(), {0x16, 0x03});
        s.SharedFormula(0, static_cast<unsigned>(cells - 1), 0, 0, tokens);
        for (std::size_t row = 1; row < cells; ++row) s.Formula(static_cast<unsigned>(row), 0, 0, exp);
    };
    return OneSheetXls(body);
}

// `cells` formula cells, each with tokens of its own: 1 and then
// `operators` times an empty argument added to it, so each reads =1++...+.
// The marker is in the row after them.
inline Bytes FormulaCells(std::size_t cells, std::size_t operators)
{
    auto body = [&](Stream& s) {
        Bytes tokens = {0x1E, 1, 0};
        for (std::size_t i = 0; i < operators; ++i) tokens.insert(tokens.end(), {0x16, 0x03});
        for (std::size_t i = 0; i < cells; ++i)
            s.Formula(static_cast<unsigned>(i % 65536), static_cast<unsigned>(i / 65536), 1, tokens);
        Label(s, static_cast<unsigned>(cells % 65536), static_cast<unsigned>(cells / 65536), kMarker);
    };
    return OneSheetXls(body);
}

// `cells` formula cells down column A in one array formula whose text is
// about `textUnits` long (string constants joined with &). The marker is
// in B1.
inline Bytes ArrayFormulaCells(std::size_t cells, std::size_t textUnits)
{
    auto body = [&](Stream& s) {
        Label(s, 0, 1, kMarker);
        const Bytes exp = {0x01, 0, 0, 0, 0};
        s.Formula(0, 0, 0, exp);
        Bytes tokens;
        std::size_t units = 0;
        for (std::size_t part = 0; units < textUnits && tokens.size() + 260 < kMaxBody - 14; ++part) {
            tokens.insert(tokens.end(), {0x17, 250, 0});
            tokens.insert(tokens.end(), 250, static_cast<std::uint8_t>('a' + part % 26));
            if (part > 0) tokens.push_back(0x08);
            units += 253;
        }
        // Rows 0 to cells - 1 of column A, flags, chain, the tokens' size.
        Bytes array = excelfixtures::Words({0, static_cast<unsigned>(cells - 1), 0, 0, 0, 0,
                                            static_cast<unsigned>(tokens.size())});
        array.insert(array.end(), tokens.begin(), tokens.end());
        s.Record(0x0221, array);
        for (std::size_t row = 1; row < cells; ++row) s.Formula(static_cast<unsigned>(row), 0, 0, exp);
    };
    return OneSheetXls(body);
}

// `records` FORMAT records, each a code of `length` letters "m" (a letter
// whose meaning depends on its neighbours). The marker is in A1.
inline Bytes LongFormatCodes(std::size_t records, std::size_t length)
{
    auto globals = [&](Stream& s) {
        const std::u16string code(length, u'm');
        for (std::size_t i = 0; i < records; ++i) {
            Bytes b;
            Put16(b, static_cast<unsigned>(164 + i % 200));
            PutString8(b, code, 2);
            s.Record(0x041E, b);
        }
    };
    return OneSheetXls([](Stream& s) { Label(s, 0, 0, kMarker); }, globals);
}

// `sheets` BOUNDSHEETs that all point at one substream, which holds a
// formula with a text result whose STRING record is followed by
// `continues` empty CONTINUE records, then the marker in A2.
inline Bytes StringContinueFlood(std::size_t sheets, std::size_t continues)
{
    Stream s;
    s.Bof(0x0600, 0x0005);
    std::vector<std::size_t> patches;
    for (std::size_t i = 1; i <= sheets; ++i) patches.push_back(s.BoundSheet(Numbered(u"S", i), 0));
    s.Eof();
    const std::size_t start = s.Size();
    s.Bof(0x0600, 0x0010);
    Bytes f(22, 0);  // A1, a text result, no tokens
    f[12] = f[13] = 0xFF;
    s.Record(0x0006, f);
    Bytes str;
    PutString8(str, u"x", 2);
    s.Record(0x0207, str);
    for (std::size_t i = 0; i < continues; ++i) s.Record(0x003C, {});
    Label(s, 1, 0, kMarker);
    s.Eof();
    for (std::size_t at : patches) s.PatchOffset(at, start);
    return excelfixtures::Xls(s.Data());
}

// A BIFF5 workbook whose globals switch between two code pages `pairs`
// times, each switch followed by a FORMAT whose code is read in it. The
// marker is in A1.
inline Bytes CodePageFlood(std::size_t pairs)
{
    Stream s;
    s.Bof(0x0500, 0x0005);
    for (std::size_t i = 0; i < pairs; ++i) {
        s.Record(0x0042, excelfixtures::Words({i % 2 == 0 ? 1251u : 1252u}));
        s.Record(0x041E, {164, 0, 1, 'd'});
    }
    const std::size_t at = s.BoundSheet(u"Sheet1", 0, false);
    s.Eof();
    s.PatchOffset(at, s.Size());
    s.Bof(0x0500, 0x0010);
    s.Label(0, 0, kMarker, false);
    s.Eof();
    return excelfixtures::CompoundFileOf({{"Book", s.Data()}});
}

// An ordinary workbook for comparison: `rows` rows of a number and a
// text, then the marker in the row after them.
inline Bytes ManyCells(std::size_t rows)
{
    auto body = [&](Stream& s) {
        for (std::size_t row = 0; row < rows; ++row) {
            const auto r = static_cast<unsigned>(row % 65536);
            const auto c = static_cast<unsigned>(row / 65536 * 2);
            s.Number(r, c, static_cast<double>(row) * 1.25);
            Label(s, r, c + 1, Numbered(u"row ", row));
        }
        Label(s, static_cast<unsigned>(rows % 65536), static_cast<unsigned>(rows / 65536 * 2), kMarker);
    };
    return OneSheetXls(body);
}

}  // namespace hostilexls
