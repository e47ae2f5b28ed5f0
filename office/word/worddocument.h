// One open document of the built-in Word: its stories, in the order Find
// searches them, plus what the Find engine derives from them and keeps until
// the text changes (the compared text, normalised and perhaps case-folded;
// word boundaries; a UTF-8 copy for wildcard searches). Replacements happen here, in memory only: nothing is
// ever written back to the file.
//
// A search for spacing that the document is known not to contain costs
// nothing: the document remembers exact texts found absent, and keeps that
// knowledge across a replacement that cannot have brought them back. A
// search repeated on an unchanged text is answered from a cache, and a story
// searched for many fixed texts keeps a presence filter (presencefilter.h)
// that turns most absent ones away without a scan.
#pragma once

#include "office/text/matchtext.h"
#include "office/word/presencefilter.h"
#include "office/word/wildcardpattern.h"
#include "office/word/wordbreaks.h"
#include "office/word/wordcodes.h"
#include "office/word/wordcontent.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace office {

// A story's compared text (without folding) as UTF-8, with the offset in
// that text of every byte's character. With word marks, the noncharacters
// kWordEndMark and kWordStartMark (see wildcardpattern.h) stand at every
// word end and start, as many times as asked, in pairs (end, start) where
// both meet; their bytes map to the offset they stand at.
struct Utf8Story {
    std::string bytes;
    std::vector<std::uint32_t> unitAt;  // bytes.size() + 1 entries
};

// One Find.Execute that replaced, as the document was asked it: the find
// text, the switches (a bit each, see wordfind.cpp), the replacement and
// Word's WdReplace.
struct ReplacementCall {
    std::u16string findText;
    std::uint8_t switches = 0;
    std::u16string replaceWith;
    std::uint8_t mode = 0;
    bool operator==(const ReplacementCall&) const = default;
    // Whether a call asked with these arguments is this one.
    bool Is(std::u16string_view text, std::uint8_t bits, std::u16string_view with, std::uint8_t how) const
    {
        return findText == text && switches == bits && replaceWith == with && mode == how;
    }
};

class WordDocument {
public:
    explicit WordDocument(WordContent content);
    ~WordDocument();
    WordDocument(const WordDocument&) = delete;
    WordDocument& operator=(const WordDocument&) = delete;

    // A new document of the same stories' text (and what is known of its
    // normal form), with nothing derived, cached or logged.
    std::unique_ptr<WordDocument> CopyStories() const;

    std::size_t StoryCount() const { return m_stories.size(); }
    StoryKind Kind(std::size_t story) const { return m_stories[story].kind; }
    std::u16string_view Text(std::size_t story) const { return m_stories[story].text; }
    // The units of all stories together.
    std::size_t Units() const
    {
        std::size_t units = 0;
        for (const StoryState& s : m_stories) units += s.text.size();
        return units;
    }

    // Derived views, built on first use and kept until the story changes.
    // The text Find compares (see matchtext.h).
    const MatchText& View(std::size_t story, bool fold, bool keepFormat);
    bool HasView(std::size_t story, bool fold, bool keepFormat) const
    {
        return m_stories[story].views[(fold ? 2 : 0) + (keepFormat ? 1 : 0)] != nullptr;
    }
    // Whether a case-blind search of the story may fold as it compares,
    // without the folded view: a long story (a copy of it would double what
    // the document holds) that folds unit by unit (see FoldsUnitByUnit),
    // is mostly ASCII, and whose folded view was not built already. Such a
    // scan costs more than one of the view, so only a story's first search
    // goes so by default (one keyword never makes the copy); later ones
    // build the view, as many keywords repay it. `newSearch` at a search's first call (from the story's start);
    // its later calls get the same answer, so its positions stay of one kind.
    bool SearchesUnfolded(std::size_t story, bool keepFormat, bool newSearch);
    // Boundaries of the story's own text.
    WordBreaks& Breaks(std::size_t story);
    // `markCopies`: 0 for no word marks, else how many of each kind.
    const Utf8Story& Utf8(std::size_t story, bool keepFormat, int markCopies);
    WordCodes& Codes(std::size_t story);

    // The state of the text: changed by every change of it, and never the
    // same for two documents (or two states of one), so that whoever keeps
    // an answer for one document need not know which one it was. Never 0.
    std::uint64_t Version() const { return m_version; }

    // Replaces the text of some stories after a replacement of every
    // occurrence of `found` (an exact text, or empty when the search was no
    // plain text) by `inserted`. Keeps what is still known to be absent.
    void ApplyReplacement(std::vector<std::pair<std::size_t, std::u16string>> changes, std::u16string_view found,
                          std::u16string_view inserted);

    // Exact texts (case and all) that no story contains.
    bool IsKnownAbsent(std::u16string_view exact) const;
    void RememberAbsent(std::u16string_view exact);

    // Results of searches that changed nothing, valid until the text changes.
    bool CachedResult(const std::u16string& key, bool& found) const;
    void CacheResult(std::u16string key, bool found);

    // False when one of `pieces` cannot occur in the story's view (see
    // View): each must then be a run of units a match has to hold one after
    // the other in that view. True when they may all occur.
    bool MayContain(std::size_t story, bool fold, bool keepFormat, const std::vector<std::u16string>& pieces);

    // The replacements asked of the document as opened, in order, up to its
    // first search that did not replace (EndCallLog), which completes the
    // log. A search clears spacing with the same replacements on every
    // document, so another thread can work them out ahead on the next one.
    // Off by default, as the log of searches is. A document whose
    // replacements were worked out ahead for a list logs nothing while it
    // is asked that list's calls in order, as with searches below.
    void SetLogsCalls(bool on) { m_logOpen = on; }
    bool LogsCalls() const { return m_logOpen; }
    // A replacement asked; EndCallLog: a search that did not replace.
    void LogCall(std::u16string_view findText, std::uint8_t switches, std::u16string_view replaceWith,
                 std::uint8_t mode);
    void EndCallLog() { m_logOpen = false; }
    std::vector<ReplacementCall> CallLog() const;
    bool CallLogIs(const std::vector<ReplacementCall>& list) const;
    bool CallLogComplete() const { return !m_logOpen && LoggedCalls() > 0; }

    // Replacements worked out ahead, on a copy of the document's stories
    // (see replacementsahead.h). Each step holds what the call answered and
    // the stories it changed; the last step that changed anything takes the
    // copy's stories whole (with the compared texts and filters built on
    // them), so that the search thread builds nothing for them.
    // Step k answers the k-th call of the list the steps were worked out
    // for.
    struct PreparedStep {
        bool replaced = false;
        bool takesFinal = false;
        std::vector<std::pair<std::size_t, std::u16string>> changes;
        std::u16string found, inserted;  // as ApplyReplacement got them
    };
    // `final`: the copy after all steps, or null when no step changes
    // anything. `steps` may be empty when none of the calls replaced
    // anything. Valid for the document's present state only.
    void AttachPrepared(std::shared_ptr<const std::vector<ReplacementCall>> calls, std::vector<PreparedStep> steps,
                        std::unique_ptr<WordDocument> final);
    bool HasPrepared() const { return m_preparedCount != 0; }
    // When the call is the next one worked out ahead and the document has
    // not changed since otherwise, applies its result, sets `replaced` and
    // answers true. Anything else drops what was worked out (false): the
    // caller then does the work itself.
    bool TakePrepared(std::u16string_view findText, std::uint8_t switches, std::u16string_view replaceWith,
                      std::uint8_t mode, bool& replaced);
    // While on, each ApplyReplacement's arguments are kept (copied) for
    // TakeRecorded; for the copy replacements are worked out on.
    void RecordReplacements(bool on) { m_recording = on; }
    bool TakeRecorded(PreparedStep& into);

    // The searches (no replacement) asked of the document as opened, in
    // order, as `switches` and text, up to kMaxLoggedFinds: a search asks
    // every document for the same keywords, so another thread can answer
    // them ahead on the next one. A document whose answers were worked out
    // ahead for a list logs nothing while it is asked that list's calls in
    // order: most documents of a search are asked the same ones.
    struct FindCall {
        std::u16string findText;
        std::uint8_t switches = 0;
        bool operator==(const FindCall&) const = default;
    };
    using FindList = std::vector<FindCall>;
    static constexpr std::size_t kMaxLoggedFinds = 256;
    // Off by default: only a search that reads ahead has a use for the log
    // (answers worked out ahead turn it on too).
    void SetLogsFinds(bool on) { m_logsFinds = on; }
    void LogFind(std::u16string_view findText, std::uint8_t switches);
    FindList FindLog() const;
    bool FindLogIs(const FindList& list) const;

    // Answers to `finds` worked out ahead (answers[i] for finds[i], the
    // first few or all) for the text as the prepared steps leave it: valid
    // once the last of them is taken (at once when there are none) and
    // until the text changes or a step is refused.
    void AttachAnswers(std::shared_ptr<const FindList> finds, std::vector<bool> answers);
    bool AnswerAhead(std::u16string_view findText, std::uint8_t switches, bool& found);
    // How many prepared steps and answers the document's searches took.
    std::size_t StepsTaken() const { return m_stepsTaken; }
    std::size_t AnswersTaken() const { return m_answersTaken; }

    // Builds the presence filter of a story's view now, when the story is
    // long enough to get one (see MayContain).
    void PrepareFilter(std::size_t story, bool fold, bool keepFormat);
    bool HasFilter(std::size_t story, bool fold, bool keepFormat) const
    {
        return m_stories[story].filters[(fold ? 2 : 0) + (keepFormat ? 1 : 0)] != nullptr;
    }

    // Off: every search scans, as if nothing were cached or remembered (no
    // absent texts, no results, no presence filter). For differential tests
    // and measurements; on by default.
    void SetShortcuts(bool on) { m_shortcuts = on; }
    bool Shortcuts() const { return m_shortcuts; }
    // How many scans of a story's view go before its presence filter is
    // built. Building one costs about as much as a dozen or two scans (a
    // scan compares eight units at a time), so by default a few keywords
    // never pay for it and many pay at most about twice.
    void SetScansBeforeFilter(std::uint8_t scans) { m_scansBeforeFilter = scans; }
    // How long a story must be (in units) before SearchesUnfolded answers
    // yes, and for how many of its searches; settable for tests.
    void SetUnfoldedSearch(std::size_t fromUnits, std::uint8_t searches = 1)
    {
        m_unfoldedFrom = fromUnits;
        m_unfoldedSearches = searches;
    }

private:
    // The bookkeeping of a replacement once the stories hold their new text.
    void AfterReplacement(std::u16string_view found, std::u16string_view inserted);
    static constexpr std::size_t kMinFilterUnits = 512;

    struct StoryState {
        StoryKind kind = StoryKind::Main;
        std::u16string text;
        std::unique_ptr<MatchText> views[4];  // [fold * 2 + keepFormat]
        std::unique_ptr<WordBreaks> breaks;
        std::u16string breaksText;  // the text as the word rules read it, when it differs
        // The text is known to be NFC without ignorable format characters:
        // its unfolded views are the text itself, unchecked.
        bool knownNormal = false;
        // The text is known to be NFC (ignorable characters perhaps in it):
        // its views need no normalisation check.
        bool knownNfc = false;
        std::unique_ptr<Utf8Story> utf8[2][kMaxMarkCopies + 1];  // [keepFormat][markCopies]
        std::unique_ptr<WordCodes> codes;
        std::unique_ptr<PresenceFilter> filters[4];  // as views
        std::uint8_t filterAsks[4] = {};
        // FoldsUnitByUnit of the text, [keepFormat]: -1 not asked yet.
        std::int8_t unitByUnit[2] = {-1, -1};
        // Searches that went unfolded, and the current search's answer.
        std::uint8_t unfoldedSearches = 0;
        bool unfoldedNow[2] = {false, false};
    };

    std::vector<StoryState> m_stories;
    std::uint64_t m_version;
    std::set<std::u16string, std::less<>> m_absent;
    std::map<std::u16string, bool> m_results;
    bool m_shortcuts = true;
    std::uint8_t m_scansBeforeFilter = 16;
    std::size_t m_unfoldedFrom = std::size_t{1} << 20;
    std::uint8_t m_unfoldedSearches = 1;
    static constexpr std::size_t kMaxLoggedCalls = 32;
    bool m_logOpen = false;
    std::size_t m_stepsTaken = 0;
    std::size_t m_answersTaken = 0;
    std::vector<ReplacementCall> m_log;                                // when m_ownCallLog
    std::shared_ptr<const std::vector<ReplacementCall>> m_callsAhead;  // the list the steps are for
    std::size_t m_callsFollowed = 0;                                   // calls logged as its first ones
    bool m_ownCallLog = false;                                         // departed from it
    std::size_t LoggedCalls() const { return m_ownCallLog ? m_log.size() : m_callsFollowed; }
    std::vector<PreparedStep> m_prepared;  // empty: none of the steps replaced anything
    std::size_t m_preparedCount = 0;       // the steps attached; 0 once all are taken or dropped
    std::size_t m_nextPrepared = 0;
    void DropPrepared();
    std::uint64_t m_preparedAt = 0;  // the version the next step expects
    std::unique_ptr<WordDocument> m_preparedFinal;
    std::shared_ptr<const FindList> m_expected;  // the list the answers are for
    std::size_t m_followed = 0;                  // calls logged as its first ones
    bool m_ownLog = false;                       // departed from it: m_findLog holds the log
    bool m_logsFinds = false;
    FindList m_findLog;
    std::vector<bool> m_answers;
    std::size_t m_nextAnswer = 0;   // where the next call is looked for first
    std::uint64_t m_answersAt = 0;  // the version they hold for; 0: not yet, or none
    bool m_recording = false;
    bool m_recorded = false;
    PreparedStep m_record;
};

}  // namespace office
