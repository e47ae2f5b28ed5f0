// "All word forms": English inflections. Regular forms are reduced with the
// Snowball English stemmer; irregular verbs and plurals come from a table.
// Two words are forms of one another when they share a key: the stem of the
// word itself or the stem of a lemma the table lists it under ("sat" ->
// "sit", "mice" -> "mouse").
#pragma once

#include "platform/lazylibrary.h"

#include <string>
#include <string_view>
#include <vector>

struct sb_stemmer;

namespace office {

// The Snowball stemmer's library, opened by the first WordForms (see
// platform/lazylibrary.h). Without it words are compared as they stand,
// with the irregular forms of the table.
platform::LazyLibrary& StemmerLibrary();

class WordForms {
public:
    WordForms();
    ~WordForms();
    WordForms(const WordForms&) = delete;
    WordForms& operator=(const WordForms&) = delete;

    // The keys of a word (any case), appended to `keys`.
    void Keys(std::u16string_view word, std::vector<std::string>& keys);
    // Whether two words are forms of one another.
    bool SameWord(std::u16string_view a, std::u16string_view b);

private:
    std::string Stem(const std::string& lowerUtf8);

    sb_stemmer* m_stemmer = nullptr;
};

}  // namespace office
