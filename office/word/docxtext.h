// Reads the text of one WordprocessingML part (document body, header,
// footer, footnotes, endnotes or comments) the way Word shows it: runs of
// text, tabs, breaks, symbols and special hyphens, paragraph ends, cell and
// row ends; field instructions, deleted and moved-away text skipped, field
// results kept; of alternative content only the first choice read. Text
// boxes go to their own story.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/xmlsax.h"
#include "platform/cancellation.h"

#include <string>
#include <vector>

namespace office {

class DocxText : public XmlSax {
public:
    // Text of the part goes to `story`, text of its text boxes to `boxes`.
    // With a hold, the text is charged to it as it grows (two bytes a
    // unit, on top of what the hold has now), and the parse stops with the
    // refusal when the budget has no more room. The caller reserves room
    // for the text (it has at most as many units as the part has bytes),
    // so the strings never move while they grow.
    DocxText(std::u16string& story, std::u16string& boxes, BudgetHold* hold = nullptr);

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override;
    void EndElement(const XmlName& name) override;
    void CharacterData(std::string_view text) override;

private:
    enum class El : std::uint8_t { Other, Run, Text, Paragraph, Cell, Row, TextBox, AltContent, Field };

    std::u16string& Out() { return *m_targets.back(); }
    bool Suppressed() const { return m_instructions > 0; }
    void Emit(char16_t c);
    void SkipSubtree() { m_skipFrom = Depth(); }
    void StartWordElement(std::string_view local, const XmlAttributes& attrs, El& kind);
    void FieldChar(const char* type);
    // False (and the parse stopped) when `units` more cannot be charged.
    bool Room(std::size_t units);

    std::vector<std::u16string*> m_targets;
    std::u16string* m_boxes;
    std::vector<El> m_stack;
    std::vector<bool> m_altChoiceTaken;    // one per open mc:AlternateContent
    std::vector<bool> m_fieldInstruction;  // one per open complex field
    std::size_t m_instructions = 0;
    std::size_t m_skipFrom = 0;  // depth whose subtree is skipped; 0 = none
    BudgetHold* m_hold;
    std::uint64_t m_heldBefore = 0;
    std::uint64_t m_units = 0;  // units written so far
    platform::StopCheck m_stop;
};

}  // namespace office
