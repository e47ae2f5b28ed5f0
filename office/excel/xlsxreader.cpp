// Office Open XML workbook reading (see xlsxreader.h).
#include "office/excel/xlsxreader.h"

#include "office/containers/parttargetindex.h"
#include "office/containers/xmlsax.h"
#include "office/containers/zippackage.h"
#include "office/excel/cellformat.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <atomic>
#include <charconv>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>

namespace office {

namespace {

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The relationships attribute (r:id) whatever its namespace (transitional
// or strict).
const char* RelId(const XmlAttributes& attrs)
{
    const char* found = nullptr;
    attrs.ForEach([&](const XmlName& name, std::string_view value) {
        if (found == nullptr && name.local == "id" && name.ns.find("relationships") != std::string_view::npos)
            found = value.data();
    });
    return found;
}

// Text of an OOXML string with its _xHHHH_ escapes (control characters a
// writer could not put in XML) decoded, appended after `prefix`. The bytes
// '_' and 'x' occur in UTF-8 only as themselves, so text without "_x" in
// its bytes has no escape and skips the second pass.
std::u16string DecodeText(std::string_view utf8, std::u16string_view prefix = {})
{
    std::u16string out(prefix);
    if (utf8.find("_x") == std::string_view::npos) {
        AppendUtf8AsUtf16(out, utf8);
        return out;
    }
    std::u16string text;
    AppendUtf8AsUtf16(text, utf8);
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            unsigned value = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const char16_t c = text[i + k];
                value <<= 4;
                if (c >= u'0' && c <= u'9') value |= static_cast<unsigned>(c - u'0');
                else if (c >= u'a' && c <= u'f') value |= static_cast<unsigned>(c - u'a' + 10);
                else if (c >= u'A' && c <= u'F') value |= static_cast<unsigned>(c - u'A' + 10);
                else hex = false;
            }
            if (hex) {
                out.push_back(static_cast<char16_t>(value));
                i += 6;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

struct Relationship {
    std::string type;
    std::string target;
};

class RelsParser : public XmlSax {
public:
    explicit RelsParser(ReadBudget* budget) : XmlSax(XmlLimitsFor(budget)) {}
    std::map<std::string, Relationship> rels;

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local != "Relationship") return;
        const char* id = attrs.Get("", "Id");
        const char* type = attrs.Get("", "Type");
        const char* target = attrs.Get("", "Target");
        const char* mode = attrs.Get("", "TargetMode");
        if (id == nullptr || target == nullptr) return;
        if (mode != nullptr && std::string_view(mode) == "External") return;
        rels[id] = Relationship{type != nullptr ? type : "", target};
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}
};

// The sheets of the Worksheets collection: worksheets, and Excel 4 macro
// sheets (international ones too), whose cells a person sees like a
// worksheet's and which are stored in the same markup.
bool IsWorksheetsMember(std::string_view relationshipType)
{
    return EndsWith(relationshipType, "/worksheet") || EndsWith(relationshipType, "/xlMacrosheet") ||
           EndsWith(relationshipType, "/xlIntlMacrosheet");
}

struct SheetRef {
    std::u16string name;
    SheetVisibility visibility = SheetVisibility::Visible;
    std::string relId;
};

class WorkbookParser : public XmlSax {
public:
    explicit WorkbookParser(ReadBudget* budget) : XmlSax(XmlLimitsFor(budget)) {}
    std::vector<SheetRef> sheets;
    bool date1904 = false;

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local == "workbookPr") {
            const char* d = attrs.Get("", "date1904");
            date1904 = d != nullptr && (std::string_view(d) == "1" || std::string_view(d) == "true");
        } else if (name.local == "sheet" && sheets.size() < 65536) {
            SheetRef ref;
            const char* n = attrs.Get("", "name");
            const char* state = attrs.Get("", "state");
            const char* id = RelId(attrs);
            if (n != nullptr) ref.name = Utf8ToUtf16(n);
            if (state != nullptr) {
                const std::string_view s(state);
                ref.visibility = s == "hidden"       ? SheetVisibility::Hidden
                                 : s == "veryHidden" ? SheetVisibility::VeryHidden
                                                     : SheetVisibility::Visible;
            }
            if (id != nullptr) ref.relId = id;
            sheets.push_back(std::move(ref));
        }
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}
};

// Shared strings: the text of every <si>, from its <t> elements, leaving
// out the phonetic runs (<rPh>).
class SharedStringsParser : public XmlSax {
public:
    SharedStringsParser(WorkbookBuilder& builder, std::vector<std::uint32_t>& table)
        : XmlSax(XmlLimitsFor(builder.Budget())), m_builder(builder), m_table(table)
    {
    }

protected:
    void StartElement(const XmlName& name, const XmlAttributes&) override
    {
        m_stop();
        if (name.local == "si") {
            m_inItem = true;
            m_text.clear();
        } else if (name.local == "rPh") {
            ++m_phonetic;
        } else if (name.local == "t" && m_inItem && m_phonetic == 0) {
            m_inText = true;
        }
    }
    void EndElement(const XmlName& name) override
    {
        if (name.local == "t") {
            m_inText = false;
        } else if (name.local == "rPh") {
            if (m_phonetic > 0) --m_phonetic;
        } else if (name.local == "si" && m_inItem) {
            m_inItem = false;
            m_table.push_back(m_builder.AddText(DecodeText(m_text)));
            if (m_builder.Failed()) Stop(m_builder.Error());
        }
    }
    void CharacterData(std::string_view text) override
    {
        if (m_inText) m_text.append(text);
    }

private:
    WorkbookBuilder& m_builder;
    std::vector<std::uint32_t>& m_table;
    platform::StopCheck m_stop;
    std::string m_text;
    bool m_inItem = false;
    bool m_inText = false;
    int m_phonetic = 0;
};

// Styles: custom number formats and the number format of each cell style.
class StylesParser : public XmlSax {
public:
    explicit StylesParser(ReadBudget* budget) : XmlSax(XmlLimitsFor(budget)) {}
    std::vector<NumberStyle> xfStyles;

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local == "numFmt") {
            const char* id = attrs.Get("", "numFmtId");
            const char* code = attrs.Get("", "formatCode");
            unsigned n = 0;
            if (id != nullptr && code != nullptr &&
                std::from_chars(id, id + std::char_traits<char>::length(id), n).ec == std::errc())
                m_formats[n] = StyleOfFormatCode(Utf8ToUtf16(code));
        } else if (name.local == "cellXfs") {
            m_inCellXfs = true;
        } else if (name.local == "xf" && m_inCellXfs && xfStyles.size() < 65536) {
            const char* id = attrs.Get("", "numFmtId");
            unsigned n = 0;
            if (id != nullptr) std::from_chars(id, id + std::char_traits<char>::length(id), n);
            const auto it = m_formats.find(n);
            xfStyles.push_back(it != m_formats.end() ? it->second : StyleOfBuiltinFormat(n));
        }
    }
    void EndElement(const XmlName& name) override
    {
        if (name.local == "cellXfs") m_inCellXfs = false;
    }
    void CharacterData(std::string_view) override {}

private:
    std::map<unsigned, NumberStyle> m_formats;
    bool m_inCellXfs = false;
};

// "AB12" -> column 27 and row 11 (0-based). False when malformed.
bool ParseCellRef(std::string_view ref, std::uint32_t& row, std::uint32_t& column)
{
    std::size_t i = 0;
    std::uint64_t col = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        const char c = static_cast<char>(ref[i] & ~0x20);
        col = col * 26 + static_cast<std::uint64_t>(c - 'A' + 1);
        if (col > kMaxColumns) return false;
        ++i;
    }
    std::uint64_t r = 0;
    const std::size_t digits = i;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
        r = r * 10 + static_cast<std::uint64_t>(ref[i] - '0');
        if (r > kMaxRows) return false;
        ++i;
    }
    if (col == 0 || r == 0 || i != ref.size() || digits == i) return false;
    row = static_cast<std::uint32_t>(r - 1);
    column = static_cast<std::uint32_t>(col - 1);
    return true;
}

// The t attribute of a cell, decided once per cell rather than compared as
// text at the cell's end. Unknown types read as numbers, as "n" does.
enum class CellType : std::uint8_t { Number, Shared, Inline, TextResult, Boolean, Error };

CellType TypeOf(std::string_view t)
{
    if (t == "s") return CellType::Shared;
    if (t == "inlineStr") return CellType::Inline;
    if (t == "str" || t == "d") return CellType::TextResult;
    if (t == "b") return CellType::Boolean;
    if (t == "e") return CellType::Error;
    return CellType::Number;
}

// Runs on a thread of its own, beside the parser of another sheet: it looks
// at the stop request and at `abandon`, set when the other sheet has failed
// and this one's work would be thrown away.
class SheetParser : public XmlSax {
public:
    SheetParser(WorkbookBuilder& builder, const std::vector<std::uint32_t>& strings,
                const std::vector<NumberStyle>& styles, const std::atomic<bool>* abandon = nullptr)
        : XmlSax(XmlLimitsFor(builder.Budget())), m_builder(builder), m_strings(strings), m_styles(styles),
          m_abandon(abandon)
    {
    }

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (++m_elements % 4096 == 0) {
            platform::ThrowIfStopRequested();
            if (m_abandon != nullptr && m_abandon->load()) {
                // The other sheet's failure is the one reported.
                Stop({ReadErrorKind::Cancelled, "abandoned"});
                return;
            }
        }
        const std::string_view local = name.local;
        if (local == "row") {
            const char* r = attrs.Get("", "r");
            std::uint32_t value = 0;
            if (r != nullptr && std::from_chars(r, r + std::char_traits<char>::length(r), value).ec == std::errc() &&
                value >= 1)
                m_row = value - 1;
            else m_row = m_rowSeen ? m_row + 1 : 0;
            m_rowSeen = true;
            m_nextColumn = 0;
        } else if (local == "c") {
            m_inCell = true;
            m_value.clear();
            m_formula.clear();
            m_inline.clear();
            m_hasFormula = false;
            m_hasValue = false;
            m_type = CellType::Number;
            unsigned style = 0;
            m_cellRow = m_row;
            m_cellColumn = m_nextColumn;
            // One pass over the attributes: this runs for every cell.
            attrs.ForEach([&](const XmlName& attr, std::string_view value) {
                if (!attr.ns.empty() || attr.local.size() != 1) return;
                switch (attr.local[0]) {
                case 't': m_type = TypeOf(value); break;
                case 's': std::from_chars(value.data(), value.data() + value.size(), style); break;
                case 'r': ParseCellRef(value, m_cellRow, m_cellColumn); break;
                default: break;
                }
            });
            m_style = style < m_styles.size() ? m_styles[style] : NumberStyle::General;
            m_nextColumn = m_cellColumn + 1;
        } else if (m_inCell && local == "f") {
            m_inFormula = true;
            m_hasFormula = true;
        } else if (m_inCell && local == "v") {
            m_inValue = true;
            m_hasValue = true;
        } else if (m_inCell && local == "rPh") {
            ++m_phonetic;
        } else if (m_inCell && local == "t" && m_phonetic == 0) {
            m_inInline = true;
        }
        if (m_builder.Failed()) Stop(m_builder.Error());
    }
    void EndElement(const XmlName& name) override
    {
        const std::string_view local = name.local;
        if (local == "f") m_inFormula = false;
        else if (local == "v") m_inValue = false;
        else if (local == "t") m_inInline = false;
        else if (local == "rPh" && m_phonetic > 0) --m_phonetic;
        else if (local == "c" && m_inCell) {
            m_inCell = false;
            FinishCell();
            if (m_builder.Failed()) Stop(m_builder.Error());
        }
    }
    void CharacterData(std::string_view text) override
    {
        if (m_inValue) m_value.append(text);
        else if (m_inFormula) m_formula.append(text);
        else if (m_inInline) m_inline.append(text);
    }

private:
    void FinishCell()
    {
        Cell cell;
        cell.row = m_cellRow;
        cell.column = m_cellColumn;
        cell.isFormula = m_hasFormula;
        if (!m_formula.empty()) cell.formula = m_builder.AddText(DecodeText(m_formula, u"="));
        if (m_type == CellType::Shared) {
            std::uint32_t index = 0;
            if (std::from_chars(m_value.data(), m_value.data() + m_value.size(), index).ec != std::errc() ||
                index >= m_strings.size())
                return;
            cell.kind = CellKind::Text;
            cell.text = m_strings[index];
        } else if (m_type == CellType::Inline) {
            if (m_inline.empty() && !m_hasFormula) return;
            cell.kind = CellKind::Text;
            if (!m_inline.empty()) cell.text = m_builder.AddText(DecodeText(m_inline));
        } else if (m_type == CellType::TextResult) {
            // A formula's text result; a date written as ISO text is kept
            // as the text it is.
            if (m_value.empty() && !m_hasFormula) return;
            cell.kind = CellKind::Text;
            if (!m_value.empty()) cell.text = m_builder.AddText(DecodeText(m_value));
        } else if (m_type == CellType::Boolean) {
            if (!m_hasValue) return;
            cell.kind = CellKind::Boolean;
            cell.number = m_value == "1" || m_value == "true" ? 1 : 0;
        } else if (m_type == CellType::Error) {
            cell.kind = CellKind::Error;
            const std::uint8_t code = ErrorCode(Utf8ToUtf16(m_value));
            if (code == 0xFF) {
                cell.kind = CellKind::Text;
                cell.text = m_builder.AddText(Utf8ToUtf16(m_value));
            } else {
                cell.number = code;
            }
        } else {
            std::size_t start = 0;
            while (start < m_value.size() && (m_value[start] == ' ' || m_value[start] == '+')) ++start;
            if (start == m_value.size()) {
                if (!m_hasFormula) return;  // a cell with only a style
                cell.kind = CellKind::Text;
            } else {
                double number = 0;
                const auto res = std::from_chars(m_value.data() + start, m_value.data() + m_value.size(), number);
                if (res.ec != std::errc()) return;
                cell.kind = CellKind::Number;
                cell.number = number;
                cell.style = m_style;
                // Most numbers are written the way General shows them;
                // those keep their text rather than being formatted again.
                const std::string_view written(m_value.data() + start, m_value.size() - start);
                if (m_style == NumberStyle::General && start == 0 && ShowsAsWritten(written))
                    cell.shown = m_builder.AddText(std::u16string(written.begin(), written.end()));
            }
        }
        m_builder.AddCell(cell);
    }

    WorkbookBuilder& m_builder;
    const std::vector<std::uint32_t>& m_strings;
    const std::vector<NumberStyle>& m_styles;
    const std::atomic<bool>* m_abandon;
    std::uint32_t m_elements = 0;
    std::uint32_t m_row = 0;
    bool m_rowSeen = false;
    std::uint32_t m_nextColumn = 0;
    std::uint32_t m_cellRow = 0;
    std::uint32_t m_cellColumn = 0;
    bool m_inCell = false;
    bool m_inFormula = false;
    bool m_inValue = false;
    bool m_inInline = false;
    bool m_hasFormula = false;
    bool m_hasValue = false;
    int m_phonetic = 0;
    CellType m_type = CellType::Number;
    NumberStyle m_style = NumberStyle::General;
    std::string m_value;
    std::string m_formula;
    std::string m_inline;
};

bool ReadRels(ZipPackage& zip, const std::string& part, std::map<std::string, Relationship>& rels, ReadBudget* budget,
              ReadError& error)
{
    const std::string relsPart = RelationshipsPartOf(part);
    if (!zip.HasEntry(relsPart)) return true;
    std::string xml;
    BudgetHold held;
    if (!zip.ReadEntry(relsPart, xml, error, &held)) return false;
    RelsParser parser(budget);
    if (!parser.Parse(xml, error)) return false;
    rels = std::move(parser.rels);
    return true;
}

// A damaged or oversized entry is reported before any XML error.
bool ParsePart(ZipPackage& zip, const std::string& part, XmlSax& parser, ReadError& error)
{
    std::string xml;
    BudgetHold held;
    return zip.ReadEntry(part, xml, error, &held) && parser.Parse(xml, error);
}

}  // namespace

XlsxReader::XlsxReader(const WorkbookLimits& limits) : m_limits(limits) {}

bool XlsxReader::Read(ByteView bytes, Workbook& out, ReadError& error)
{
    // `error` tells below whether a part has failed: it starts clear, not
    // with what the caller's variable held from an earlier file.
    error.Clear();
    ZipPackage zip(m_limits.budget);
    // A part whose data is all there but fails its checksum holds what the
    // file holds: its sheets are read like the others rather than the whole
    // workbook being refused. A part that cannot be inflated still refuses
    // the workbook: a sheet left empty would pass for one without the
    // keyword.
    zip.SetAcceptChecksumMismatch(true);
    if (!zip.Open(bytes, error)) return false;
    // The workbook part, from the package relationships.
    std::map<std::string, Relationship> rootRels;
    if (!ReadRels(zip, "", rootRels, m_limits.budget, error)) return false;
    std::string workbookPart;
    for (const auto& [id, rel] : rootRels)
        if (EndsWith(rel.type, "/officeDocument")) workbookPart = ResolvePartTarget("", rel.target);
    if (workbookPart.empty()) workbookPart = "xl/workbook.xml";
    if (!zip.HasEntry(workbookPart)) {
        error = {ReadErrorKind::NotThisFormat, "no workbook part in the package"};
        return false;
    }
    std::string xml;
    BudgetHold xmlHold;
    if (!zip.ReadEntry(workbookPart, xml, error, &xmlHold)) return false;
    WorkbookParser wbParser(m_limits.budget);
    if (!wbParser.Parse(xml, error)) return false;
    std::string().swap(xml);
    xmlHold.Reset();
    std::map<std::string, Relationship> rels;
    if (!ReadRels(zip, workbookPart, rels, m_limits.budget, error)) return false;

    // The workbook's targets are looked up by their own length, however
    // long the name of the workbook part's folder (see parttargetindex.h).
    const std::vector<std::string> entries = zip.EntryNames();
    PartTargetIndex targets(entries, workbookPart);

    WorkbookBuilder builder(m_limits);
    builder.SetDate1904(wbParser.date1904);
    std::vector<std::uint32_t> strings;
    std::vector<NumberStyle> styles;
    for (const auto& [id, rel] : rels) {
        const std::size_t at = targets.Find(rel.target);
        if (at == PartTargetIndex::npos) continue;
        const std::string& part = entries[at];
        if (EndsWith(rel.type, "/sharedStrings")) {
            SharedStringsParser parser(builder, strings);
            if (!ParsePart(zip, part, parser, error)) return false;
        } else if (EndsWith(rel.type, "/styles")) {
            StylesParser parser(m_limits.budget);
            if (!ParsePart(zip, part, parser, error)) return false;
            styles = std::move(parser.xfStyles);
        }
    }
    // Sheets are parsed two at a time, each into a part of the builder on a
    // thread of its own, and the parts are appended in sheet order; the
    // package is only ever read here. At most two parts (and their XML) are
    // held at once, both charged to the one budget as they grow, and every
    // running thread is joined before Read returns, however it returns. An
    // exception in a thread (the stop request) comes back through its
    // future; a part that fails makes the other give up, and its own reason
    // is the one reported.
    struct SheetJob {
        std::unique_ptr<WorkbookBuilder> part;
        std::string xml;
        BudgetHold xmlHold;
        ReadError error;
        std::future<bool> done;
    };
    std::atomic<bool> abandon{false};
    std::mutex firstErrorLock;
    ReadError firstError;
    std::deque<std::unique_ptr<SheetJob>> running;
    // A part is parsed for one sheet only: several sheets pointing at one
    // large part would multiply its cost by their number.
    std::vector<bool> sheetParts(entries.size(), false);
    const auto appendOldest = [&]() -> bool {
        std::unique_ptr<SheetJob> job = std::move(running.front());
        running.pop_front();
        bool parsed = false;
        try {
            parsed = job->done.get();
        } catch (...) {
            abandon = true;
            throw;
        }
        if (!parsed) {
            const std::lock_guard<std::mutex> lock(firstErrorLock);
            error = firstError.ok() ? job->error : firstError;
            return false;
        }
        if (builder.Append(std::move(*job->part))) return true;
        abandon = true;
        return false;
    };
    for (const SheetRef& ref : wbParser.sheets) {
        const auto it = rels.find(ref.relId);
        // Chart sheets and dialog sheets are no part of Worksheets.
        if (it == rels.end() || !IsWorksheetsMember(it->second.type)) continue;
        if (running.size() >= 2 && !appendOldest()) break;
        auto job = std::make_unique<SheetJob>();
        job->part = std::make_unique<WorkbookBuilder>(builder.Part());
        job->part->AddSheet(ref.name, ref.visibility);
        const std::size_t at = targets.Find(it->second.target);
        if (at != PartTargetIndex::npos && sheetParts[at]) {
            error = {ReadErrorKind::Damaged, "damaged workbook: two sheets share part '" + entries[at] + "'"};
            abandon = true;
            return false;
        }
        if (at == PartTargetIndex::npos) {
            // An empty sheet.
            job->done = std::async(std::launch::deferred, [] { return true; });
        } else {
            sheetParts[at] = true;
            if (!zip.ReadEntry(entries[at], job->xml, error, &job->xmlHold)) {
                abandon = true;
                return false;
            }
            const auto parse = [j = job.get(), &strings, &styles, &abandon, &firstErrorLock, &firstError,
                                stopRequest = platform::ThreadStopScope::Current()] {
                // A stop meant for the thread that opened the workbook
                // reaches its sheet threads too.
                const platform::ThreadStopScope stop(stopRequest);
                SheetParser parser(*j->part, strings, styles, &abandon);
                bool ok = false;
                try {
                    ok = parser.Parse(j->xml, j->error);
                } catch (const ReadBudgetExceeded& e) {
                    // Its reason too goes down before the other part gives up.
                    const std::lock_guard<std::mutex> lock(firstErrorLock);
                    if (firstError.ok() && !abandon.load()) firstError = {ReadErrorKind::TooLarge, e.what()};
                    abandon = true;
                    throw;
                } catch (...) {
                    abandon = true;
                    throw;
                }
                std::string().swap(j->xml);
                j->xmlHold.Reset();
                if (!ok) {
                    // The reason goes down before the other part is told to
                    // give up, so the reason it gives up for is never the one
                    // reported.
                    const std::lock_guard<std::mutex> lock(firstErrorLock);
                    if (firstError.ok() && !abandon.load()) firstError = j->error;
                    abandon = true;
                }
                return ok;
            };
            try {
                job->done = std::async(std::launch::async, parse);
            } catch (const std::system_error&) {
                job->done = std::async(std::launch::deferred, parse);  // no thread to spare: parse on this one
            }
        }
        running.push_back(std::move(job));
    }
    // A part that fails sets `error` or fails the builder; either ends it.
    // (A builder that failed gives its own reason: the part it made give up
    // would only say so.)
    while (!running.empty() && error.ok() && !builder.Failed() && appendOldest()) {
    }
    if (!error.ok()) return false;
    if (builder.Failed()) {
        error = builder.Error();
        return false;
    }
    out = builder.Finish();
    return true;
}

}  // namespace office
