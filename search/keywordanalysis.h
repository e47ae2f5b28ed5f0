// Keyword analysis: turns the keyword text, one keyword per line, into
// g_arrKeywords, enforcing the limits of the search (256 lines, fewer than
// 256 bytes a line) and logging what it does. Used by the keyword panel on
// WM_ANALYZE_KEYWORDS and by varnel-find, so both check keywords alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Most lines the keyword text may have.
constexpr std::size_t kMaxKeywordLines = 256;
// Bytes a keyword record holds, its terminating zero included: a line must
// be shorter than this. A line of exactly 256 bytes would leave no room for
// the zero, and the search never uses a silently shortened keyword.
constexpr std::size_t kKeywordRecordBytes = 256;

// Splits text into lines the way a multi-line editor counts them: at every
// line feed (a carriage return before it belongs to the line end), so an
// empty text is one empty line and a text ending in a line end has an
// empty last line.
std::vector<std::string> SplitKeywordLines(std::string_view text);

// Rebuilds g_arrKeywords from `lines`. Logs 61453 and 61454, then adds one
// keyword per non-empty line in order. Too many lines log 61452, a too long
// line logs 61455; both leave the array empty and send WM_SEARCH_FINISHED
// to the main frame. With wildcards on, each keyword that is no valid
// wildcard pattern is reported once (it stays in the array and finds
// nothing). Returns 0, as the message handler does.
int AnalyzeKeywords(const std::vector<std::string>& lines);
