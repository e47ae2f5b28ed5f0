// Text workbooks: HTML tables, XML Spreadsheet 2003, delimited text (see
// xlstextreader.h).
#include "office/xlstextreader.h"

#include "office/cellformat.h"
#include "office/xmlsax.h"
#include "platform/codepage.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <unicode/ucnv.h>

#include <charconv>
#include <cstring>
#include <vector>

namespace office {

namespace {

constexpr std::string_view kSpreadsheetNs = "urn:schemas-microsoft-com:office:spreadsheet";

bool IsValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || s.size() - i < n) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::u16string Convert(const char* charset, std::string_view bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(charset, &status);
    std::u16string out;
    if (U_FAILURE(status)) return out;
    out.resize(bytes.size() * 2 + 2);
    const int32_t len = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                      bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(conv);
    if (U_FAILURE(status) || len < 0) return {};
    out.resize(static_cast<std::size_t>(len));
    return out;
}

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

std::u16string CollapseSpace(std::u16string_view text)
{
    std::u16string out;
    bool space = false;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0xA0) {
            space = true;
            continue;
        }
        if (space && !out.empty()) out.push_back(u' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

bool IsName(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->name != nullptr &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

unsigned SpanOf(const xmlNode* cell)
{
    xmlChar* span = xmlGetProp(cell, reinterpret_cast<const xmlChar*>("colspan"));
    unsigned n = 1;
    if (span != nullptr) {
        const char* s = reinterpret_cast<const char*>(span);
        std::from_chars(s, s + std::strlen(s), n);
        xmlFree(span);
    }
    return n == 0 ? 1 : std::min(n, 1000u);
}

// XML Spreadsheet 2003: Worksheet > Table > Row > Cell > Data.
class Xml2003Parser : public XmlSax {
public:
    explicit Xml2003Parser(WorkbookBuilder& builder) : m_builder(builder) {}

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
        return std::from_chars(index, index + std::strlen(index), out).ec == std::errc() && out >= 1 &&
               out <= kMaxRows;
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
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToUtf16(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return Convert("UTF-16LE", bytes.substr(2));
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return Convert("UTF-16BE", bytes.substr(2));
    if (IsValidUtf8(bytes)) return Utf8ToUtf16(bytes);
    return Convert("windows-1252", bytes);
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

bool XlsTextReader::AddTypedCell(WorkbookBuilder& builder, std::uint32_t row, std::uint32_t column,
                                 std::u16string text)
{
    double number = 0;
    if (ParseNumber(text, number)) return builder.AddNumber(row, column, number);
    if (text == u"TRUE" || text == u"FALSE" || text == u"true" || text == u"false")
        return builder.AddBoolean(row, column, text[0] == u'T' || text[0] == u't');
    return builder.AddText(row, column, std::move(text));
}

bool XlsTextReader::ReadDelimited(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                                  std::string& error)
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
    for (std::size_t i = 0; i < text.size() && !builder.Failed(); ++i) {
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
                             std::string& error)
{
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "web page too large";
        return false;
    }
    // A page that names its charset is decoded by libxml2; otherwise UTF-8
    // when it is valid, else Windows-1252.
    const std::string_view head = bytes.substr(0, 4096);
    std::string lowerHead(head);
    for (char& ch : lowerHead) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const char* encoding = nullptr;
    if (lowerHead.find("charset") == std::string::npos) encoding = IsValidUtf8(bytes) ? "UTF-8" : "windows-1252";
    htmlDocPtr doc = htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding,
                                    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (doc == nullptr) {
        error = "unreadable web page";
        return false;
    }
    builder.AddSheet(sheetName, SheetVisibility::Visible);
    std::uint32_t row = 0;
    // Walk the tree without recursion; every <tr> is a row, its <td> and
    // <th> children its cells.
    std::vector<xmlNode*> stack;
    if (xmlNode* root = xmlDocGetRootElement(doc)) stack.push_back(root);
    bool anyRow = false;
    while (!stack.empty() && !builder.Failed()) {
        xmlNode* node = stack.back();
        stack.pop_back();
        if (IsName(node, "tr")) {
            anyRow = true;
            std::uint32_t column = 0;
            for (xmlNode* cell = node->children; cell != nullptr && !builder.Failed(); cell = cell->next) {
                if (!IsName(cell, "td") && !IsName(cell, "th")) continue;
                xmlChar* content = xmlNodeGetContent(cell);
                if (content != nullptr) {
                    AddTypedCell(builder, row, column, CollapseSpace(Utf8ToUtf16(reinterpret_cast<char*>(content))));
                    xmlFree(content);
                }
                column += SpanOf(cell);
                if (column >= kMaxColumns) break;
            }
            ++row;
            continue;
        }
        if (IsName(node, "script") || IsName(node, "style")) continue;
        // Children in reverse so that they come off the stack in order.
        std::vector<xmlNode*> children;
        for (xmlNode* child = node->children; child != nullptr; child = child->next)
            if (child->type == XML_ELEMENT_NODE) children.push_back(child);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    if (!anyRow) {
        // A page without a table: each line of its text is a row.
        xmlNode* root = xmlDocGetRootElement(doc);
        xmlChar* content = root != nullptr ? xmlNodeGetContent(root) : nullptr;
        if (content != nullptr) {
            const std::u16string text = Utf8ToUtf16(reinterpret_cast<char*>(content));
            xmlFree(content);
            std::size_t start = 0;
            while (start <= text.size() && !builder.Failed()) {
                const auto end = text.find(u'\n', start);
                const std::u16string line =
                    CollapseSpace(std::u16string_view(text).substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
                if (!line.empty()) AddTypedCell(builder, row++, 0, line);
                if (end == std::u16string::npos) break;
                start = end + 1;
            }
        }
    }
    xmlFreeDoc(doc);
    if (builder.Failed()) {
        error = builder.Error();
        return false;
    }
    return true;
}

bool XlsTextReader::ReadXml2003(std::string_view bytes, WorkbookBuilder& builder, std::string& error)
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
