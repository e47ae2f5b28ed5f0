// Replacements worked out before they are asked for. A search that clears
// spacing asks every document for the same replacements (tabs, then runs
// of spaces) before its first keyword; on a document read ahead, another
// thread can run them on a copy of the stories and attach the steps to the
// document (WordDocument::AttachPrepared). The search's own calls then take
// each step's result when they come with the same arguments in the same
// order on an unchanged document; any other call drops the steps and is
// answered by doing the work, as without them. The keywords that follow
// are the same on every document too: their answers are worked out on the
// text the steps leave, and hold while that text is unchanged.
#pragma once

#include "office/word/worddocument.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace office {

// Runs `calls` on a copy of `document`'s stories and attaches the steps.
// Returns the document to build compared texts and filters on for the
// state after the calls: the copy when a call changes the text, else
// `document` itself; null when nothing was attached (no calls, a call that
// did not replace, or copies of more than `maxUnits` units in all).
WordDocument* PrepareReplacements(WordDocument& document,
                                  const std::shared_ptr<const std::vector<ReplacementCall>>& calls,
                                  std::size_t maxUnits);

// Answers the searches `finds` on `target`, the text as the steps attached
// to `document` leave it (`document` itself when none are attached), and
// attaches the answers to `document` (WordDocument::AttachAnswers). Stops
// early, keeping the answers so far, once `wanted` is set. Throws
// platform::OperationCancelled on a stop request.
void PrepareAnswers(WordDocument& document, WordDocument& target,
                    const std::shared_ptr<const WordDocument::FindList>& finds, const std::atomic<bool>& wanted);

}  // namespace office
