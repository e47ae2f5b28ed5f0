// Replacements and answers worked out ahead (see replacementsahead.h).
#include "office/word/replacementsahead.h"

#include "office/word/findplancache.h"
#include "office/word/wordfind.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <memory>

namespace office {

namespace {

// The same few calls come for every document a thread prepares: each is
// compiled once per thread, as the search's own Word compiles it once.
// (A plan's remembered answers are keyed by document versions, which are
// unique in the process, so no answer carries over to another document.)
FindPlanCache& ThreadPlans()
{
    thread_local FindPlanCache plans;
    return plans;
}

// The plans of the last list of calls a thread prepared, in its order: the
// list comes again for document after document, and comparing it costs
// less than looking each of its calls up.
template <class Call>
const std::vector<std::shared_ptr<FindPlan>>& PlansFor(const std::vector<Call>& calls)
{
    thread_local std::vector<Call> known;
    thread_local std::vector<std::shared_ptr<FindPlan>> plans;
    if (calls != known || plans.size() != calls.size()) {
        plans.clear();
        known = calls;
        for (const Call& call : calls) plans.push_back(ThreadPlans().Get(call.findText, OptionsOf(call.switches)));
    }
    return plans;
}

}  // namespace

WordDocument* PrepareReplacements(WordDocument& document,
                                  const std::shared_ptr<const std::vector<ReplacementCall>>& list, std::size_t maxUnits)
{
    if (!list || list->empty()) return nullptr;
    const std::vector<ReplacementCall>& calls = *list;
    const auto modeless = [](const ReplacementCall& call) {
        return call.mode != static_cast<std::uint8_t>(ReplaceMode::One) &&
               call.mode != static_cast<std::uint8_t>(ReplaceMode::All);
    };
    if (std::any_of(calls.begin(), calls.end(), modeless)) return nullptr;
    std::size_t units = document.Units();
    if (units > maxUnits) return nullptr;
    // The copy is made when a call first finds something to replace: until
    // then the text is the document's own, and a find on the document
    // itself answers the call. Most documents have no tab or run of spaces
    // at all, and the compared texts those finds build are the ones the
    // search needs next.
    // The steps are listed from the first that replaces: those before it
    // replaced nothing, and a document none of whose calls replace
    // anything gets no list at all.
    std::unique_ptr<WordDocument> copy;
    std::vector<WordDocument::PreparedStep> steps;
    std::size_t last = calls.size();  // the last step that changed the text
    const auto& plans = PlansFor(calls);
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const ReplacementCall& call = calls[k];
        // The same engine, on the same text, as the search's call will run.
        const auto& plan = plans[k];
        WordDocument::PreparedStep step;
        if (!copy) {
            if (!FindsAny(document, *plan)) continue;
            copy = document.CopyStories();
            copy->RecordReplacements(true);
            steps.reserve(calls.size());
            steps.resize(k);
        }
        step.replaced = ExecuteFind(*copy, *plan, static_cast<ReplaceMode>(call.mode), call.replaceWith);
        if (copy->TakeRecorded(step)) {
            last = steps.size();
            for (const auto& change : step.changes) units += change.second.size();
            if (units > maxUnits) return nullptr;
        }
        steps.push_back(std::move(step));
    }
    if (copy) copy->RecordReplacements(false);
    if (last == calls.size()) {
        document.AttachPrepared(list, std::move(steps), nullptr);
        return &document;
    }
    // The last change is taken as the copy's stories themselves.
    steps[last].changes.clear();
    steps[last].takesFinal = true;
    WordDocument* final = copy.get();
    document.AttachPrepared(list, std::move(steps), std::move(copy));
    return final;
}

void PrepareAnswers(WordDocument& document, WordDocument& target,
                    const std::shared_ptr<const WordDocument::FindList>& finds, const std::atomic<bool>& wanted)
{
    if (!finds) return;
    std::vector<bool> answers;
    answers.reserve(finds->size());
    const auto& plans = PlansFor(*finds);
    for (std::size_t k = 0; k < finds->size(); ++k) {
        // The search waits for this document: it answers the rest itself.
        if (wanted) break;
        platform::ThrowIfStopRequested();
        answers.push_back(FindsAny(target, *plans[k]));
    }
    document.AttachAnswers(finds, std::move(answers));
}

}  // namespace office
