// American Soundex (see soundslike.h).
#include "office/word/soundslike.h"

#include "office/text/casefold.h"

#include <unicode/unorm2.h>

#include <algorithm>
#include <vector>

namespace office {

namespace {

// Soundex digit of a lower-case letter; '0' separates (vowels and y),
// 'h' and 'w' are transparent ('-').
char Digit(char c)
{
    switch (c) {
    case 'b':
    case 'f':
    case 'p':
    case 'v': return '1';
    case 'c':
    case 'g':
    case 'j':
    case 'k':
    case 'q':
    case 's':
    case 'x':
    case 'z': return '2';
    case 'd':
    case 't': return '3';
    case 'l': return '4';
    case 'm':
    case 'n': return '5';
    case 'r': return '6';
    case 'h':
    case 'w': return '-';
    default: return '0';
    }
}

// The word's Latin letters, lower case, accents removed ("Müller" ->
// "muller").
std::string LatinLetters(std::u16string_view word)
{
    std::string letters;
    if (std::all_of(word.begin(), word.end(), [](char16_t c) { return c < 0x80; })) {
        for (char16_t c : word) {
            if (c >= u'A' && c <= u'Z') letters.push_back(static_cast<char>(c - u'A' + 'a'));
            else if (c >= u'a' && c <= u'z') letters.push_back(static_cast<char>(c));
        }
        return letters;
    }
    std::u16string folded = FullCaseFold(word);
    std::u16string decomposed;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    if (U_SUCCESS(status) && folded.size() < 4096) {
        std::vector<UChar> buf(folded.size() * 4 + 8);
        const int32_t n = unorm2_normalize(nfd, folded.data(), static_cast<int32_t>(folded.size()), buf.data(),
                                           static_cast<int32_t>(buf.size()), &status);
        if (U_SUCCESS(status) && n >= 0) decomposed.assign(buf.data(), static_cast<std::size_t>(n));
    }
    if (decomposed.empty()) decomposed = folded;
    for (char16_t c : decomposed) {
        if (c >= u'a' && c <= u'z') letters.push_back(static_cast<char>(c));
    }
    return letters;
}

}  // namespace

std::string SoundexCode(std::u16string_view word)
{
    const std::string letters = LatinLetters(word);
    if (letters.empty()) return {};
    std::string code(1, static_cast<char>(letters[0] - 'a' + 'A'));
    char last = Digit(letters[0]);
    for (std::size_t i = 1; i < letters.size() && code.size() < 4; ++i) {
        const char d = Digit(letters[i]);
        if (d == '-') continue;  // h and w do not separate equal codes
        if (d != '0' && d != last) code.push_back(d);
        last = d;
    }
    code.resize(4, '0');
    return code;
}

}  // namespace office
