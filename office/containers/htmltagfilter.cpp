// Renames the surplus attributes of crowded start tags (see htmltagfilter.h).
// The scanner mirrors how libxml2's HTML parser splits markup into tokens,
// measured against it by the web page fuzz target.
#include "office/containers/htmltagfilter.h"

#include "platform/cancellation.h"

#include <string_view>

namespace office {

namespace {

// libxml2 reads at most this many characters as one name; the rest of a
// longer name starts the next attribute.
constexpr std::size_t kMaxNameLength = 100;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsNameStart(char c)
{
    return IsAsciiLetter(c) || c == '_' || c == ':' || c == '.';
}
bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-';
}
char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

class Scanner {
public:
    Scanner(std::string_view s, std::string& changed, std::size_t kept, std::initializer_list<std::string_view> used)
        : m_s(s), m_changed(changed), m_n(s.size()), m_kept(kept), m_used(used)
    {
    }

    std::vector<HtmlFilteredTag> Run();

private:
    char At(std::size_t i) const { return i < m_n ? m_s[i] : '\0'; }
    std::size_t SkipBlanks(std::size_t i) const
    {
        while (i < m_n && IsBlank(m_s[i])) ++i;
        return i;
    }
    std::size_t NameEnd(std::size_t i) const
    {
        if (!IsNameStart(At(i))) return i;
        const std::size_t start = i;
        while (i < m_n && i - start < kMaxNameLength && IsNameChar(m_s[i])) ++i;
        return i;
    }
    bool NameIs(std::size_t begin, std::size_t end, std::string_view name) const
    {
        if (end - begin != name.size()) return false;
        for (std::size_t k = 0; k < name.size(); ++k) {
            if (Lower(m_s[begin + k]) != name[k]) return false;
        }
        return true;
    }
    bool WordAt(std::size_t i, std::string_view upper) const
    {
        if (i + upper.size() > m_n) return false;
        for (std::size_t k = 0; k < upper.size(); ++k) {
            const char c = m_s[i + k];
            if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[k]) return false;
        }
        return true;
    }
    std::size_t PastNext(char c, std::size_t from) const
    {
        const std::size_t k = m_s.find(c, from);
        return k == std::string_view::npos ? m_n : k + 1;
    }
    // Replaces the name's characters with "_": the names the parser sees
    // then differ only in length (at most kMaxNameLength of them), and no
    // blank is introduced that could end an unquoted value. Dashes at the
    // name's end before ">", "!>" or another "-" stay, so that a "-->"
    // or "--!>" ending a comment the parser may be reading stays too.
    void Rename(std::size_t begin, std::size_t end)
    {
        if (m_changed.empty()) m_changed.assign(m_s);
        std::size_t keep = end;
        const char next = At(end);
        if (next == '>' || next == '-' || (next == '!' && At(end + 1) == '>')) {
            while (keep > begin + 1 && m_s[keep - 1] == '-') --keep;
        }
        for (std::size_t k = begin; k < keep; ++k) m_changed[k] = '_';
    }
    std::size_t SkipQuoted(std::size_t i) const { return PastNext(m_s[i], i + 1); }
    bool Used(std::size_t begin, std::size_t end) const
    {
        for (const std::string_view name : m_used) {
            if (NameIs(begin, end, name)) return true;
        }
        return false;
    }

    std::size_t Comment(std::size_t afterOpen) const;
    std::size_t Doctype(std::size_t afterKeyword) const;
    std::size_t RawText(std::size_t i);
    std::size_t StartTag(std::size_t lt);

    std::string_view m_s;
    std::string& m_changed;
    const std::size_t m_n;
    const std::size_t m_kept;
    const std::initializer_list<std::string_view> m_used;
    std::string_view m_raw;  // "script" or "style" while in their raw text
    std::vector<HtmlFilteredTag> m_tags;
    platform::StopCheck m_stop;
};

// A comment runs to "-->" or "--!>"; without one, to the end of the page.
std::size_t Scanner::Comment(std::size_t afterOpen) const
{
    std::size_t from = afterOpen;
    for (;;) {
        const std::size_t k = m_s.find("--", from);
        if (k == std::string_view::npos) return m_n;
        if (At(k + 2) == '>') return k + 3;
        if (At(k + 2) == '!' && At(k + 3) == '>') return k + 4;
        from = k + 1;
    }
}

// <!DOCTYPE name SYSTEM "uri"> or PUBLIC "id" "uri": the quoted literals may
// hold a ">", anything else ends at the first one.
std::size_t Scanner::Doctype(std::size_t afterKeyword) const
{
    std::size_t i = SkipBlanks(afterKeyword);
    while (i < m_n && !IsBlank(m_s[i]) && m_s[i] != '>' && m_s[i] != '"' && m_s[i] != '\'') ++i;
    i = SkipBlanks(i);
    int literals = 0;
    if (WordAt(i, "SYSTEM")) literals = 1;
    if (WordAt(i, "PUBLIC")) literals = 2;
    if (literals > 0) {
        i += 6;
        for (int k = 0; k < literals; ++k) {
            i = SkipBlanks(i);
            if (At(i) != '"' && At(i) != '\'') break;
            i = SkipQuoted(i);
        }
    }
    return PastNext('>', i);
}

// Script and style text ends only at "</" and a letter; the end tag of
// another element leaves it open here, so the filter stays in raw text
// (where it changes nothing the reader shows) rather than guess.
std::size_t Scanner::RawText(std::size_t i)
{
    for (;;) {
        m_stop();
        const std::size_t k = m_s.find("</", i);
        if (k == std::string_view::npos) return m_n;
        if (!IsAsciiLetter(At(k + 2))) {
            i = k + 2;
            continue;
        }
        const std::size_t nameEnd = NameEnd(k + 2);
        if (NameIs(k + 2, nameEnd, m_raw)) m_raw = {};
        return PastNext('>', nameEnd);
    }
}

std::size_t Scanner::StartTag(std::size_t lt)
{
    const std::size_t nameBegin = lt + 1;
    const std::size_t nameEnd = NameEnd(nameBegin);
    std::size_t q = SkipBlanks(nameEnd);
    std::size_t count = 0;
    bool changed = false;
    auto atTagEnd = [&](std::size_t i) { return m_s[i] == '>' || (m_s[i] == '/' && At(i + 1) == '>'); };
    while (q < m_n && !atTagEnd(q)) {
        m_stop();
        const std::size_t a = q;
        const std::size_t aEnd = NameEnd(q);
        if (aEnd > a) {
            q = SkipBlanks(aEnd);
            if (At(q) == '=') {
                q = SkipBlanks(q + 1);
                if (At(q) == '"' || At(q) == '\'') {
                    q = SkipQuoted(q);
                } else {
                    while (q < m_n && !IsBlank(m_s[q]) && m_s[q] != '>') ++q;
                }
            }
            if (++count > m_kept && !Used(a, aEnd)) {
                Rename(a, aEnd);
                changed = true;
            }
        } else {
            // Not a name: the parser skips it to the next blank or the tag's end.
            while (q < m_n && !IsBlank(m_s[q]) && !atTagEnd(q)) ++q;
        }
        q = SkipBlanks(q);
    }
    if (changed) {
        const bool root = NameIs(nameBegin, nameEnd, "html") || NameIs(nameBegin, nameEnd, "head") ||
                          NameIs(nameBegin, nameEnd, "body");
        m_tags.push_back({lt, nameEnd, q, root});
    }
    if (q >= m_n) return m_n;
    if (m_s[q] == '/') return q + 2;  // "/>": the element is closed at once
    if (NameIs(nameBegin, nameEnd, "script")) m_raw = "script";
    if (NameIs(nameBegin, nameEnd, "style")) m_raw = "style";
    return q + 1;
}

std::vector<HtmlFilteredTag> Scanner::Run()
{
    std::size_t i = 0;
    while (i < m_n) {
        m_stop();
        if (!m_raw.empty()) {
            i = RawText(i);
            continue;
        }
        const std::size_t lt = m_s.find('<', i);
        if (lt == std::string_view::npos) break;
        const char next = At(lt + 1);
        if (next == '!') {
            if (At(lt + 2) == '-' && At(lt + 3) == '-') {
                i = Comment(lt + 4);
            } else if (WordAt(lt + 2, "DOCTYPE")) {
                i = Doctype(lt + 9);
            } else {
                i = lt + 1;  // a plain "<"
            }
        } else if (next == '?') {
            // A processing instruction needs a target name and a ">"; else
            // the parser drops the "<?" and reads on.
            const char target = At(lt + 2);
            const bool named = IsAsciiLetter(target) || target == '_' || target == ':' ||
                               static_cast<unsigned char>(target) >= 0x80;
            const std::size_t gt = m_s.find('>', lt + 2);
            i = named && gt != std::string_view::npos ? gt + 1 : lt + 2;
        } else if (next == '/') {
            i = IsNameStart(At(lt + 2)) ? PastNext('>', NameEnd(lt + 2)) : lt + 2;
        } else if (IsAsciiLetter(next)) {
            i = StartTag(lt);
        } else {
            i = lt + 1;
        }
    }
    return std::move(m_tags);
}

}  // namespace

std::vector<HtmlFilteredTag> HtmlTagFilter::Apply(std::string_view markup, std::string& changed, std::size_t kept,
                                                  std::initializer_list<std::string_view> used)
{
    changed.clear();
    Scanner scanner(markup, changed, kept, used);
    return scanner.Run();
}

}  // namespace office
