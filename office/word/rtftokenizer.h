// Splits Rich Text Format bytes into tokens: group braces, control words
// with their optional numeric parameter, control symbols, \'hh bytes and
// runs of plain text. Line ends in the source carry no meaning in RTF and
// are dropped. Every token is bounded by the input; nothing is allocated
// per token beyond the control word's name.
#pragma once

#include "office/word/wordcontent.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace office {

struct RtfToken {
    enum class Type { End, GroupStart, GroupEnd, Word, Symbol, Byte, Text };
    Type type = Type::End;
    std::string_view word;   // control word name (Word)
    bool hasParam = false;   // Word: a numeric parameter follows
    std::int32_t param = 0;  // Word: the parameter, clamped to 32 bits
    char symbol = 0;         // Symbol: the character after the backslash
    std::uint8_t byte = 0;   // Byte: the value of \'hh
    std::string_view text;   // Text: plain bytes, no braces or backslashes
};

class RtfTokenizer {
public:
    explicit RtfTokenizer(ByteView bytes);
    // The next token; Type::End at the end of the input.
    RtfToken Next();
    // Skips raw binary data after \binN, at most to the end of the input.
    void SkipBytes(std::uint64_t n);

private:
    std::string_view m_in;
    std::size_t m_pos = 0;
};

}  // namespace office
