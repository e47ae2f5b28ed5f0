// WordprocessingML text extraction (see docxtext.h).
#include "office/word/docxtext.h"

#include "platform/codepage.h"

#include <cstdlib>

namespace office {

namespace {

// The transitional and strict schemas use different namespace URIs for the
// same elements; both are read.
constexpr std::string_view kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kWStrict = "http://purl.oclc.org/ooxml/wordprocessingml/main";
constexpr std::string_view kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
constexpr std::string_view kMath = "http://schemas.openxmlformats.org/officeDocument/2006/math";
constexpr std::string_view kMathStrict = "http://purl.oclc.org/ooxml/officeDocument/math";

bool IsW(std::string_view ns)
{
    return ns == kW || ns == kWStrict;
}

const char* WAttr(const XmlAttributes& attrs, std::string_view local)
{
    const char* v = attrs.Get(kW, local);
    return v != nullptr ? v : attrs.Get(kWStrict, local);
}

bool Equals(const char* a, std::string_view b)
{
    return a != nullptr && std::string_view(a) == b;
}

// Elements whose whole subtree holds no visible text, or text that must not
// be found: properties, deleted and moved-away revisions, field codes.
bool SkippedWordElement(std::string_view local)
{
    // Sorted by first letter, as this runs for every element of a body.
    if (local.empty()) return false;
    switch (local.front()) {
    case 'd': return local == "delText" || local == "delInstrText" || local == "del";
    case 'e': return local == "endnotePr";
    case 'f': return local == "footnotePr";
    case 'i': return local == "instrText";
    case 'm': return local == "moveFrom";
    case 'n': return local == "numPr";
    case 'p': return local == "pPr" || local == "pPrChange";
    case 'r': return local == "rPr" || local == "rPrChange";
    case 's': return local == "sectPr" || local == "sdtPr";
    case 't': return local == "tblPr" || local == "tblGrid" || local == "trPr" || local == "tcPr";
    default: return false;
    }
}

}  // namespace

DocxText::DocxText(std::u16string& story, std::u16string& boxes, BudgetHold* hold)
    : XmlSax(XmlLimitsFor(hold != nullptr ? hold->Budget() : nullptr)), m_boxes(&boxes), m_hold(hold),
      m_heldBefore(hold != nullptr ? hold->Bytes() : 0)
{
    m_targets.push_back(&story);
}

bool DocxText::Room(std::size_t units)
{
    m_units += units;
    if (m_hold == nullptr || m_hold->TryCover(m_heldBefore + m_units * 2)) return true;
    Stop({ReadErrorKind::TooLarge, m_hold->Refusal(m_heldBefore + m_units * 2, "the text of the document")});
    return false;
}

void DocxText::Emit(char16_t c)
{
    if (!Suppressed() && Room(1)) Out().push_back(c);
}

void DocxText::FieldChar(const char* type)
{
    // One bit per open field, at any depth: each stands for a fldChar
    // element of the part, so the state never outgrows the part.
    if (Equals(type, "begin")) {
        m_fieldInstruction.push_back(true);
        ++m_instructions;
    } else if (Equals(type, "separate")) {
        if (!m_fieldInstruction.empty() && m_fieldInstruction.back()) {
            m_fieldInstruction.back() = false;
            --m_instructions;
        }
    } else if (Equals(type, "end")) {
        if (!m_fieldInstruction.empty()) {
            if (m_fieldInstruction.back()) --m_instructions;
            m_fieldInstruction.pop_back();
        }
    }
}

void DocxText::StartWordElement(std::string_view local, const XmlAttributes& attrs, El& kind)
{
    if (SkippedWordElement(local)) {
        SkipSubtree();
        return;
    }
    const bool inRun = m_stack.size() >= 2 && m_stack[m_stack.size() - 2] == El::Run;
    if (local == "t") {
        kind = El::Text;
    } else if (local == "r") {
        kind = El::Run;
    } else if (local == "p") {
        kind = El::Paragraph;
    } else if (local == "tc") {
        kind = El::Cell;
    } else if (local == "tr") {
        kind = El::Row;
    } else if (local == "txbxContent") {
        kind = El::TextBox;
        m_targets.push_back(m_boxes);
    } else if (local == "tab") {
        if (inRun) Emit(u'\t');
    } else if (local == "ptab") {
        Emit(u'\t');
    } else if (local == "br") {
        const char* type = WAttr(attrs, "type");
        Emit(Equals(type, "page") || Equals(type, "column") ? u'\f' : u'\v');
    } else if (local == "cr") {
        Emit(u'\v');
    } else if (local == "noBreakHyphen") {
        Emit(u'\x1E');
    } else if (local == "softHyphen") {
        Emit(u'\x1F');
    } else if (local == "sym") {
        const char* code = WAttr(attrs, "char");
        if (code != nullptr) {
            char* end = nullptr;
            const unsigned long v = std::strtoul(code, &end, 16);
            // Symbol-font characters come as F0xx; Word stores some as 00xx
            // and means the same private-use character.
            if (end != code && *end == '\0' && v >= 0x20 && v <= 0xFFFF)
                Emit(static_cast<char16_t>(v < 0x100 ? 0xF000 + v : v));
        }
    } else if (local == "fldChar") {
        FieldChar(WAttr(attrs, "fldCharType"));
    } else if (local == "footnote" || local == "endnote") {
        // Separator notes hold the note separator line, not text.
        const char* type = WAttr(attrs, "type");
        if (type != nullptr && !Equals(type, "normal")) SkipSubtree();
    }
}

void DocxText::StartElement(const XmlName& name, const XmlAttributes& attrs)
{
    m_stop();
    El kind = El::Other;
    m_stack.push_back(kind);
    if (m_skipFrom != 0) return;
    if (IsW(name.ns)) {
        StartWordElement(name.local, attrs, kind);
    } else if (name.ns == kMc) {
        if (name.local == "AlternateContent") {
            kind = El::AltContent;
            m_altChoiceTaken.push_back(false);
        } else if ((name.local == "Choice" || name.local == "Fallback") && !m_altChoiceTaken.empty()) {
            // Read the first alternative only; the others repeat it.
            if (m_altChoiceTaken.back()) SkipSubtree();
            else m_altChoiceTaken.back() = true;
        }
    } else if ((name.ns == kMath || name.ns == kMathStrict) && name.local == "t") {
        kind = El::Text;
    }
    m_stack.back() = kind;
}

void DocxText::EndElement(const XmlName&)
{
    if (m_stack.empty()) return;
    const El kind = m_stack.back();
    m_stack.pop_back();
    if (m_skipFrom != 0) {
        if (Depth() == m_skipFrom) m_skipFrom = 0;
        return;
    }
    switch (kind) {
    case El::Paragraph: Emit(u'\r'); break;
    case El::Cell:
        // The cell mark takes the place of the cell's last paragraph end.
        if (!Out().empty() && Out().back() == u'\r') Out().back() = u'\a';
        else Emit(u'\a');
        break;
    case El::Row: Emit(u'\a'); break;
    case El::TextBox:
        if (m_targets.size() > 1) m_targets.pop_back();
        break;
    case El::AltContent:
        if (!m_altChoiceTaken.empty()) m_altChoiceTaken.pop_back();
        break;
    default: break;
    }
}

void DocxText::CharacterData(std::string_view text)
{
    if (m_skipFrom != 0 || m_stack.empty() || m_stack.back() != El::Text || Suppressed()) return;
    // No more units than bytes; the exact count is settled by the next charge.
    const std::size_t before = Out().size();
    if (!Room(text.size())) return;
    AppendUtf8AsUtf16(Out(), text);
    m_units -= text.size() - (Out().size() - before);
}

}  // namespace office
