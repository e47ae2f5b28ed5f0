// The built-in Word's Find and Replace over a whole document. Every search
// covers every story from the start (a search that reaches the end goes on
// from the beginning, and nobody is there to be asked), and answers whether
// the text was found or, when replacing, whether anything was replaced.
//
// Modes, by precedence when several are on: wildcards (always matching case,
// whole word ignored), then all word forms, then sounds like, then a plain
// search with caret codes, case folding and whole words.
#pragma once

#include "office/word/worddocument.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace office {

struct FindOptions {
    bool matchCase = false;
    bool matchWholeWord = false;
    bool matchWildcards = false;
    bool matchSoundsLike = false;
    bool matchAllWordForms = false;
};

// Word's WdReplace.
enum class ReplaceMode { None = 0, One = 1, All = 2 };

struct FindRequest {
    std::u16string findText;
    FindOptions options;
    std::u16string replaceWith;
    ReplaceMode replace = ReplaceMode::None;
};

// The switches of a ReplacementCall (worddocument.h) as options.
FindOptions OptionsOf(std::uint8_t switches);

// Runs one Find.Execute. An invalid wildcard pattern finds nothing.
bool ExecuteFind(WordDocument& document, const FindRequest& request);

// A find text with its switches, made ready once (the matcher, a wildcard
// pattern's compiled expression, the pieces a presence filter tests). It
// depends on no document, so one plan serves a keyword in every document of
// a search; it is used by one thread at a time.
class FindPlan;
std::shared_ptr<FindPlan> CompileFind(std::u16string_view findText, const FindOptions& options);
// The same as ExecuteFind above, for a compiled find text.
bool ExecuteFind(WordDocument& document, FindPlan& plan, ReplaceMode replace, std::u16string_view replaceWith);
// Whether the plan finds anything: a Find.Execute that replaces nothing,
// kept out of the document's call log (a look of our own, not the
// search's).
bool FindsAny(WordDocument& document, FindPlan& plan);

// One occurrence: offsets in the story's own text.
struct FoundRange {
    std::size_t story = 0;
    std::size_t start = 0;
    std::size_t end = 0;
};

// The first `limit` occurrences of a find-only request (its replace part
// is ignored), story by story in the order Execute searches them. Execute
// without replacing answers yes exactly when this finds one: both walk the
// stories with the same matcher, so a match report and the search agree.
std::vector<FoundRange> FindOccurrences(WordDocument& document, const FindRequest& request, std::size_t limit);

}  // namespace office
