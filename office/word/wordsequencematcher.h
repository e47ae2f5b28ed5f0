// "Sounds like" and "all word forms" for the built-in Word's Find: the
// keyword and the story are compared word by word, each word by its
// Soundex code or by its word-form keys, so that "Smyth" finds "Smith" and
// "sat" finds "sit". The story's words are coded once and kept with the
// document (wordcodes.h); a keyword only codes its own words.
#pragma once

#include "office/word/findmatcher.h"
#include "office/word/wordcodes.h"

#include <string>
#include <string_view>
#include <vector>

namespace office {

class WordSequenceMatcher : public FindMatcher {
public:
    using Mode = WordCodeMode;

    WordSequenceMatcher(std::u16string_view findText, Mode mode);

    // False for a keyword without words (spacing, punctuation), which is
    // searched as it stands instead.
    bool HasWords() const { return !m_keys.empty(); }

    bool Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m) override;

private:
    Mode m_mode;
    std::vector<std::vector<std::string>> m_keys;  // per word of the keyword
};

}  // namespace office
