// What every matcher of the built-in Word's Find yields, and the interface
// the Find driver (wordfind.cpp) walks them through: the plain search, the
// wildcard search, and the word-by-word searches of "sounds like" and "all
// word forms" each live behind it.
#pragma once

#include "office/word/wordbreaks.h"

#include <cstddef>
#include <vector>

namespace office {

class WordDocument;

struct FindMatch {
    std::size_t start = 0;  // in the story's text
    std::size_t end = 0;
    std::size_t resume = 0;        // where the matcher goes on, in its own terms
    std::vector<TextSpan> groups;  // wildcard groups 1..n, in the story's text
    std::vector<bool> groupSet;
};

class FindMatcher {
public:
    virtual ~FindMatcher() = default;
    // The first occurrence at or after `from` (0 = start of the story, else
    // a `resume` of an earlier match).
    virtual bool Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m) = 0;
};

}  // namespace office
