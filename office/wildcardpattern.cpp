// Translation of Word wildcard patterns to RE2 (see wildcardpattern.h).
#include "office/wildcardpattern.h"

#include "office/caretcodes.h"

#include <re2/re2.h>
#include <unicode/utf16.h>

#include <cstdio>

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

class Translator {
public:
    explicit Translator(std::u16string_view p) : m_p(p) {}

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
                re += '.';
                haveAtom = true;
                ++i;
                break;
            case u'*':
                re += ".*?";
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
            case u'[':
                if (!Class(i, re)) return false;
                haveAtom = true;
                break;
            case u'(':
                re += '(';
                out.groupRoles.push_back(0);
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
                break;
            case u'<':
            case u'>':
                re += "()";
                out.groupRoles.push_back(static_cast<char>(c));
                haveAtom = false;
                ++i;
                break;
            case u'\\': {
                if (i + 1 >= m_p.size()) return false;
                ++i;
                AppendLiteral(re, ReadCodePoint(m_p, i));
                haveAtom = true;
                break;
            }
            case u'^': {
                char16_t ch = 0;
                const std::size_t used = ReadCharacterCode(m_p, i, ch);
                if (used > 0) {
                    AppendLiteral(re, ch);
                    i += used;
                } else {
                    AppendLiteral(re, u'^');
                    ++i;
                }
                haveAtom = true;
                break;
            }
            default:
                AppendLiteral(re, ReadCodePoint(m_p, i));
                haveAtom = true;
                break;
            }
        }
        return depth == 0;
    }

private:
    // "[...]" starting at m_p[i] == '['.
    bool Class(std::size_t& i, std::string& re)
    {
        ++i;
        std::string body;
        if (i < m_p.size() && m_p[i] == u'!') {
            body += '^';
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
                AppendLiteral(body, lo);
                body += '-';
                AppendLiteral(body, hi);
            } else {
                AppendLiteral(body, lo);
            }
            any = true;
        }
        ++i;  // the closing bracket
        re += '[';
        re += body;
        re += ']';
        return true;
    }

    char32_t Member(std::size_t& i)
    {
        if (m_p[i] == u'\\' && i + 1 < m_p.size()) ++i;
        return ReadCodePoint(m_p, i);
    }

    std::u16string_view m_p;
};

RE2::Options PatternOptions()
{
    RE2::Options options;
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
    WildcardTranslation out;
    Translator translator(pattern);
    out.valid = translator.Run(out);
    if (!out.valid) {
        out.re2Pattern.clear();
        out.groupRoles.clear();
    }
    return out;
}

bool IsValidWordWildcardPattern(std::u16string_view pattern)
{
    WildcardPattern compiled(pattern);
    return compiled.IsValid();
}

WildcardPattern::WildcardPattern(std::u16string_view pattern)
    : m_translation(TranslateWordWildcards(pattern))
{
    if (!m_translation.valid) return;
    auto re = std::make_unique<RE2>(m_translation.re2Pattern, PatternOptions());
    if (re->ok() && re->NumberOfCapturingGroups() == static_cast<int>(m_translation.groupRoles.size())) {
        m_re = std::move(re);
    }
}

WildcardPattern::~WildcardPattern() = default;

int WildcardPattern::UserGroup(int n) const
{
    int seen = 0;
    for (std::size_t k = 0; k < m_translation.groupRoles.size(); ++k) {
        if (m_translation.groupRoles[k] == 0 && ++seen == n) return static_cast<int>(k) + 1;
    }
    return -1;
}

}  // namespace office
