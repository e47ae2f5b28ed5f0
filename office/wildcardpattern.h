// Word's wildcard syntax translated to RE2, so that no pattern and no
// document can make a search take more than linear time.
//
//   ?  any character            *  any run of characters (shortest first)
//   @  one or more of the previous character, class or group
//   {n} {n,} {n,m}  repetition of the previous item
//   [abc] [a-z] [!x]  classes   ( )  groups, for "\1" in the replacement
//   <  >  start and end of a word   \x  the character x itself
//
// RE2 knows no Unicode word boundaries, so "<" and ">" become empty groups
// whose positions are checked against ICU's word rules after RE2 matched.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
}

namespace office {

// Whether Word would accept the pattern (a search with an invalid pattern
// finds nothing).
bool IsValidWordWildcardPattern(std::u16string_view pattern);

struct WildcardTranslation {
    bool valid = false;
    std::string re2Pattern;  // UTF-8
    // For every capturing group of the RE2 pattern (index 0 = group 1): 0 for
    // a group of the user's pattern, '<' or '>' for a word anchor.
    std::vector<char> groupRoles;
};

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
    const std::vector<char>& GroupRoles() const { return m_translation.groupRoles; }
    // The RE2 group index of the user's group `n` (1-based), or -1.
    int UserGroup(int n) const;

private:
    WildcardTranslation m_translation;
    std::unique_ptr<re2::RE2> m_re;
};

}  // namespace office
