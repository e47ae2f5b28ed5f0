// Unicode full case folding ("ß" folds to "ss", "É" to "é"), the one
// folding both finds compare with when case does not matter: Word's Find
// through the match text, Excel's Range.Find over cells, sheet names,
// word forms and sounds-like keys. One function, so that a keyword and a
// text folded in different places always agree.
#pragma once

#include <string>
#include <string_view>

namespace office {

// Appends the folding of `text` to `out`. Every code point folds on its own
// (an unpaired surrogate stays as it is), so texts folded piece by piece
// or joined give the same units as each folded whole.
void AppendFullCaseFold(std::u16string_view text, std::u16string& out);

std::u16string FullCaseFold(std::u16string_view text);

}  // namespace office
