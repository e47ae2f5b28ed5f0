// Caret codes of Word's Find and Replace (see caretcodes.h).
#include "office/word/caretcodes.h"

namespace office {

namespace {

bool IsAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// Windows-1252 meanings of the codes 128..159, which "^nnn" takes as ANSI.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::size_t ReadCharacterCode(std::u16string_view text, std::size_t pos, char16_t& ch)
{
    if (pos + 1 >= text.size() || text[pos] != u'^') return 0;
    const char16_t c = text[pos + 1];
    switch (c) {
    case u't': ch = u'\t'; return 2;
    case u'p': ch = u'\r'; return 2;
    case u'l': ch = 0x000B; return 2;
    case u'm': ch = 0x000C; return 2;
    case u'b': ch = 0x000C; return 2;  // section break: our stories keep it as a page break
    case u'n': ch = 0x000E; return 2;  // column break
    case u's': ch = 0x00A0; return 2;
    case u'~': ch = 0x001E; return 2;
    case u'-': ch = 0x001F; return 2;
    case u'+': ch = 0x2014; return 2;
    case u'=': ch = 0x2013; return 2;
    case u'^': ch = u'^'; return 2;
    default: break;
    }
    if (IsAsciiDigit(c)) {
        // "^nnn": up to three decimal digits, an ANSI character code.
        std::size_t end = pos + 1;
        unsigned value = 0;
        while (end < text.size() && end < pos + 4 && IsAsciiDigit(text[end])) {
            value = value * 10 + static_cast<unsigned>(text[end] - u'0');
            ++end;
        }
        if (value > 255) return 0;
        if (value >= 128 && value < 160) ch = kCp1252High[value - 128];
        else ch = static_cast<char16_t>(value);
        return end - pos;
    }
    if (c == u'u' && pos + 2 < text.size() && IsAsciiDigit(text[pos + 2])) {
        // "^unnnn": a decimal Unicode value of up to five digits.
        std::size_t end = pos + 2;
        unsigned value = 0;
        while (end < text.size() && end < pos + 7 && IsAsciiDigit(text[end])) {
            value = value * 10 + static_cast<unsigned>(text[end] - u'0');
            ++end;
        }
        if (value > 0xFFFF) return 0;
        ch = static_cast<char16_t>(value);
        return end - pos;
    }
    return 0;
}

std::vector<FindElement> ParseFindCodes(std::u16string_view findText)
{
    std::vector<FindElement> out;
    out.reserve(findText.size());
    std::size_t i = 0;
    while (i < findText.size()) {
        if (findText[i] == u'^' && i + 1 < findText.size()) {
            FindElement::Kind kind = FindElement::Kind::Literal;
            switch (findText[i + 1]) {
            case u'?': kind = FindElement::Kind::AnyChar; break;
            case u'#': kind = FindElement::Kind::Digit; break;
            case u'$': kind = FindElement::Kind::Letter; break;
            case u'w': kind = FindElement::Kind::WhiteSpace; break;
            default: break;
            }
            if (kind != FindElement::Kind::Literal) {
                out.push_back({kind, 0});
                i += 2;
                continue;
            }
            char16_t ch = 0;
            const std::size_t used = ReadCharacterCode(findText, i, ch);
            if (used > 0) {
                out.push_back({FindElement::Kind::Literal, ch});
                i += used;
                continue;
            }
        }
        // An unknown code (and a caret at the very end) stands for itself.
        out.push_back({FindElement::Kind::Literal, findText[i]});
        ++i;
    }
    return out;
}

bool ElementsAsLiteral(const std::vector<FindElement>& elements, std::u16string& literal)
{
    literal.clear();
    for (const FindElement& e : elements) {
        if (e.kind != FindElement::Kind::Literal) return false;
        literal.push_back(e.ch);
    }
    return true;
}

std::vector<ReplacePart> ParseReplaceCodes(std::u16string_view replaceText, bool wildcards)
{
    std::vector<ReplacePart> parts;
    auto literal = [&parts]() -> std::u16string& {
        if (parts.empty() || parts.back().kind != ReplacePart::Kind::Literal) parts.push_back({});
        return parts.back().text;
    };
    std::size_t i = 0;
    while (i < replaceText.size()) {
        const char16_t c = replaceText[i];
        if (c == u'^' && i + 1 < replaceText.size()) {
            if (replaceText[i + 1] == u'&') {
                parts.push_back({ReplacePart::Kind::FoundText, {}, 0});
                i += 2;
                continue;
            }
            char16_t ch = 0;
            const std::size_t used = ReadCharacterCode(replaceText, i, ch);
            if (used > 0) {
                literal().push_back(ch);
                i += used;
                continue;
            }
        }
        if (wildcards && c == u'\\' && i + 1 < replaceText.size()) {
            const char16_t next = replaceText[i + 1];
            if (next >= u'1' && next <= u'9') {
                parts.push_back({ReplacePart::Kind::Group, {}, static_cast<int>(next - u'0')});
            } else {
                literal().push_back(next);
            }
            i += 2;
            continue;
        }
        literal().push_back(c);
        ++i;
    }
    return parts;
}

}  // namespace office
