// The words of one story coded for "sounds like" and "all word forms". Each
// word is coded once per story and mode, not once per keyword: a word's keys
// (its Soundex code, its word-form stems) are interned as small integers,
// and an index from key to the positions of the words that carry it answers
// a keyword with a few lookups. Many keywords over one document then cost
// little more than one.
//
// The very first keyword of a story and mode is answered by a scan that
// codes words only as far as it has to read, so a single keyword found near
// the start stays as cheap as before; the next one completes the coding and
// builds the index.
#pragma once

#include "office/word/wordbreaks.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace office {

class WordForms;

enum class WordCodeMode { SoundsLike, WordForms };

// The keys a word is compared by in `mode`, appended to `keys` without
// duplicates: two words match when they share a key. Every word of a
// document and every word of a keyword becomes its keys here and nowhere
// else, so whatever should make two spellings one word belongs here.
// `forms` supplies the stemmer of the word-forms mode; sounds like needs
// none.
void AppendWordKeys(WordCodeMode mode, std::u16string_view word, WordForms* forms, std::vector<std::string>& keys);

class WordCodes {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // `text` and `breaks` are the story's; the document drops this object
    // together with them whenever the text changes.
    WordCodes(std::u16string_view text, WordBreaks& breaks);
    ~WordCodes();
    WordCodes(const WordCodes&) = delete;
    WordCodes& operator=(const WordCodes&) = delete;

    // The first word index i >= from such that, for every k, word i + k of
    // the story shares a key with keyword word k (`keywordKeys[k]`, keys
    // from AppendWordKeys in the same mode). npos when there is none or the
    // keyword has no words.
    std::size_t FindSequence(WordCodeMode mode, const std::vector<std::vector<std::string>>& keywordKeys,
                             std::size_t from);

private:
    class Table;

    std::u16string_view m_text;
    WordBreaks& m_breaks;
    std::unique_ptr<Table> m_tables[2];
};

}  // namespace office
