// Web page events to Word's stories (see htmlwalker.h).
#include "office/word/htmlwalker.h"

#include <algorithm>
#include <array>
#include <utility>

namespace office {

namespace {

// What an element name means for the text.
enum : std::uint16_t {
    kBlock = 1 << 0,       // ends the paragraph before and after it
    kPre = 1 << 1,         // keeps white space and line ends
    kCell = 1 << 2,        // td, th: ends with a cell mark
    kRow = 1 << 3,         // tr: ends with a row mark
    kHiddenName = 1 << 4,  // content no browser shows as text
    kTitle = 1 << 5,
    kBreak = 1 << 6,       // br
    kSection = 1 << 7,     // thead, tbody, tfoot
    kListItem = 1 << 8,    // li
    kDefinition = 1 << 9,  // dt, dd
    kOption = 1 << 10,
    kParagraph = 1 << 11,  // p
    kRawText = 1 << 12,    // script, style: text up to their own end tag
    kRoot = 1 << 13,       // html: what stands before it is no paragraph of its own
};

struct KnownName {
    std::string_view name;
    std::uint16_t bits;
};

// clang-format off
constexpr std::array kKnownNames = {
    KnownName{"p", kBlock | kParagraph}, KnownName{"div", kBlock}, KnownName{"h1", kBlock},
    KnownName{"h2", kBlock}, KnownName{"h3", kBlock}, KnownName{"h4", kBlock}, KnownName{"h5", kBlock},
    KnownName{"h6", kBlock}, KnownName{"li", kBlock | kListItem}, KnownName{"ul", kBlock}, KnownName{"ol", kBlock},
    KnownName{"dl", kBlock}, KnownName{"dt", kBlock | kDefinition}, KnownName{"dd", kBlock | kDefinition},
    KnownName{"table", kBlock}, KnownName{"blockquote", kBlock}, KnownName{"pre", kBlock | kPre},
    KnownName{"section", kBlock}, KnownName{"article", kBlock}, KnownName{"header", kBlock},
    KnownName{"footer", kBlock}, KnownName{"nav", kBlock}, KnownName{"aside", kBlock}, KnownName{"main", kBlock},
    KnownName{"form", kBlock}, KnownName{"fieldset", kBlock}, KnownName{"address", kBlock}, KnownName{"hr", kBlock},
    KnownName{"figure", kBlock}, KnownName{"figcaption", kBlock}, KnownName{"caption", kBlock},
    KnownName{"center", kBlock}, KnownName{"body", kBlock}, KnownName{"html", kBlock | kRoot}, KnownName{"legend", kBlock},
    KnownName{"details", kBlock}, KnownName{"summary", kBlock}, KnownName{"tbody", kBlock | kSection},
    KnownName{"thead", kBlock | kSection}, KnownName{"tfoot", kBlock | kSection},
    KnownName{"option", kBlock | kOption}, KnownName{"textarea", kBlock | kPre}, KnownName{"menu", kBlock},
    KnownName{"dir", kBlock}, KnownName{"listing", kBlock | kPre}, KnownName{"xmp", kBlock | kPre},
    KnownName{"plaintext", kPre}, KnownName{"td", kCell}, KnownName{"th", kCell}, KnownName{"tr", kRow},
    KnownName{"title", kTitle}, KnownName{"br", kBreak}, KnownName{"script", kHiddenName | kRawText},
    KnownName{"style", kHiddenName | kRawText}, KnownName{"noscript", kHiddenName}, KnownName{"template", kHiddenName},
    KnownName{"object", kHiddenName}, KnownName{"applet", kHiddenName}, KnownName{"embed", kHiddenName},
    KnownName{"iframe", kHiddenName}, KnownName{"select", kHiddenName}, KnownName{"map", kHiddenName},
    KnownName{"svg", kHiddenName}, KnownName{"math", kHiddenName}, KnownName{"noembed", kHiddenName},
    KnownName{"noframes", kHiddenName},
};
// clang-format on

// The known names have the ids of their places in kKnownNames, found in one
// table all walkers share; a walker adds only the other names its page has.
// Every start tag of a page is looked up, so the table is a small open hash
// of its own: a name is hashed by its few bytes, with no division.
class KnownIdTable {
public:
    KnownIdTable()
    {
        m_slots.fill(kEmpty);
        for (std::size_t i = 0; i < kKnownNames.size(); ++i) {
            std::size_t at = Hash(kKnownNames[i].name);
            while (m_slots[at] != kEmpty) at = (at + 1) & kMask;
            m_slots[at] = static_cast<std::uint8_t>(i);
        }
    }
    bool Find(std::string_view name, std::uint32_t& id) const
    {
        if (name.empty() || name.size() > kLongest) return false;
        // Ends at an empty slot: the table is never more than a third full.
        for (std::size_t at = Hash(name);; at = (at + 1) & kMask) {
            const std::uint8_t slot = m_slots[at];
            if (slot == kEmpty) return false;
            if (name == kKnownNames[slot].name) {
                id = slot;
                return true;
            }
        }
    }

private:
    static constexpr std::size_t kSize = 256;
    static constexpr std::size_t kMask = kSize - 1;
    static constexpr std::uint8_t kEmpty = 0xFF;
    static constexpr std::size_t kLongest = 16;
    static_assert(kKnownNames.size() * 3 < kSize);
    static_assert(std::all_of(kKnownNames.begin(), kKnownNames.end(),
                              [](const KnownName& known) { return known.name.size() <= kLongest; }));
    static std::size_t Hash(std::string_view name)
    {
        std::uint32_t h = static_cast<std::uint32_t>(name.size()) * 0x9E3779B1u;
        for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x01000193u;
        return (h ^ (h >> 15)) & kMask;
    }
    std::array<std::uint8_t, kSize> m_slots{};
};

const KnownIdTable& KnownIds()
{
    static const KnownIdTable table;
    return table;
}

// The flags an open element keeps for its end.
enum : std::uint8_t { kEndPre = 1, kEndCell = 2, kEndBlock = 4 };

}  // namespace

HtmlWalker::HtmlWalker() : m_bodyText(m_body), m_titleText(m_title)
{
    m_classes.reserve(kKnownNames.size() + 16);
    for (const KnownName& known : kKnownNames) m_classes.push_back(known.bits);
}

bool HtmlWalker::FindId(std::string_view name, std::uint32_t& id)
{
    if (KnownIds().Find(name, id)) return true;
    m_key.assign(name);
    const auto it = m_names.find(m_key);
    if (it == m_names.end()) return false;
    id = it->second;
    return true;
}

std::uint32_t HtmlWalker::NameId(std::string_view name)
{
    std::uint32_t id = 0;
    if (FindId(name, id)) return id;
    id = static_cast<std::uint32_t>(m_classes.size());
    m_classes.push_back(0);
    m_names.emplace(m_key, id);
    return id;
}

void HtmlWalker::StartElement(std::string_view name, const HtmlAttributes& attributes)
{
    const bool hiddenAttribute = attributes.Has("hidden");
    const std::uint32_t id = NameId(name);
    const std::uint16_t bits = m_classes[id];
    m_bodyText.EndRun();
    if (m_live.empty() && !m_detached.empty()) AutoCloseDetached(bits);
    Open open{id, Effect::None, 0};
    if (Suppressed()) {
        // Inside a hidden element or a title nothing is laid out.
    } else if ((bits & kTitle) != 0 && !(m_haveTitle && m_detachedRuns)) {
        open.effect = m_haveTitle ? Effect::TitleSkip : Effect::TitleCapture;
        ++(m_haveTitle ? m_titleSkip : m_titleCapture);
        m_haveTitle = true;
    } else if ((bits & kBreak) != 0) {
        m_bodyText.Mark(0x000B);
    } else if ((bits & kRawText) != 0 || (((bits & kHiddenName) != 0 || hiddenAttribute) && !m_detachedRuns)) {
        // After a restart the parser no longer sees the elements around it
        // and may end hidden ones later than it would have; only script and
        // style, whose ends it finds in their raw text, still hide theirs.
        open.effect = Effect::Hidden;
        ++m_hidden;
    } else {
        open.effect = Effect::Visible;
        if ((bits & kBlock) != 0) {
            if ((bits & kRoot) == 0) m_bodyText.EndParagraph();
            open.flags |= kEndBlock;
        }
        if ((bits & kPre) != 0) {
            ++m_pre;
            open.flags |= kEndPre;
        }
        if ((bits & (kCell | kRow)) != 0) open.flags |= kEndCell;
    }
    m_live.push_back(open);
}

void HtmlWalker::EndElement()
{
    m_bodyText.EndRun();
    if (m_live.empty()) return;
    const Open open = m_live.back();
    m_live.pop_back();
    m_liveEnded = std::min(m_liveEnded, m_live.size());
    Leave(open);
}

void HtmlWalker::Leave(const Open& open)
{
    switch (open.effect) {
    case Effect::None: break;
    case Effect::Hidden: --m_hidden; break;
    case Effect::TitleCapture: --m_titleCapture; break;
    case Effect::TitleSkip: --m_titleSkip; break;
    case Effect::Visible:
        if ((open.flags & kEndPre) != 0) --m_pre;
        if ((open.flags & kEndCell) != 0) {
            m_bodyText.Mark(0x0007);
        } else if ((open.flags & kEndBlock) != 0) {
            m_bodyText.EndParagraph();
        }
        break;
    }
}

void HtmlWalker::Characters(std::string_view utf8)
{
    const bool capture = m_titleCapture > 0;
    if (!capture && Suppressed()) return;
    if (capture) {
        m_titleText.TextUtf8(utf8, false);
    } else {
        m_bodyText.TextUtf8(utf8, m_pre > 0);
    }
}

void HtmlWalker::DetachOpenElements()
{
    for (const Open& open : m_live) {
        // Hidden content ends here: the new run cannot tell where the parser
        // would have closed it, and text past a depth limit is never lost.
        // (A browser would show a few elements more rather than fewer.)
        if (open.effect == Effect::Hidden || open.effect == Effect::TitleSkip) {
            Leave(open);
            continue;
        }
        // An element without an effect at its end cannot change the text.
        if (open.effect == Effect::None || (open.effect == Effect::Visible && open.flags == 0)) continue;
        m_detachedByName[open.name].push_back(static_cast<std::uint32_t>(m_detached.size()));
        m_detached.push_back(open);
    }
    m_live.clear();
    m_liveEnded = 0;
    m_detachedRuns = true;
}

void HtmlWalker::CloseDetachedTop()
{
    const Open open = m_detached.back();
    m_detached.pop_back();
    auto& positions = m_detachedByName[open.name];
    positions.pop_back();
    Leave(open);
}

void HtmlWalker::UnmatchedEndTag(std::string_view name)
{
    m_bodyText.EndRun();
    if (m_detached.empty()) return;
    std::uint32_t id = 0;
    if (!FindId(name, id)) return;
    const auto it = m_detachedByName.find(id);
    if (it == m_detachedByName.end() || it->second.empty()) return;
    const std::uint32_t target = it->second.back();
    // Everything opened inside it ends with it, the current run's elements
    // too (their ends, when the parser reports them, then change nothing);
    // each element ends once.
    for (std::size_t i = m_live.size(); i > m_liveEnded; --i) {
        Leave(m_live[i - 1]);
        m_live[i - 1] = Open{m_live[i - 1].name, Effect::None, 0};
    }
    m_liveEnded = m_live.size();
    while (m_detached.size() > target) CloseDetachedTop();
}

void HtmlWalker::AutoCloseDetached(std::uint16_t starting)
{
    while (!m_detached.empty()) {
        const std::uint16_t top = m_classes[m_detached.back().name];
        bool closes = false;
        if ((starting & kCell) != 0) closes = (top & kCell) != 0;
        if ((starting & kRow) != 0) closes = (top & (kCell | kRow)) != 0;
        if ((starting & kSection) != 0) closes = (top & (kCell | kRow | kSection)) != 0;
        if ((starting & kListItem) != 0) closes = (top & kListItem) != 0;
        if ((starting & kDefinition) != 0) closes = (top & kDefinition) != 0;
        if ((starting & kOption) != 0) closes = (top & kOption) != 0;
        if ((starting & kBlock) != 0 && (top & kParagraph) != 0) closes = true;
        if (!closes) return;
        CloseDetachedTop();
    }
}

void HtmlWalker::ReserveFor(std::size_t bytes)
{
    if (bytes <= kReserveUpTo) m_body.reserve(bytes + 16);
}

void HtmlWalker::Finish(std::u16string& body, std::u16string& title)
{
    while (!m_live.empty()) EndElement();
    while (!m_detached.empty()) CloseDetachedTop();
    m_bodyText.EndParagraph();
    // A title never holds a paragraph mark of its own.
    if (!m_title.empty() && m_title.back() == u'\r') m_title.pop_back();
    body = std::move(m_body);
    title = std::move(m_title);
}

}  // namespace office
