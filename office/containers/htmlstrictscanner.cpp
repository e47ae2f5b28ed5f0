// The quick reader of plain web pages (see htmlstrictscanner.h). Every rule
// here keeps the page to what libxml2's parser reads without closing,
// opening or dropping anything on its own: a page outside them is given back.
#include "office/containers/htmlstrictscanner.h"

#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

enum class Kind : std::uint8_t {
    Html,
    Head,
    Body,
    HeadOnly,  // title
    HeadVoid,  // meta, link
    Raw,       // style, script: text up to their own end tag
    Div,
    Block,      // p, h1-h6: may hold inline elements only
    BlockVoid,  // hr
    Inline,
    InlineVoid,  // br
    Anchor,      // a: never inside another
};

struct Element {
    std::string_view name;
    Kind kind;
};

constexpr std::array kElements = {
    Element{"html", Kind::Html},      Element{"head", Kind::Head},     Element{"body", Kind::Body},
    Element{"title", Kind::HeadOnly}, Element{"meta", Kind::HeadVoid}, Element{"link", Kind::HeadVoid},
    Element{"style", Kind::Raw},      Element{"script", Kind::Raw},    Element{"div", Kind::Div},
    Element{"p", Kind::Block},        Element{"h1", Kind::Block},      Element{"h2", Kind::Block},
    Element{"h3", Kind::Block},       Element{"h4", Kind::Block},      Element{"h5", Kind::Block},
    Element{"h6", Kind::Block},       Element{"hr", Kind::BlockVoid},  Element{"span", Kind::Inline},
    Element{"b", Kind::Inline},       Element{"i", Kind::Inline},      Element{"u", Kind::Inline},
    Element{"em", Kind::Inline},      Element{"strong", Kind::Inline}, Element{"code", Kind::Inline},
    Element{"small", Kind::Inline},   Element{"sub", Kind::Inline},    Element{"sup", Kind::Inline},
    Element{"br", Kind::InlineVoid},  Element{"a", Kind::Anchor},
};

// The only entity names read here, with their characters.
struct NamedEntity {
    std::string_view name;
    char32_t value;
};
constexpr std::array kEntities = {NamedEntity{"amp", U'&'}, NamedEntity{"lt", U'<'}, NamedEntity{"gt", U'>'},
                                  NamedEntity{"quot", U'"'}, NamedEntity{"nbsp", U'\u00A0'}};

constexpr std::size_t kMaxAttributes = 16;
constexpr std::size_t kStopLookBytes = 256 * 1024;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNameChar(char c)
{
    return IsLetter(c) || (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_' || c == '.';
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A character libxml2 reads as it is (neither an error nor a line end it
// rewrites), outside the ASCII controls checked by the caller.
bool PlainCodePoint(char32_t c)
{
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the well-formed UTF-8 character at `p` that PlainCodePoint
// accepts, else 0.
std::size_t Utf8Length(const unsigned char* p, std::size_t left)
{
    const Utf8Step step = DecodeUtf8Step(p, left);
    return step.valid && PlainCodePoint(step.cp) ? step.length : 0;
}

// Whether every byte from 0x80 on in `s` belongs to a character Utf8Length
// takes. libxml2 loses the text after an attribute value that is no UTF-8,
// so a page whose bytes the caller did not decode first is left to it.
bool PlainUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t k = 0; k < s.size();) {
        if (p[k] < 0x80) {
            ++k;
            continue;
        }
        const std::size_t len = Utf8Length(p + k, s.size() - k);
        if (len == 0) return false;
        k += len;
    }
    return true;
}

class Scanner {
public:
    Scanner(std::string_view markup, HtmlEventSink& sink, std::size_t maxDepth, bool validUtf8)
        : m(markup), n(markup.size()), m_sink(sink), m_maxDepth(maxDepth), m_validUtf8(validUtf8)
    {
    }

    bool Run()
    {
        SkipBlanks();
        if (StartsWithNoCase("<!doctype")) {
            i += 9;
            if (i >= n || !IsBlank(m[i])) return false;
            SkipBlanks();
            if (!StartsWithNoCase("html")) return false;
            i += 4;
            SkipBlanks();
            if (i >= n || m[i] != '>') return false;
            ++i;
            SkipBlanks();
        }
        if (!StartsWithNoCase("<html")) return false;
        std::size_t nextStopLook = 0;
        while (i < n) {
            if (i >= nextStopLook) {
                platform::ThrowIfStopRequested();
                nextStopLook = i + kStopLookBytes;
            }
            if (!m_stack.empty() && m_stack.back().kind == Kind::Raw) {
                if (!RawText()) return false;
            } else if (m[i] == '<') {
                if (!Markup()) return false;
            } else if (m[i] == '&') {
                if (!Reference()) return false;
            } else if (!Text()) {
                return false;
            }
        }
        // libxml2 closes what is still open at the end of the page.
        while (!m_stack.empty()) {
            m_stack.pop_back();
            m_sink.EndElement();
        }
        return m_sawHtml;
    }

private:
    struct Open {
        std::string_view name;
        Kind kind;
    };

    bool StartsWithNoCase(std::string_view lower) const
    {
        if (n - i < lower.size()) return false;
        for (std::size_t k = 0; k < lower.size(); ++k)
            if (Lower(m[i + k]) != lower[k]) return false;
        return true;
    }

    void SkipBlanks()
    {
        while (i < n && IsBlank(m[i])) ++i;
    }

    Kind Top() const { return m_stack.back().kind; }

    // Where text would make libxml2 imply a paragraph (or must be blank).
    bool OutsideContent() const { return m_stack.empty() || Top() == Kind::Html || Top() == Kind::Head; }

    // A run of text up to the next '<' or '&'.
    bool Text()
    {
        const std::size_t start = i;
        const auto* bytes = reinterpret_cast<const unsigned char*>(m.data());
        while (i < n) {
            i = NextToLookAt(bytes, i);
            if (i >= n) break;
            const unsigned char c = bytes[i];
            if (c == '<' || c == '&') break;
            if (!StepPlain(bytes)) return false;
        }
        const std::string_view text = m.substr(start, i - start);
        if (OutsideContent()) {
            // Only white space before a tag or the end, which libxml2 passes
            // on as it is; anything else would open a paragraph of its own.
            if (text.find_first_not_of(" \t\n") != std::string_view::npos || (i < n && m[i] != '<')) return false;
            if (m_stack.empty() && i < n) return false;
        }
        m_sink.Characters(text);
        return true;
    }

    // Steps over one character libxml2 passes on as it is (i < n); false on
    // a control character, a carriage return or bytes that are not plain
    // UTF-8.
    bool StepPlain(const unsigned char* bytes)
    {
        const unsigned char c = bytes[i];
        if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n') {
            ++i;
            return true;
        }
        if (c < 0x80) return false;
        if (m_validUtf8) {
            // Well-formed already: only U+0080..U+009F and U+FFFE/U+FFFF
            // are not plain, and only the two lead bytes of those stop the
            // scan (NextToLookAt) among the bytes from 0x80 on.
            if (c == 0xC2 && n - i >= 2) {
                if (bytes[i + 1] < 0xA0) return false;
                i += 2;
                return true;
            }
            if (c == 0xEF && n - i >= 3) {
                if (bytes[i + 1] == 0xBF && bytes[i + 2] >= 0xBE) return false;
                i += 3;
                return true;
            }
        }
        // Two-byte characters (Latin, Greek, Cyrillic letters) are most of
        // the rest: U+00A0..U+07FF, without the C1 controls before them.
        if (c >= 0xC2 && c <= 0xDF && n - i >= 2 && (bytes[i + 1] & 0xC0) == 0x80) {
            if (c == 0xC2 && bytes[i + 1] < 0xA0) return false;
            i += 2;
            return true;
        }
        const std::size_t len = Utf8Length(bytes + i, n - i);
        i += len;
        return len != 0;
    }

    // The first byte from `from` on that the text scan must look at itself:
    // not printable ASCII, '<' or '&' (of the bytes from 0x80 on, only the
    // lead bytes 0xC2 and 0xEF when the page is known well-formed). n when
    // there is none.
    std::size_t NextToLookAt(const unsigned char* bytes, std::size_t from) const
    {
        std::size_t k = from;
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i del = _mm_set1_epi8(0x7F);
        const __m128i control = _mm_set1_epi8(0x1F);
        const __m128i c2 = _mm_set1_epi8(static_cast<char>(0xC2));
        const __m128i ef = _mm_set1_epi8(static_cast<char>(0xEF));
        while (n - k >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k));
            __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp));
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, del));
            // Unsigned v <= 0x1F: the minimum of the two is v.
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_min_epu8(v, control), v));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (m_validUtf8) {
                mask |= static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, c2), _mm_cmpeq_epi8(v, ef))));
            } else {
                mask |= static_cast<unsigned>(_mm_movemask_epi8(v));
            }
            if (mask != 0) return k + static_cast<std::size_t>(__builtin_ctz(mask));
            k += 16;
        }
#endif
        for (; k < n; ++k) {
            const unsigned char c = bytes[k];
            if (c < 0x20 || c == 0x7F || c == '<' || c == '&') return k;
            if (c >= 0x80 && (!m_validUtf8 || c == 0xC2 || c == 0xEF)) return k;
        }
        return n;
    }

    // The raw text of a style or script element, and its end tag.
    bool RawText()
    {
        const std::size_t start = i;
        const auto* bytes = reinterpret_cast<const unsigned char*>(m.data());
        while (i < n) {
            const unsigned char c = bytes[i];
            if (c == '<' && i + 1 < n && m[i + 1] == '/') {
                // libxml2 takes any "</" for an end tag here.
                if (i + 2 < n && IsLetter(m[i + 2])) break;
                return false;
            }
            if (!StepPlain(bytes)) return false;
        }
        if (i >= n) return false;  // no end tag: left to libxml2
        if (i > start) m_sink.Characters(m.substr(start, i - start));
        return EndTag();
    }

    bool Markup()
    {
        if (i + 1 >= n) return false;
        const char next = m[i + 1];
        if (next == '/') return EndTag();
        if (next == '!') return Comment();
        if (IsLetter(next)) return StartTag();
        return false;
    }

    bool Comment()
    {
        if (m_stack.empty() || m.substr(i, 4) != "<!--") return false;
        const std::size_t body = i + 4;
        const std::size_t end = m.find("--", body);
        if (end == std::string_view::npos || end + 2 >= n || m[end + 2] != '>') return false;
        if (end - body >= 1 && m[body] == '>') return false;
        if (m.substr(body, 2) == "->") return false;
        // Every byte of a page not known to be UTF-8 is checked on the way,
        // those of comments too (see Scan).
        if (!m_validUtf8 && !PlainUtf8(m.substr(body, end - body))) return false;
        i = end + 3;
        return true;
    }

    // Reads a tag or attribute name at i, in lower case: a view of the
    // markup itself when it is written so, else of `buffer`.
    bool Name(std::string& buffer, std::string_view& out)
    {
        const std::size_t start = i;
        bool upper = false;
        while (i < n && IsNameChar(m[i]) && i - start <= 32) {
            upper = upper || (m[i] >= 'A' && m[i] <= 'Z');
            ++i;
        }
        if (i == start || i - start > 32) return false;
        out = m.substr(start, i - start);
        if (!upper) return true;
        buffer.assign(out);
        for (char& c : buffer) c = Lower(c);
        out = buffer;
        return true;
    }

    // Names are short: compared here rather than by a library call each.
    static bool SameName(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size()) return false;
        for (std::size_t k = 0; k < a.size(); ++k)
            if (a[k] != b[k]) return false;
        return true;
    }

    bool EndTag()
    {
        i += 2;
        std::string_view name;
        if (!Name(m_name, name)) return false;
        SkipBlanks();
        if (i >= n || m[i] != '>') return false;
        ++i;
        if (m_stack.empty() || !SameName(m_stack.back().name, name)) return false;
        if (m_stack.back().kind == Kind::Html) m_closedHtml = true;
        if (m_stack.back().kind == Kind::Anchor) --m_anchors;
        m_stack.pop_back();
        m_sink.EndElement();
        return true;
    }

    // Attributes up to '>' or "/>"; true on "/>" in `selfClosing`.
    bool Attributes(bool& selfClosing)
    {
        selfClosing = false;
        for (std::size_t count = 0;; ++count) {
            const std::size_t before = i;
            SkipBlanks();
            if (i >= n) return false;
            if (m[i] == '>') {
                ++i;
                return true;
            }
            if (m[i] == '/') {
                if (i + 1 >= n || m[i + 1] != '>') return false;
                i += 2;
                selfClosing = true;
                return true;
            }
            if (count >= kMaxAttributes || i == before) return false;  // names must stand apart
            if (!IsLetter(m[i]) && m[i] != '_' && m[i] != ':') return false;
            std::string_view attribute;
            if (!Name(m_attribute, attribute) || attribute == "hidden") return false;
            SkipBlanks();
            if (i < n && m[i] == '=') {
                ++i;
                SkipBlanks();
                if (i >= n) return false;
                if (m[i] == '"' || m[i] == '\'') {
                    const char quote = m[i++];
                    const std::size_t end = m.find(quote, i);
                    if (end == std::string_view::npos) return false;
                    const std::string_view value = m.substr(i, end - i);
                    if (value.find_first_of(std::string_view("&<\0\r\f", 5)) != std::string_view::npos ||
                        !PlainUtf8(value))
                        return false;
                    i = end + 1;
                } else {
                    const std::size_t start = i;
                    while (i < n && !IsBlank(m[i]) && m[i] != '>') {
                        const char c = m[i];
                        if (c == '&' || c == '<' || c == '/' || c == '"' || c == '\'' || c == '`' || c == '=' ||
                            static_cast<unsigned char>(c) < 0x20)
                            return false;
                        ++i;
                    }
                    if (i == start || !PlainUtf8(m.substr(start, i - start))) return false;
                }
            }
            if (i < n && !IsBlank(m[i]) && m[i] != '>' && m[i] != '/') return false;
        }
    }

    bool Allowed(Kind kind) const
    {
        if (m_closedHtml) return false;
        if (m_stack.empty()) return kind == Kind::Html && !m_sawHtml;
        const Kind top = Top();
        switch (kind) {
        case Kind::Html: return false;
        case Kind::Head: return top == Kind::Html && m_stack.size() == 1 && !m_sawHead && !m_sawBody;
        case Kind::Body: return top == Kind::Html && m_stack.size() == 1 && !m_sawBody;
        case Kind::HeadOnly:
        case Kind::HeadVoid: return top == Kind::Head;
        case Kind::Raw:
            return top == Kind::Head || top == Kind::Body || top == Kind::Div || top == Kind::Block ||
                   top == Kind::Inline || top == Kind::Anchor;
        case Kind::Div:
        case Kind::Block:
        case Kind::BlockVoid: return top == Kind::Body || top == Kind::Div;
        case Kind::Anchor:
            if (m_anchors > 0) return false;
            [[fallthrough]];
        case Kind::Inline:
        case Kind::InlineVoid:
            return top == Kind::Body || top == Kind::Div || top == Kind::Block || top == Kind::Inline ||
                   top == Kind::Anchor;
        }
        return false;
    }

    bool StartTag()
    {
        ++i;
        std::string_view name;
        if (!Name(m_name, name)) return false;
        const auto known =
            std::find_if(kElements.begin(), kElements.end(), [&](const Element& e) { return SameName(e.name, name); });
        if (known == kElements.end() || !Allowed(known->kind)) return false;
        if (i < n && !IsBlank(m[i]) && m[i] != '>' && m[i] != '/') return false;
        bool selfClosing = false;
        if (!Attributes(selfClosing)) return false;
        const Kind kind = known->kind;
        const bool isVoid = kind == Kind::HeadVoid || kind == Kind::BlockVoid || kind == Kind::InlineVoid;
        if (selfClosing && (kind == Kind::Html || kind == Kind::Head || kind == Kind::Body || kind == Kind::Raw))
            return false;
        // libxml2 starts a new run past its depth limit (htmlsaxparser.h).
        if (m_stack.size() + 1 >= std::max<std::size_t>(m_maxDepth, 8)) return false;
        if (kind == Kind::Html) m_sawHtml = true;
        if (kind == Kind::Head) m_sawHead = true;
        if (kind == Kind::Body) m_sawBody = true;
        static const unsigned char* const kNone[] = {nullptr, nullptr};
        m_sink.StartElement(known->name, HtmlAttributes(kNone));
        if (isVoid || selfClosing) {
            m_sink.EndElement();
            return true;
        }
        if (kind == Kind::Anchor) ++m_anchors;
        m_stack.push_back({known->name, kind});
        return true;
    }

    // &name; or &#number; or &#xhex;, as a character of its own.
    bool Reference()
    {
        // libxml2 would open a paragraph for it here.
        if (OutsideContent()) return false;
        std::size_t k = i + 1;
        char32_t value = 0;
        if (k < n && m[k] == '#') {
            ++k;
            const bool hex = k < n && (m[k] == 'x' || m[k] == 'X');
            if (hex) ++k;
            const std::size_t digits = k;
            while (k < n && k - digits < 7) {
                const char c = m[k];
                int d = -1;
                if (c >= '0' && c <= '9') d = c - '0';
                else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                if (d < 0) break;
                value = value * (hex ? 16u : 10u) + static_cast<char32_t>(d);
                ++k;
            }
            if (k == digits || k >= n || m[k] != ';' || !PlainCodePoint(value)) return false;
        } else {
            const std::size_t start = k;
            while (k < n && IsLetter(m[k]) && k - start < 8) ++k;
            if (k >= n || m[k] != ';') return false;
            const std::string_view name = m.substr(start, k - start);
            const auto known =
                std::find_if(kEntities.begin(), kEntities.end(), [&](const NamedEntity& e) { return e.name == name; });
            if (known == kEntities.end()) return false;
            value = known->value;
        }
        i = k + 1;
        m_char.clear();
        AppendUtf8(m_char, static_cast<std::uint32_t>(value));
        m_sink.Characters(m_char);
        return true;
    }

    std::string_view m;
    std::size_t n;
    std::size_t i = 0;
    HtmlEventSink& m_sink;
    std::size_t m_maxDepth;
    bool m_validUtf8;
    std::vector<Open> m_stack;
    std::string m_name, m_attribute, m_char;
    int m_anchors = 0;
    bool m_sawHtml = false, m_sawHead = false, m_sawBody = false, m_closedHtml = false;
};

}  // namespace

bool HtmlStrictScanner::Scan(std::string_view markup, HtmlEventSink& sink, std::size_t maxDepth, bool validUtf8)
{
    Scanner scanner(markup, sink, maxDepth, validUtf8);
    return scanner.Run();
}

}  // namespace office
