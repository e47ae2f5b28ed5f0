// Rich Text Format: walks the token stream with a stack of group states.
// Each group knows which story its text belongs to (main text, footnotes,
// headers and footers, comments, endnotes, text boxes), whether its text is
// dropped (font and colour tables, pictures, field instructions, unknown
// ignorable destinations) and how 8-bit text is decoded (the document's
// \ansicpg, or the character set of the current font). Group nesting is
// capped so that a hostile file cannot grow the stack without bound; groups
// nested deeper than that keep their text (see m_overflow).
#include "office/word/rtfreader.h"

#include "office/text/charsetdecoder.h"
#include "office/word/doc6codepage.h"
#include "office/word/rtftokenizer.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

namespace office {

namespace {

constexpr std::size_t kMaxGroupDepth = 1000;
constexpr int kSymbolCodePage = -2;  // bytes of a symbol font: U+F000 + byte
constexpr std::size_t kMaxFonts = 65536;

enum Target : std::size_t { kMain, kFootnotes, kHeaders, kComments, kEndnotes, kTextBoxes, kTargetCount };

struct GroupState {
    Target target = kMain;
    bool skip = false;          // everything in this group is dropped
    bool suppressText = false;  // text dropped; a \result or \fldrslt inside brings it back
    bool fontTable = false;
    bool storyRoot = false;  // this group began a note, header or text box
    int uc = 1;              // bytes that follow a \uN as its fallback
    int codePage = 0;        // 0: no font chosen yet, the default font's
};

// Destinations whose text a person never reads as document text.
bool IsSkippedDestination(std::string_view w)
{
    static constexpr std::string_view kSkipped[] = {
        "colortbl",     "stylesheet",   "info",       "pict",        "listtable",   "listoverridetable",
        "revtbl",       "rsidtbl",      "generator",  "xmlnstbl",    "themedata",   "colorschememapping",
        "datastore",    "latentstyles", "pgdsctbl",   "fldinst",     "filetbl",     "template",
        "userprops",    "docvar",       "nonshppict", "objdata",     "objclass",    "objname",
        "bkmkstart",    "bkmkend",      "xe",         "tc",          "tcn",         "sp",
        "sn",           "sv",           "private",    "mmathPr",     "factoidname", "password",
        "passwordhash", "listtext",     "pntext",     "pntxta",      "pntxtb",      "atnid",
        "atnauthor",    "atndate",      "atnref",     "atnparent",   "atntime",     "atnicn",
        "shprslt",      "fldtype",      "datafield",  "ffdeftext",   "ffformat",    "ffhelptext",
        "ffstattext",   "ffentrymcr",   "ffexitmcr",  "ffname",      "fontemb",     "fontfile",
        "falt",         "panose",       "defchp",     "defpap",      "ud",          "wgrffmtfilter",
        "operator",     "company",      "title",      "author",      "keywords",    "comment",
        "doccomm",      "subject",      "category",   "manager",     "hlinkbase",   "mhtmltag",
        "htmltag",      "blipuid",      "background", "protusertbl", "aftncn",      "aftnsep",
        "aftnsepc",     "ftncn",        "ftnsep",     "ftnsepc",
    };
    for (std::string_view s : kSkipped) {
        if (w == s) return true;
    }
    return false;
}

// Ignorable destinations ({\*\name ...}) whose content we do read.
bool IsReadStarDestination(std::string_view w)
{
    return w == "annotation" || w == "footnote" || w == "shpinst" || w == "shptxt" || w == "nesttableprops" ||
           w == "fldrslt" || w == "result";
}

class RtfParser {
public:
    explicit RtfParser(ByteView bytes) : m_tok(bytes) {}

    bool Run(WordContent& out, ReadError& error);

private:
    GroupState& State() { return m_stack.back(); }
    std::u16string& Buffer(Target t) { return m_stories[t]; }
    bool TextAllowed() { return !State().skip && !State().suppressText && !State().fontTable; }
    int EffectiveCodePage()
    {
        if (State().codePage != 0) return State().codePage;
        const auto it = m_fontCodePages.find(m_defaultFont);
        return it != m_fontCodePages.end() ? it->second : m_docCodePage;
    }

    void Flush();
    void AddBytes(std::string_view bytes);
    void AddChar(char16_t c);
    void OnWord(const RtfToken& t);
    // Control words that stand for a character; false for any other word.
    bool OnCharacterWord(const RtfToken& t);
    void OnSymbol(char s);
    void BeginStory(Target target);
    void EndGroup();

    RtfTokenizer m_tok;
    std::vector<GroupState> m_stack;
    std::array<std::u16string, kTargetCount> m_stories;
    std::unordered_map<std::int32_t, int> m_fontCodePages;
    std::int32_t m_currentFont = 0;
    std::int32_t m_defaultFont = 0;  // \deffN: the font of text before any \fN
    int m_docCodePage = 1252;
    int m_ucSkip = 0;  // fallback bytes still to drop after a \uN
    // A \* marks the control word after it as an ignorable destination only
    // when it is the first thing in its group: writers also put \* before
    // formatting words such as \cs inside a run, and that text is read.
    bool m_atGroupStart = false;
    bool m_starPending = false;
    // Groups opened past kMaxGroupDepth. They share the state of the
    // deepest kept group: their text is read into it, and since what they
    // change could not be undone at their end, only control words that stand
    // for characters count inside them (a destination there is read as text,
    // not dropped).
    std::size_t m_overflow = 0;
    // 8-bit text waiting to be decoded in one go.
    std::string m_pending;
    int m_pendingCodePage = 1252;
    Target m_pendingTarget = kMain;
};

void RtfParser::Flush()
{
    if (m_pending.empty()) return;
    std::u16string& out = Buffer(m_pendingTarget);
    if (m_pendingCodePage == kSymbolCodePage) {
        for (char c : m_pending) out.push_back(static_cast<char16_t>(0xF000 + static_cast<unsigned char>(c)));
    } else {
        AppendCodePageText(m_pending, m_pendingCodePage, out);
    }
    m_pending.clear();
}

void RtfParser::AddBytes(std::string_view bytes)
{
    if (m_ucSkip > 0) {
        const std::size_t drop = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(m_ucSkip));
        m_ucSkip -= static_cast<int>(drop);
        bytes.remove_prefix(drop);
    }
    if (bytes.empty() || !TextAllowed()) return;
    const int cp = EffectiveCodePage();
    if (!m_pending.empty() && (cp != m_pendingCodePage || State().target != m_pendingTarget)) Flush();
    m_pendingCodePage = cp;
    m_pendingTarget = State().target;
    m_pending.append(bytes);
}

void RtfParser::AddChar(char16_t c)
{
    if (!TextAllowed()) return;
    Flush();
    Buffer(State().target).push_back(c);
}

void RtfParser::BeginStory(Target target)
{
    Flush();
    State().target = target;
    State().storyRoot = true;
    State().suppressText = false;
}

void RtfParser::EndGroup()
{
    Flush();
    const GroupState ended = State();
    m_stack.pop_back();
    m_ucSkip = 0;
    // A note or header ends its last paragraph even if the file did not.
    if (ended.storyRoot && !ended.skip) {
        std::u16string& story = Buffer(ended.target);
        if (!story.empty() && story.back() != u'\r') story.push_back(u'\r');
    }
}

void RtfParser::OnSymbol(char s)
{
    if (m_ucSkip > 0) {
        --m_ucSkip;
        return;
    }
    switch (s) {
    case '*':
        if (m_atGroupStart) m_starPending = true;
        return;
    case '~': AddChar(u'\u00A0'); return;
    case '-': AddChar(u'\x1F'); return;
    case '_': AddChar(u'\x1E'); return;
    case '\n': AddChar(u'\r'); return;
    case '\t': AddChar(u'\t'); return;
    case '\\':
    case '{':
    case '}': {
        const char lit[1] = {s};
        AddBytes(std::string_view(lit, 1));
        return;
    }
    default: return;  // \| \: and other formula or index symbols
    }
}

bool RtfParser::OnCharacterWord(const RtfToken& t)
{
    const std::string_view w = t.word;
    if (w == "par" || w == "sect") {
        AddChar(w == "par" ? u'\r' : u'\f');
    } else if (w == "page" || w == "column") {
        AddChar(u'\f');
    } else if (w == "line") {
        AddChar(u'\v');
    } else if (w == "tab") {
        AddChar(u'\t');
    } else if (w == "cell" || w == "row" || w == "nestcell" || w == "nestrow") {
        AddChar(u'\a');
    } else if (w == "emdash") {
        AddChar(u'\u2014');
    } else if (w == "endash") {
        AddChar(u'\u2013');
    } else if (w == "lquote") {
        AddChar(u'\u2018');
    } else if (w == "rquote") {
        AddChar(u'\u2019');
    } else if (w == "ldblquote") {
        AddChar(u'\u201C');
    } else if (w == "rdblquote") {
        AddChar(u'\u201D');
    } else if (w == "bullet") {
        AddChar(u'\u2022');
    } else if (w == "emspace") {
        AddChar(u'\u2003');
    } else if (w == "enspace") {
        AddChar(u'\u2002');
    } else if (w == "qmspace") {
        AddChar(u'\u2005');
    } else if (w == "u" && t.hasParam) {
        // \uN is signed 16-bit; the bytes after it are its fallback.
        if (t.param >= -32768 && t.param <= 65535) {
            const auto unit = static_cast<char16_t>(t.param < 0 ? t.param + 65536 : t.param);
            if (unit >= 0x20 || unit == u'\t') AddChar(unit);
        }
        m_ucSkip = State().uc;
    } else {
        return false;
    }
    return true;
}

void RtfParser::OnWord(const RtfToken& t)
{
    const std::string_view w = t.word;
    GroupState& st = State();
    const bool star = m_starPending;
    m_starPending = false;

    if (w == "bin") {
        // Binary data is skipped whatever the destination.
        if (t.hasParam && t.param > 0) m_tok.SkipBytes(static_cast<std::uint64_t>(t.param));
        return;
    }
    if (st.skip) return;
    if (m_overflow > 0) {
        OnCharacterWord(t);
        return;
    }
    if (star && !IsReadStarDestination(w)) {
        Flush();
        st.skip = true;
        return;
    }
    if (IsSkippedDestination(w)) {
        Flush();
        st.skip = true;
        return;
    }
    if (st.fontTable) {
        if (w == "f" && t.hasParam) {
            m_currentFont = t.param;
        } else if (w == "fcharset" && t.hasParam && m_fontCodePages.size() < kMaxFonts) {
            const int cp = t.param == 2 ? kSymbolCodePage : CodePageForCharset(static_cast<std::uint8_t>(t.param));
            if (cp != 0) m_fontCodePages[m_currentFont] = cp;
        } else if (w == "cpg" && t.hasParam && IsKnownCodePage(t.param) && m_fontCodePages.size() < kMaxFonts) {
            m_fontCodePages[m_currentFont] = t.param;
        }
        return;
    }

    if (OnCharacterWord(t)) return;
    if (w == "uc" && t.hasParam) {
        st.uc = std::clamp(t.param, 0, 16);
    }
    // Code pages and fonts.
    else if (w == "ansicpg" && t.hasParam) {
        if (IsKnownCodePage(t.param)) m_docCodePage = t.param;
    } else if (w == "mac") {
        m_docCodePage = 10000;
    } else if (w == "pc") {
        m_docCodePage = 437;
    } else if (w == "pca") {
        m_docCodePage = 850;
    } else if (w == "deff" && t.hasParam) {
        m_defaultFont = t.param;
    } else if (w == "f" && t.hasParam) {
        const auto it = m_fontCodePages.find(t.param);
        st.codePage = it != m_fontCodePages.end() ? it->second : m_docCodePage;
    } else if (w == "fonttbl") {
        Flush();
        st.fontTable = true;
    }
    // Destinations that carry stories or field results.
    else if (w == "footnote") {
        BeginStory(kFootnotes);
    } else if (w == "ftnalt") {
        if (st.target == kFootnotes) {
            Flush();
            st.target = kEndnotes;
        }
    } else if (w == "header" || w == "footer" || w == "headerl" || w == "headerr" || w == "headerf" || w == "footerl" ||
               w == "footerr" || w == "footerf") {
        BeginStory(kHeaders);
    } else if (w == "annotation") {
        BeginStory(kComments);
    } else if (w == "shptxt") {
        BeginStory(kTextBoxes);
    } else if (w == "object") {
        Flush();
        st.suppressText = true;
    } else if (w == "result" || w == "fldrslt") {
        st.suppressText = false;
    }
}

bool RtfParser::Run(WordContent& out, ReadError& error)
{
    RtfToken t = m_tok.Next();
    if (t.type != RtfToken::Type::GroupStart) {
        error = {ReadErrorKind::NotThisFormat, "not an RTF document"};
        return false;
    }
    t = m_tok.Next();
    if (t.type != RtfToken::Type::Word || (t.word != "rtf" && t.word != "urtf")) {
        error = {ReadErrorKind::NotThisFormat, "not an RTF document"};
        return false;
    }
    m_stack.push_back(GroupState{});
    platform::StopCheck stop;
    // Tokens always advance through the input, so this loop ends.
    for (t = m_tok.Next(); t.type != RtfToken::Type::End && !m_stack.empty(); t = m_tok.Next()) {
        stop();
        // Only a run of \* keeps a group at its start.
        if (t.type != RtfToken::Type::Symbol || t.symbol != '*') m_atGroupStart = false;
        switch (t.type) {
        case RtfToken::Type::GroupStart:
            m_starPending = false;
            m_ucSkip = 0;
            if (m_stack.size() >= kMaxGroupDepth || m_overflow > 0) {
                ++m_overflow;
                break;
            }
            Flush();
            m_stack.push_back(State());
            State().storyRoot = false;
            m_atGroupStart = true;
            break;
        case RtfToken::Type::GroupEnd:
            m_starPending = false;
            if (m_overflow > 0) {
                --m_overflow;
                m_ucSkip = 0;
                break;
            }
            EndGroup();
            break;
        case RtfToken::Type::Word: OnWord(t); break;
        case RtfToken::Type::Symbol:
            if (t.symbol != '*') m_starPending = false;
            OnSymbol(t.symbol);
            break;
        case RtfToken::Type::Byte: {
            m_starPending = false;
            const char b[1] = {static_cast<char>(t.byte)};
            AddBytes(std::string_view(b, 1));
            break;
        }
        case RtfToken::Type::Text:
            m_starPending = false;
            AddBytes(t.text);
            break;
        case RtfToken::Type::End: break;
        }
    }
    // A file cut short still gives what it held.
    while (!m_stack.empty()) EndGroup();

    static constexpr StoryKind kKinds[kTargetCount] = {StoryKind::Main,           StoryKind::Footnotes,
                                                       StoryKind::HeadersFooters, StoryKind::Comments,
                                                       StoryKind::Endnotes,       StoryKind::TextBoxes};
    out.stories.clear();
    for (std::size_t i = 0; i < kTargetCount; ++i) {
        if (i == kMain || !m_stories[i].empty()) out.stories.push_back({kKinds[i], std::move(m_stories[i])});
    }
    return true;
}

}  // namespace

bool ReadRtf(ByteView bytes, WordContent& out, ReadError& error)
{
    out.stories.clear();
    RtfParser parser(bytes);
    return parser.Run(out, error);
}

}  // namespace office
