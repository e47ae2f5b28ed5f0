// Word's wildcard syntax translated to RE2, so that no pattern and no
// document can make a search take more than linear time.
//
//   ?  any character            *  any run of characters (shortest first)
//   @  one or more of the previous character, class or group
//   {n} {n,} {n,m}  repetition of the previous item
//   [abc] [a-z] [!x]  classes   ( )  groups, for "\1" in the replacement
//   <  >  start and end of a word   \x  the character x itself
//
// RE2 knows no Unicode word boundaries. A pattern with "<" or ">" is
// therefore searched in a copy of the text that carries a mark at every word
// end and word start (two noncharacters, see worddocument.h): "<" and ">"
// match those marks, every other element steps over them. The regular
// expression then decides every anchor itself, so "*" grows as far as the
// anchors need ("<int*>" finds "integer") and the search stays linear.
// Reading a mark uses it up, so where several anchors may hold at one place
// ("<*<", "(<){2}") the marked text carries as many marks of each kind as
// the pattern can ask for at one place, up to kMaxMarkCopies; a pattern
// that asks more of one place than that is searched with that many.
#pragma once

#include "office/word/wildcardcheck.h"

#include <memory>
#include <string>
#include <string_view>

namespace re2 {
class RE2;
}

namespace office {

// The marks of a word end and a word start in a marked text, in that order
// where both stand at one place.
constexpr char32_t kWordEndMark = 0xFDD0;
constexpr char32_t kWordStartMark = 0xFDD1;
constexpr int kMaxMarkCopies = 8;

struct WildcardTranslation {
    bool valid = false;
    std::string re2Pattern;    // UTF-8
    int groups = 0;            // capturing groups, the user's own, in order
    int markCopies = 0;        // >0: searched in the text marked so many times
    bool keepsFormat = false;  // asks for a character Find otherwise leaves out
};

// The pattern is taken in NFC, like the text it is compared with.
WildcardTranslation TranslateWordWildcards(std::u16string_view pattern);

// A compiled wildcard pattern.
class WildcardPattern {
public:
    explicit WildcardPattern(std::u16string_view pattern);
    ~WildcardPattern();
    WildcardPattern(const WildcardPattern&) = delete;
    WildcardPattern& operator=(const WildcardPattern&) = delete;

    bool IsValid() const { return m_re != nullptr; }
    const re2::RE2* Regex() const { return m_re.get(); }
    // The same pattern, matching as much as it can: asked only where the
    // first match found nothing visible, to learn whether a longer match
    // starts at the same place.
    const re2::RE2* Longest() const;
    int Groups() const { return m_translation.groups; }
    // 0, or how many marks of each kind the text searched must carry.
    int MarkCopies() const { return m_translation.markCopies; }
    bool KeepsFormat() const { return m_translation.keepsFormat; }

private:
    WildcardTranslation m_translation;
    std::unique_ptr<re2::RE2> m_re;
    mutable std::unique_ptr<re2::RE2> m_longest;
};

}  // namespace office
