// Translation of Word wildcard patterns to RE2 (see wildcardpattern.h).
#include "office/word/wildcardpattern.h"

#include "office/text/matchtext.h"
#include "office/word/caretcodes.h"

#include <re2/re2.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace office {

namespace {

// RE2 refuses repetition counts above this.
constexpr unsigned kMaxRepeat = 1000;
// Patterns come from a keyword of at most 256 bytes; this bounds nesting.
constexpr std::size_t kMaxPatternUnits = 4096;

// Appends code point `c` as an RE2 escape, safe inside and outside classes.
void AppendLiteral(std::string& out, char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c));
    out += buf;
}

// Reads one code point (a surrogate pair is one) at `i`; a lone surrogate
// becomes U+FFFD, which the UTF-8 text also holds in its place.
char32_t ReadCodePoint(std::u16string_view p, std::size_t& i)
{
    const char16_t c = p[i++];
    if (U16_IS_LEAD(c) && i < p.size() && U16_IS_TRAIL(p[i])) {
        return static_cast<char32_t>(U16_GET_SUPPLEMENTARY(c, p[i++]));
    }
    if (U16_IS_SURROGATE(c)) return 0xFFFD;
    return c;
}

bool ReadNumber(std::u16string_view p, std::size_t& i, unsigned& value)
{
    const std::size_t begin = i;
    value = 0;
    while (i < p.size() && p[i] >= u'0' && p[i] <= u'9') {
        value = value * 10 + static_cast<unsigned>(p[i] - u'0');
        if (value > kMaxRepeat) return false;
        ++i;
    }
    return i > begin;
}

// What a marked text's element steps over before its character.
constexpr std::string_view kMarks = "[\\x{FDD0}\\x{FDD1}]*";
// A class that matches nothing (a character that cannot be in the text).
constexpr std::string_view kNothing = "[^\\x{0}-\\x{10FFFF}]";

class Translator {
public:
    // `groupMins`: the least repetition of each group, as a first pass
    // without marks found them; needed when translating with marks.
    Translator(std::u16string_view p, bool marks, std::vector<unsigned> groupMins = {})
        : m_p(p), m_marks(marks), m_groupMins(std::move(groupMins))
    {
    }

    bool SawAnchor() const { return m_sawAnchor; }
    const std::vector<unsigned>& GroupMins() const { return m_groupMins; }
    // How many "<" and ">" may have to hold at one place of the text: each
    // reads a mark, so the marked text carries this many of each.
    int MarkCopies() const { return std::clamp(m_maxRun, 1, kMaxMarkCopies); }

    bool Run(WildcardTranslation& out)
    {
        if (m_p.empty() || m_p.size() > kMaxPatternUnits) return false;
        std::string& re = out.re2Pattern;
        int depth = 0;
        // Whether the last thing emitted can take "@" or "{n}".
        bool haveAtom = false;
        std::size_t i = 0;
        while (i < m_p.size()) {
            const char16_t c = m_p[i];
            switch (c) {
            case u'?':
                Atom(re, m_marks ? "[^\\x{FDD0}\\x{FDD1}]" : ".");
                haveAtom = true;
                ++i;
                NoteConsumed(i);
                break;
            case u'*':
                re += ".*?";  // marks included: any run is any run
                haveAtom = false;
                ++i;
                break;
            case u'@':
                if (!haveAtom) return false;
                re += '+';
                haveAtom = false;
                ++i;
                break;
            case u'{': {
                if (!haveAtom) return false;
                ++i;
                unsigned lo = 0;
                unsigned hi = 0;
                if (!ReadNumber(m_p, i, lo)) return false;
                std::string rep = "{" + std::to_string(lo);
                if (i < m_p.size() && (m_p[i] == u',' || m_p[i] == u';')) {
                    ++i;
                    rep += ',';
                    if (ReadNumber(m_p, i, hi)) {
                        if (hi < lo) return false;
                        rep += std::to_string(hi);
                    }
                }
                if (i >= m_p.size() || m_p[i] != u'}') return false;
                ++i;
                re += rep + "}";
                haveAtom = false;
                break;
            }
            case u'[': {
                std::string body;
                if (!Class(i, body, out)) return false;
                Atom(re, body);
                haveAtom = true;
                NoteConsumed(i);
                break;
            }
            case u'(':
                re += '(';
                NoteOpen(out.groups);
                ++out.groups;
                ++depth;
                haveAtom = false;
                ++i;
                break;
            case u')':
                if (depth == 0) return false;
                --depth;
                re += ')';
                haveAtom = true;
                ++i;
                NoteClose(i);
                break;
            case u'<':
            case u'>':
                m_sawAnchor = true;
                NoteAnchor();
                // Where a word ends and the next starts, the marks come in
                // pairs (end, start); either anchor steps over the other's.
                if (m_marks) re += c == u'<' ? "\\x{FDD0}?\\x{FDD1}" : "\\x{FDD1}?\\x{FDD0}";
                haveAtom = false;
                ++i;
                break;
            case u'\\': {
                if (i + 1 >= m_p.size()) return false;
                ++i;
                Literal(re, ReadCodePoint(m_p, i), out);
                haveAtom = true;
                NoteConsumed(i);
                break;
            }
            case u'^': {
                char16_t ch = 0;
                const std::size_t used = ReadCharacterCode(m_p, i, ch);
                if (used > 0) {
                    Literal(re, ch, out);
                    i += used;
                } else {
                    Literal(re, u'^', out);
                    ++i;
                }
                haveAtom = true;
                NoteConsumed(i);
                break;
            }
            default:
                Literal(re, ReadCodePoint(m_p, i), out);
                haveAtom = true;
                NoteConsumed(i);
                break;
            }
        }
        return depth == 0;
    }

private:
    // ---- How many anchors may meet at one place -------------------------
    // A count that never falls short: it restarts only after an element
    // that surely takes a character (not repeated "{0,...}", not inside a
    // group that may be skipped), and a group repeated n times counts its
    // anchors n times.

    // The least repetition the quantifier at `at` asks for (1 for none).
    unsigned MinRepeatAt(std::size_t at) const
    {
        if (at >= m_p.size() || m_p[at] != u'{') return 1;
        std::size_t k = at + 1;
        unsigned n = 0;
        return ReadNumber(m_p, k, n) ? n : 1;
    }

    bool AllMandatory() const { return m_frames.empty() || m_frames.back().mandatory; }

    void Raise(int& value, long long by)
    {
        value = static_cast<int>(std::min<long long>(value + by, kRunCap));
        m_maxRun = std::max(m_maxRun, m_run);
    }

    void NoteAnchor()
    {
        Raise(m_run, 1);
        if (!m_frames.empty()) Raise(m_frames.back().anchors, 1);
    }

    void NoteConsumed(std::size_t next)
    {
        if (MinRepeatAt(next) > 0 && AllMandatory()) m_run = 0;
    }

    void NoteOpen(int ordinal)
    {
        const std::size_t k = static_cast<std::size_t>(ordinal);
        const bool mandatory = !m_marks || (k < m_groupMins.size() && m_groupMins[k] > 0);
        m_frames.push_back({AllMandatory() && mandatory, 0, ordinal});
    }

    void NoteClose(std::size_t next)
    {
        if (m_frames.empty()) return;
        const Frame frame = m_frames.back();
        m_frames.pop_back();
        const unsigned min = MinRepeatAt(next);
        if (!m_marks) {
            const std::size_t k = static_cast<std::size_t>(frame.ordinal);
            if (m_groupMins.size() <= k) m_groupMins.resize(k + 1, 1);
            m_groupMins[k] = min;
        }
        if (min >= 2) Raise(m_run, static_cast<long long>(frame.anchors) * (min - 1));
        if (!m_frames.empty())
            Raise(m_frames.back().anchors, static_cast<long long>(frame.anchors) * std::max(min, 1u));
    }

    struct Frame {
        bool mandatory;
        int anchors;
        int ordinal;
    };
    static constexpr int kRunCap = 1 << 20;

    // One element that consumes a character; in a marked text it steps over
    // the marks before it, and is one unit for "@" and "{n}".
    void Atom(std::string& re, std::string_view body) const
    {
        if (!m_marks) {
            re += body;
            return;
        }
        re += "(?:";
        re += kMarks;
        re += body;
        re += ')';
    }

    void Literal(std::string& re, char32_t c, WildcardTranslation& out) const
    {
        if (IsIgnorableFormat(c)) out.keepsFormat = true;
        if (m_marks && (c == kWordEndMark || c == kWordStartMark)) {
            Atom(re, kNothing);
            return;
        }
        std::string body;
        AppendLiteral(body, c);
        Atom(re, body);
    }

    // Adds the range [lo, hi] to a class body; a marked text's marks are
    // never members.
    void Range(std::string& body, char32_t lo, char32_t hi, WildcardTranslation& out) const
    {
        if (lo == hi && IsIgnorableFormat(lo)) out.keepsFormat = true;
        auto add = [&body](char32_t a, char32_t b) {
            if (b < a) return;
            AppendLiteral(body, a);
            if (b != a) {
                body += '-';
                AppendLiteral(body, b);
            }
        };
        if (m_marks && lo <= kWordStartMark && hi >= kWordEndMark) {
            if (lo < kWordEndMark) add(lo, kWordEndMark - 1);
            if (hi > kWordStartMark) add(kWordStartMark + 1, hi);
            return;
        }
        add(lo, hi);
    }

    // "[...]" starting at m_p[i] == '['.
    bool Class(std::size_t& i, std::string& out, WildcardTranslation& translation)
    {
        ++i;
        std::string body;
        bool negated = false;
        if (i < m_p.size() && m_p[i] == u'!') {
            negated = true;
            ++i;
        }
        bool any = false;
        while (true) {
            if (i >= m_p.size()) return false;  // no closing bracket
            if (m_p[i] == u']' && any) break;
            if (m_p[i] == u']') return false;  // "[]" and "[!]" are empty
            char32_t lo = Member(i);
            if (i + 1 < m_p.size() && m_p[i] == u'-' && m_p[i + 1] != u']') {
                ++i;
                const char32_t hi = Member(i);
                if (hi < lo) return false;  // Word refuses a descending range
                Range(body, lo, hi, translation);
            } else {
                Range(body, lo, lo, translation);
            }
            any = true;
        }
        ++i;  // the closing bracket
        if (negated) {
            // Nor does a negated class match a mark.
            if (m_marks) body += "\\x{FDD0}-\\x{FDD1}";
            out = "[^" + body + "]";
        } else {
            out = body.empty() ? std::string(kNothing) : "[" + body + "]";
        }
        return true;
    }

    char32_t Member(std::size_t& i)
    {
        if (m_p[i] == u'\\' && i + 1 < m_p.size()) ++i;
        return ReadCodePoint(m_p, i);
    }

    std::u16string_view m_p;
    bool m_marks;
    bool m_sawAnchor = false;
    std::vector<unsigned> m_groupMins;
    std::vector<Frame> m_frames;
    int m_run = 0;
    int m_maxRun = 0;
};

RE2::Options PatternOptions(bool longest)
{
    RE2::Options options;
    options.set_longest_match(longest);
    options.set_encoding(RE2::Options::EncodingUTF8);
    options.set_case_sensitive(true);
    options.set_dot_nl(true);
    options.set_log_errors(false);
    options.set_max_mem(int64_t{32} << 20);
    return options;
}

}  // namespace

WildcardTranslation TranslateWordWildcards(std::u16string_view pattern)
{
    const std::u16string normalized = PrepareForMatch(pattern, false, true);
    WildcardTranslation out;
    Translator plain(normalized, false);
    out.valid = plain.Run(out);
    if (out.valid && plain.SawAnchor()) {
        out = WildcardTranslation{};
        Translator marked(normalized, true, plain.GroupMins());
        out.valid = marked.Run(out);
        out.markCopies = marked.MarkCopies();
    }
    if (!out.valid) out = WildcardTranslation{};
    return out;
}

bool IsValidWordWildcardPattern(std::u16string_view pattern)
{
    WildcardPattern compiled(pattern);
    return compiled.IsValid();
}

WildcardPattern::WildcardPattern(std::u16string_view pattern) : m_translation(TranslateWordWildcards(pattern))
{
    if (!m_translation.valid) return;
    auto re = std::make_unique<RE2>(m_translation.re2Pattern, PatternOptions(false));
    if (re->ok() && re->NumberOfCapturingGroups() == m_translation.groups) m_re = std::move(re);
}

WildcardPattern::~WildcardPattern() = default;

const RE2* WildcardPattern::Longest() const
{
    if (!m_re) return nullptr;
    if (!m_longest) m_longest = std::make_unique<RE2>(m_translation.re2Pattern, PatternOptions(true));
    return m_longest->ok() ? m_longest.get() : nullptr;
}

}  // namespace office
