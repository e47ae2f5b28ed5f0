// The one thing the search engine asks of the built-in Word before a
// search: whether a wildcard keyword is a pattern Word accepts. Kept apart
// from the pattern compiler so that a caller sees this and nothing else.
#pragma once

#include <string_view>

namespace office {

// Whether Word would accept the pattern (a search with an invalid pattern
// finds nothing). Defined with the compiler, in wildcardpattern.cpp.
bool IsValidWordWildcardPattern(std::u16string_view pattern);

}  // namespace office
