// What the workbook tests share: whole .xls streams of BIFF5 or BIFF8 built
// from a list of sheets, .xlsx packages built from sheet data, loading
// bytes through the loader as a search does, and reading cells back.
#pragma once

#include "office/excel/workbookloader.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace excelfixtures {

inline std::u16string Shown(const office::Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return book.Text(c.shown);
    return u"<none>";
}

inline std::u16string FormulaOf(const office::Workbook& book, std::size_t sheet, std::uint32_t row, std::uint32_t col)
{
    for (const auto& c : book.sheets.at(sheet).cells)
        if (c.row == row && c.column == col) return c.formula == office::kNoText ? u"<none>" : book.Text(c.formula);
    return u"<none>";
}

// The path of a fixture workbook in tests/data/excel, and a file's bytes.
inline std::string ExcelData(const std::string& name)
{
    return std::string(VARNEL_TEST_DATA) + "/excel/" + name;
}
inline Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline office::ByteView View(const Bytes& b) { return {b.data(), b.size()}; }
inline office::ByteView View(const std::string& s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// A file that names no sheet names its one sheet kGivenName, which no
// reader makes up.
inline const std::u16string kGivenName = u"Given name";

template <typename Data>
bool Load(const Data& bytes, office::Workbook& book, office::ReadError& error,
          const office::WorkbookLimits& limits = {})
{
    return office::LoadWorkbookBytes(View(bytes), kGivenName, book, error, limits);
}

template <typename Data>
office::Workbook LoadOk(const Data& bytes)
{
    office::Workbook book;
    office::ReadError error;
    EXPECT_TRUE(Load(bytes, book, error)) << error;
    return book;
}

// What the loader refused the bytes as; None when it read them.
template <typename Data>
office::ReadErrorKind Refusal(const Data& bytes, const office::WorkbookLimits& limits = {})
{
    office::Workbook book;
    office::ReadError error;
    return Load(bytes, book, error, limits) ? office::ReadErrorKind::None : error.kind;
}

inline const std::string kXlMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline const std::string kXlRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline const std::string kPkgRel = "http://schemas.openxmlformats.org/package/2006/relationships";

// A sheet of a package: its name, the content of its sheetData (or, with
// `part` set, the whole part), and the relationship's type.
struct XlsxSheet {
    XlsxSheet(std::string n, std::string data, std::string attrs = "", std::string t = kXlRel + "/worksheet",
              std::string p = "")
        : name(std::move(n)), sheetData(std::move(data)), attributes(std::move(attrs)), type(std::move(t)), part(std::move(p))
    {
    }
    std::string name;
    std::string sheetData;
    std::string attributes;  // on <sheet>, e.g. state="hidden"
    std::string type;
    std::string part;
};

inline std::string WorksheetXml(const std::string& sheetData)
{
    return "<worksheet xmlns=\"" + kXlMain + "\"><sheetData>" + sheetData + "</sheetData></worksheet>";
}

// The entries of a workbook package; `strings` become the shared strings,
// `styles` the whole styles part when given.
inline std::vector<std::pair<std::string, std::string>> XlsxParts(const std::vector<XlsxSheet>& sheets,
                                                                  const std::vector<std::string>& strings = {},
                                                                  const std::string& styles = "",
                                                                  const std::string& workbookPr = "")
{
    std::string workbook = "<workbook xmlns=\"" + kXlMain + "\" xmlns:r=\"" + kXlRel + "\">" + workbookPr + "<sheets>";
    std::string rels = "<Relationships xmlns=\"" + kPkgRel + "\">";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"r\" Type=\"" + kXlRel +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"}};
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string target = "parts/sheet" + n + ".xml";
        workbook += "<sheet name=\"" + sheets[i].name + "\" sheetId=\"" + n + "\" " + sheets[i].attributes +
                    " r:id=\"s" + n + "\"/>";
        rels += "<Relationship Id=\"s" + n + "\" Type=\"" + sheets[i].type + "\" Target=\"" + target + "\"/>";
        parts.push_back({"xl/" + target, sheets[i].part.empty() ? WorksheetXml(sheets[i].sheetData) : sheets[i].part});
    }
    if (!strings.empty()) {
        std::string sst = "<sst xmlns=\"" + kXlMain + "\">";
        for (const auto& s : strings) sst += "<si>" + (s.rfind("<", 0) == 0 ? s : "<t>" + s + "</t>") + "</si>";
        parts.push_back({"xl/sharedStrings.xml", sst + "</sst>"});
        rels += "<Relationship Id=\"ss\" Type=\"" + kXlRel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    }
    if (!styles.empty()) {
        parts.push_back({"xl/styles.xml", "<styleSheet xmlns=\"" + kXlMain + "\">" + styles + "</styleSheet>"});
        rels += "<Relationship Id=\"st\" Type=\"" + kXlRel + "/styles\" Target=\"styles.xml\"/>";
    }
    parts.push_back({"xl/workbook.xml", workbook + "</sheets></workbook>"});
    parts.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
    return parts;
}

inline Bytes Xlsx(const std::vector<XlsxSheet>& sheets, const std::vector<std::string>& strings = {},
                  const std::string& styles = "", const std::string& workbookPr = "")
{
    return ZipOf(XlsxParts(sheets, strings, styles, workbookPr));
}

inline std::string InlineCell(const std::string& ref, const std::string& text)
{
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

}  // namespace excelfixtures
