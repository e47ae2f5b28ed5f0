// Keeps libxml2's HTML parser linear on tags with very many attributes.
//
// The parser checks every attribute of a start tag against all the earlier
// ones of the same tag (duplicates are dropped), so a tag with n attributes
// costs n^2 comparisons: 40,000 attributes take seconds, 300,000 minutes.
// Before the page is parsed this filter finds such tags and renames each
// attribute past the first `kept` to underscores of the same length (names
// only: values, quotes and the tag's end stay where they were). The parser
// reads names of at most 100 characters, so the renamed ones take at most
// about a hundred distinct names, and it drops every other renamed attribute
// as a duplicate after comparing it with at most kept + that many names. No
// attribute's value reaches the page's text; the few attributes a reader
// does use (the Word reader's "hidden", the Excel reader's "colspan") keep
// their names wherever they stand, and being few names, they too are
// compared with few others however often a tag repeats them.
//
// The filter follows the parser's own reading of the markup: comments,
// doctype declarations, processing instructions, end tags, and the raw text
// of <script> and <style>, where a "<" starts no tag. It reports every tag it
// changed, so the reader can check that the parser met each one as a start
// tag where the filter expected it (see htmlsaxparser.h).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace office {

struct HtmlFilteredTag {
    std::size_t start = 0;    // offset of the "<"
    std::size_t nameEnd = 0;  // offset just past the element's name
    std::size_t end = 0;      // offset of the closing ">" or "/>" (the input's size if none)
    bool rootName = false;    // html, head or body: the parser may merge the tag away
};

class HtmlTagFilter {
public:
    // Copies UTF-8 markup to `changed` with the renames (left empty when no
    // tag needs any); attributes named in `used` (lower case) are never
    // renamed. Checks for a stop request as it goes.
    static std::vector<HtmlFilteredTag> Apply(std::string_view markup, std::string& changed, std::size_t kept,
                                              std::initializer_list<std::string_view> used);
};

}  // namespace office
