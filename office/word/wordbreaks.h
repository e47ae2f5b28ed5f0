// Word boundaries of one story by ICU's word rules: whole-word matching,
// the marks of the wildcard anchors "<" and ">", and the words that "sounds
// like" and "all word forms" compare. The iterator points into the story's text, so
// the owner drops it whenever that text changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

struct UBreakIterator;

namespace office {

struct TextSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};

class WordBreaks {
public:
    explicit WordBreaks(std::u16string_view text);
    ~WordBreaks();
    WordBreaks(const WordBreaks&) = delete;
    WordBreaks& operator=(const WordBreaks&) = delete;

    // Whether `offset` lies on a word boundary (the text's ends always do).
    bool IsBoundary(std::size_t offset);
    // Whether some boundary lies in [first, last]: a word edge seen through
    // characters Find leaves out (a soft hyphen ends "word\u00AD" after the
    // hyphen, while Find's match ends before it).
    bool HasBoundaryIn(std::size_t first, std::size_t last);
    // Every boundary in increasing order, the text's ends included.
    std::vector<std::uint32_t> AllBoundaries();
    // The words (letters, digits, kana, ideographs) in text order; computed
    // once.
    const std::vector<TextSpan>& Words();

    // Whether the code point at `offset` belongs to a word by ICU's rules.
    static bool IsWordCharacter(std::u16string_view text, std::size_t offset);

private:
    std::u16string_view m_text;
    UBreakIterator* m_iter = nullptr;
    bool m_wordsReady = false;
    std::vector<TextSpan> m_words;
};

}  // namespace office
