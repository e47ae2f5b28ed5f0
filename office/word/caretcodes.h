// Word's caret codes ("^t", "^p", "^#", "^u8364", ...) in the text of a
// search without wildcards, and in the replacement text. A find text becomes
// a list of elements: literal characters and the few classes Word offers
// (any character, any digit, any letter, a run of white space). An unknown
// code is taken literally, as Word does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace office {

struct FindElement {
    enum class Kind { Literal, AnyChar, Digit, Letter, WhiteSpace };
    Kind kind = Kind::Literal;
    char16_t ch = 0;  // the unit, for Literal
};

// The elements of a find text.
std::vector<FindElement> ParseFindCodes(std::u16string_view findText);

// True when every element is a literal (the text can be searched as a plain
// string); `literal` then receives it.
bool ElementsAsLiteral(const std::vector<FindElement>& elements, std::u16string& literal);

// One piece of a replacement: literal text, or the text that was found
// ("^&"), or (with wildcards) the text of a numbered group ("\1").
struct ReplacePart {
    enum class Kind { Literal, FoundText, Group };
    Kind kind = Kind::Literal;
    std::u16string text;
    int group = 0;
};

// The replacement text with its caret codes resolved. With `wildcards`, "\n"
// (n = 1..9) names a group of the pattern and "\x" stands for x.
std::vector<ReplacePart> ParseReplaceCodes(std::u16string_view replaceText, bool wildcards);

// Reads a code that stands for one character ("^t", "^13", "^u8364", "^^",
// ...) at `text[pos]` (a caret). Returns the number of units it spans and
// the character in `ch`, or 0 when it is no such code.
std::size_t ReadCharacterCode(std::u16string_view text, std::size_t pos, char16_t& ch);

}  // namespace office
