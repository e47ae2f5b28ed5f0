// "Sounds like" and "all word forms" for the built-in Word's Find: the
// keyword and the story are compared word by word, each word by its
// Soundex code or by its word-form keys, so that "Smyth" finds "Smith" and
// "sat" finds "sit".
#pragma once

#include "office/findmatcher.h"
#include "office/wordforms.h"

#include <string>
#include <string_view>
#include <vector>

namespace office {

class WordSequenceMatcher : public FindMatcher {
public:
    enum class Mode { SoundsLike, WordForms };

    WordSequenceMatcher(std::u16string_view findText, Mode mode);

    // False for a keyword without words (spacing, punctuation), which is
    // searched as it stands instead.
    bool HasWords() const { return !m_words.empty(); }

    bool Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m) override;

private:
    bool WordMatches(std::size_t k, std::u16string_view word);

    Mode m_mode;
    std::u16string m_keyword;
    std::vector<std::u16string> m_words;
    std::vector<std::string> m_codes;
    std::vector<std::vector<std::string>> m_keys;
    std::vector<std::string> m_scratch;
    WordForms m_forms;
};

}  // namespace office
