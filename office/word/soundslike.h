// "Sounds like": English words compared by their American Soundex codes, a
// published phonetic algorithm (R. C. Russell, 1918; as used by the US
// census). "Smith" and "Smyth" share S530, "fun" and "funny" F500.
#pragma once

#include <string>
#include <string_view>

namespace office {

// The four-character Soundex code of a word ("S530"), or an empty string
// when the word holds no Latin letter to code.
std::string SoundexCode(std::u16string_view word);

}  // namespace office
