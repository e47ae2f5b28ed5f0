// Text workbooks: HTML tables, XML Spreadsheet 2003, delimited text (see
// xlstextreader.h).
#include "office/excel/xlstextreader.h"

#include "office/containers/htmlsaxparser.h"
#include "office/containers/htmltagfilter.h"
#include "office/containers/xmlsax.h"
#include "office/excel/cellformat.h"
#include "office/excel/htmltablewalker.h"
#include "office/text/charsetdecoder.h"
#include "office/text/textdecode.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace office {

namespace {

constexpr std::string_view kSpreadsheetNs = "urn:schemas-microsoft-com:office:spreadsheet";

// Excel's reading of a typed-in number: optional sign, digits with an
// optional fraction, optional exponent; surrounding spaces allowed.
bool ParseNumber(std::u16string_view text, double& value)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && text[b] == u' ') ++b;
    while (e > b && text[e - 1] == u' ') --e;
    if (b == e || e - b > 64) return false;
    std::string ascii;
    bool digit = false;
    for (std::size_t i = b; i < e; ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') digit = true;
        else if (c != u'-' && c != u'+' && c != u'.' && c != u'e' && c != u'E') return false;
        ascii.push_back(static_cast<char>(c));
    }
    if (!digit) return false;
    const char* begin = ascii.data();
    if (*begin == '+') ++begin;
    const auto res = std::from_chars(begin, ascii.data() + ascii.size(), value);
    return res.ec == std::errc() && res.ptr == ascii.data() + ascii.size();
}

// XML Spreadsheet 2003: Worksheet > Table > Row > Cell > Data.
class Xml2003Parser : public XmlSax {
public:
    explicit Xml2003Parser(WorkbookBuilder& builder) : XmlSax(XmlLimitsFor(builder.Budget())), m_builder(builder) {}

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        const std::string_view local = name.local;
        if (name.ns == kSpreadsheetNs && local == "Worksheet") {
            const char* n = attrs.Get(kSpreadsheetNs, "Name");
            m_builder.AddSheet(Utf8ToUtf16(n != nullptr ? n : ""), SheetVisibility::Visible);
            m_inSheet = true;
            m_row = 0;
            m_rowSeen = false;
        } else if (m_inSheet && name.ns == kSpreadsheetNs && local == "Row") {
            std::uint32_t index = 0;
            if (Index(attrs, index)) m_row = index - 1;
            else if (m_rowSeen) ++m_row;
            m_rowSeen = true;
            m_column = 0;
        } else if (m_inSheet && name.ns == kSpreadsheetNs && local == "Cell") {
            std::uint32_t index = 0;
            if (Index(attrs, index)) m_column = index - 1;
            m_cellColumn = m_column;
            const char* across = attrs.Get(kSpreadsheetNs, "MergeAcross");
            std::uint32_t merge = 0;
            if (across != nullptr) std::from_chars(across, across + std::strlen(across), merge);
            m_column = m_cellColumn + 1 + std::min(merge, kMaxColumns);
            const char* formula = attrs.Get(kSpreadsheetNs, "Formula");
            m_formula = formula != nullptr ? Utf8ToUtf16(formula) : std::u16string();
            m_inCell = true;
            m_hasData = false;
        } else if (m_inCell && name.ns == kSpreadsheetNs && local == "Data") {
            const char* type = attrs.Get(kSpreadsheetNs, "Type");
            m_type = type != nullptr ? type : "String";
            m_text.clear();
            m_inData = true;
            m_hasData = true;
        } else if (m_inSheet && local == "Visible") {
            m_inVisible = true;  // WorksheetOptions/Visible: SheetHidden, SheetVeryHidden
            m_visible.clear();
        }
        if (m_builder.Failed()) Stop(m_builder.Error());
    }
    void EndElement(const XmlName& name) override
    {
        const std::string_view local = name.local;
        if (m_inData && name.ns == kSpreadsheetNs && local == "Data") {
            m_inData = false;
        } else if (m_inCell && name.ns == kSpreadsheetNs && local == "Cell") {
            m_inCell = false;
            FinishCell();
        } else if (name.ns == kSpreadsheetNs && local == "Worksheet") {
            m_inSheet = false;
        } else if (m_inVisible && local == "Visible") {
            m_inVisible = false;
            if (m_visible == "SheetHidden") m_builder.SetVisibility(SheetVisibility::Hidden);
            else if (m_visible == "SheetVeryHidden") m_builder.SetVisibility(SheetVisibility::VeryHidden);
        }
        if (m_builder.Failed()) Stop(m_builder.Error());
    }
    void CharacterData(std::string_view text) override
    {
        if (m_inData) m_text.append(text);
        else if (m_inVisible) m_visible.append(text);
    }

private:
    static bool Index(const XmlAttributes& attrs, std::uint32_t& out)
    {
        const char* index = attrs.Get(kSpreadsheetNs, "Index");
        if (index == nullptr) return false;
        return std::from_chars(index, index + std::strlen(index), out).ec == std::errc() && out >= 1 && out <= kMaxRows;
    }

    void FinishCell()
    {
        if (!m_hasData && m_formula.empty()) return;
        Cell cell;
        cell.row = m_row;
        cell.column = m_cellColumn;
        cell.isFormula = !m_formula.empty();
        if (cell.isFormula) cell.formula = m_builder.AddText(m_formula);
        const std::u16string text = Utf8ToUtf16(m_text);
        double number = 0;
        bool hasTime = false;
        if (m_type == "Number" && ParseNumber(text, number)) {
            cell.kind = CellKind::Number;
            cell.number = number;
        } else if (m_type == "DateTime" && ParseIsoDate(m_text, number, hasTime)) {
            cell.kind = CellKind::Number;
            cell.number = number;
            cell.style = hasTime ? NumberStyle::DateTime : NumberStyle::Date;
        } else if (m_type == "Boolean") {
            cell.kind = CellKind::Boolean;
            cell.number = text == u"1" || text == u"TRUE" || text == u"true" ? 1 : 0;
        } else if (m_type == "Error" && ErrorCode(text) != 0xFF) {
            cell.kind = CellKind::Error;
            cell.number = ErrorCode(text);
        } else {
            if (text.empty() && !cell.isFormula) return;
            cell.kind = CellKind::Text;
            if (!text.empty()) cell.text = m_builder.AddText(text);
        }
        m_builder.AddCell(cell);
    }

    WorkbookBuilder& m_builder;
    bool m_inSheet = false;
    bool m_inCell = false;
    bool m_inData = false;
    bool m_inVisible = false;
    bool m_hasData = false;
    bool m_rowSeen = false;
    std::uint32_t m_row = 0;
    std::uint32_t m_column = 0;
    std::uint32_t m_cellColumn = 0;
    std::string m_type;
    std::string m_text;
    std::string m_visible;
    std::u16string m_formula;
};

}  // namespace

std::u16string XlsTextReader::DecodeText(std::string_view bytes)
{
    const ByteView all(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const char* charset = nullptr;
    const ByteView body = all.subspan(DetectBom(all, charset));
    if (charset == nullptr) charset = IsValidUtf8(AsChars(body)) ? "UTF-8" : "windows-1252";
    std::u16string out;
    CharsetDecoder(charset).Append(body, out);
    return out;
}

char16_t XlsTextReader::SniffDelimiter(std::u16string_view text)
{
    std::size_t commas = 0;
    std::size_t semicolons = 0;
    bool quoted = false;
    for (char16_t c : text) {
        if (c == u'"') quoted = !quoted;
        if (quoted) continue;
        if (c == u'\n' || c == u'\r') break;
        if (c == u'\t') return u'\t';
        if (c == u',') ++commas;
        if (c == u';') ++semicolons;
    }
    return semicolons > commas ? u';' : u',';
}

bool XlsTextReader::AddTypedCell(WorkbookBuilder& builder, std::uint32_t row, std::uint32_t column, std::u16string text)
{
    double number = 0;
    if (ParseNumber(text, number)) return builder.AddNumber(row, column, number);
    if (text == u"TRUE" || text == u"FALSE" || text == u"true" || text == u"false")
        return builder.AddBoolean(row, column, text[0] == u'T' || text[0] == u't');
    return builder.AddText(row, column, std::move(text));
}

bool XlsTextReader::ReadDelimited(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                                  ReadError& error)
{
    const std::u16string text = DecodeText(bytes);
    const char16_t delimiter = SniffDelimiter(text);
    builder.AddSheet(sheetName, SheetVisibility::Visible);
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::u16string field;
    bool quoted = false;
    bool wasQuoted = false;
    auto endField = [&] {
        if (!field.empty() || wasQuoted) {
            if (wasQuoted) builder.AddText(row, column, field);
            else AddTypedCell(builder, row, column, field);
        }
        field.clear();
        wasQuoted = false;
        ++column;
    };
    platform::StopCheck stop(65536);
    for (std::size_t i = 0; i < text.size() && !builder.Failed(); ++i) {
        stop();
        const char16_t c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field.push_back(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field.push_back(c);
            }
        } else if (c == u'"' && field.empty()) {
            quoted = true;
            wasQuoted = true;
        } else if (c == delimiter) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            endField();
            ++row;
            column = 0;
        } else {
            field.push_back(c);
        }
    }
    if (!field.empty() || wasQuoted) endField();
    if (builder.Failed()) {
        error = builder.Error();
        return false;
    }
    return true;
}

bool XlsTextReader::ReadHtml(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                             ReadError& error)
{
    return ReadHtml(bytes, sheetName, builder, error, HtmlReadLimits{});
}

bool XlsTextReader::ReadHtml(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                             ReadError& error, const HtmlReadLimits& limits)
{
    // What a person sees of a page's characters, as the Word reader reads
    // them; Excel reads a page that declares no charset and is no UTF-8 in
    // Windows-1252, and the zero bytes of a damaged page as spaces.
    BudgetHold converting(builder.Budget());
    HtmlDecoding how;
    how.guessLegacy = false;
    how.zerosAsSpaces = true;
    how.hold = &converting;
    std::string converted;
    std::string_view markup;
    const ByteView page(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (!DecodeHtmlPage(page, how, converted, markup, error)) return false;
    platform::ThrowIfStopRequested();
    // The page streams through the parser (no document tree); crowded tags
    // lose the names of the attributes no cell needs. Should the parser read
    // one of those tags as text after all, the page is read again as it is:
    // the first reading fills a part of the workbook that is then dropped.
    std::string filteredMarkup;
    const std::vector<HtmlFilteredTag> filtered =
        HtmlTagFilter::Apply(markup, filteredMarkup, limits.keptAttributes, {"colspan"});
    if (!filtered.empty()) {
        if (!converting.TryAdd(filteredMarkup.size())) {
            error = {ReadErrorKind::TooLarge,
                     converting.Refusal(converting.Bytes() + filteredMarkup.size(), "a copy of the web page")};
            return false;
        }
        WorkbookBuilder trial = builder.Part();
        trial.AddSheet(sheetName, SheetVisibility::Visible);
        HtmlTableWalker walker(trial);
        HtmlSaxParser parser(filteredMarkup, filtered, walker, limits.parserDepth, limits.readPiece, true);
        if (parser.Run()) {
            if (!walker.Finish(error)) return false;
            if (builder.Append(std::move(trial))) return true;
            error = builder.Error();
            return false;
        }
    }
    builder.AddSheet(sheetName, SheetVisibility::Visible);
    HtmlTableWalker walker(builder);
    const std::vector<HtmlFilteredTag> none;
    HtmlSaxParser parser(markup, none, walker, limits.parserDepth, limits.readPiece, true);
    parser.Run();
    return walker.Finish(error);
}

bool XlsTextReader::ReadXml2003(std::string_view bytes, WorkbookBuilder& builder, ReadError& error)
{
    Xml2003Parser parser(builder);
    if (!parser.Parse(bytes, error)) return false;
    if (builder.Failed()) {
        error = builder.Error();
        return false;
    }
    return true;
}

}  // namespace office
