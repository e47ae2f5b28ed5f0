// The built-in Word's document model (see worddocument.h).
#include "office/word/worddocument.h"

#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace office {

namespace {

std::uint64_t NewVersion()
{
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

bool ShareUnit(std::u16string_view a, std::u16string_view b)
{
    return std::any_of(a.begin(), a.end(), [b](char16_t c) { return b.find(c) != std::u16string_view::npos; });
}

}  // namespace

WordDocument::WordDocument(WordContent content) : m_version(NewVersion())
{
    m_stories.reserve(content.stories.size());
    for (Story& s : content.stories) {
        StoryState state;
        state.kind = s.kind;
        state.text = std::move(s.text);
        state.knownNormal = s.knownNormal;
        state.knownNfc = s.knownNormal;
        m_stories.push_back(std::move(state));
    }
}

WordDocument::~WordDocument() = default;

std::unique_ptr<WordDocument> WordDocument::CopyStories() const
{
    WordContent content;
    content.stories.reserve(m_stories.size());
    for (const StoryState& s : m_stories) content.stories.push_back({s.kind, s.text});
    auto copy = std::make_unique<WordDocument>(std::move(content));
    // Checking the form again would cost as much as the views built on it.
    for (std::size_t i = 0; i < m_stories.size(); ++i) {
        copy->m_stories[i].knownNormal = m_stories[i].knownNormal;
        copy->m_stories[i].knownNfc = m_stories[i].knownNfc;
    }
    return copy;
}

const MatchText& WordDocument::View(std::size_t story, bool fold, bool keepFormat)
{
    StoryState& s = m_stories.at(story);
    std::unique_ptr<MatchText>& view = s.views[(fold ? 2 : 0) + (keepFormat ? 1 : 0)];
    if (!view) {
        const KnownForm known = s.knownNormal ? KnownForm::Normal : s.knownNfc ? KnownForm::Nfc : KnownForm::Unknown;
        view = std::make_unique<MatchText>(s.text, fold, keepFormat, known);
        if (!fold && !keepFormat && view->IsIdentity()) s.knownNormal = true;
        if (view->OriginalIsNfc()) s.knownNfc = true;
    }
    return *view;
}

bool WordDocument::SearchesUnfolded(std::size_t story, bool keepFormat, bool newSearch)
{
    StoryState& s = m_stories.at(story);
    bool& now = s.unfoldedNow[keepFormat ? 1 : 0];
    if (!newSearch) return now;
    now = false;
    if (s.text.size() < m_unfoldedFrom || s.views[2 + (keepFormat ? 1 : 0)]) return false;
    if (s.unfoldedSearches >= m_unfoldedSearches) return false;
    std::int8_t& known = s.unitByUnit[keepFormat ? 1 : 0];
    // A text mostly of another script than Latin would make nearly every
    // unit a possible start: it gets its folded copy as before.
    if (known < 0) known = FoldsUnitByUnit(s.text, keepFormat, s.text.size() / 8) ? 1 : 0;
    if (known != 1) return false;
    ++s.unfoldedSearches;
    now = true;
    return true;
}

WordBreaks& WordDocument::Breaks(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (s.breaks) return *s.breaks;
    // Word's optional hyphen (0x1F) is a control character to the word
    // rules, which would end a word at it; read as the soft hyphen it is,
    // it stays inside the word. Same length, so offsets agree. A long story
    // is looked through and copied a chunk at a time, with a look at the
    // stop request between chunks.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::u16string_view text = s.text;
    std::size_t hyphen = std::u16string_view::npos;
    for (std::size_t at = 0; at < text.size() && hyphen == std::u16string_view::npos; at += kChunk) {
        if (at != 0) platform::ThrowIfStopRequested();
        hyphen = text.substr(0, std::min(text.size(), at + kChunk)).find(u'\x1F', at);
    }
    if (hyphen != std::u16string_view::npos) {
        std::u16string copy;
        copy.reserve(text.size());
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            if (at != 0) platform::ThrowIfStopRequested();
            const std::size_t before = copy.size();
            copy.append(text.substr(at, kChunk));
            std::replace(copy.begin() + static_cast<std::ptrdiff_t>(before), copy.end(), u'\x1F', u'\u00AD');
        }
        s.breaksText = std::move(copy);
        s.breaks = std::make_unique<WordBreaks>(s.breaksText);
    } else {
        s.breaks = std::make_unique<WordBreaks>(s.text);
    }
    return *s.breaks;
}

const Utf8Story& WordDocument::Utf8(std::size_t story, bool keepFormat, int markCopies)
{
    markCopies = std::clamp(markCopies, 0, kMaxMarkCopies);
    const bool wordMarks = markCopies > 0;
    std::unique_ptr<Utf8Story>& slot = m_stories.at(story).utf8[keepFormat ? 1 : 0][markCopies];
    if (slot) return *slot;
    const MatchText& view = View(story, false, keepFormat);
    const std::u16string_view text = view.Text();
    if (text.size() > 0x3FFFFFFFu) throw std::length_error("story too long");
    std::vector<std::uint32_t> boundaries;
    if (wordMarks) boundaries = Breaks(story).AllBoundaries();
    std::size_t nextBoundary = 0;
    auto u = std::make_unique<Utf8Story>();
    u->bytes.reserve(text.size());
    u->unitAt.reserve(text.size() + 1);
    auto put = [&u](char32_t c, std::size_t at) {
        const std::size_t before = u->bytes.size();
        AppendUtf8(u->bytes, c);
        u->unitAt.insert(u->unitAt.end(), u->bytes.size() - before, static_cast<std::uint32_t>(at));
    };
    // A word edge lies between two visible characters when the story has a
    // boundary anywhere between them, left-out characters included.
    auto marks = [&](std::size_t at) {
        const std::size_t low = view.OriginalEnd(at);
        const std::size_t high = view.OriginalStart(at);
        while (nextBoundary < boundaries.size() && boundaries[nextBoundary] < low) ++nextBoundary;
        if (nextBoundary >= boundaries.size() || boundaries[nextBoundary] > high) return;
        bool end = false;
        if (at > 0) {
            std::size_t before = at - 1;
            if (before > 0 && U16_IS_TRAIL(text[before]) && U16_IS_LEAD(text[before - 1])) --before;
            end = WordBreaks::IsWordCharacter(text, before);
        }
        const bool start = WordBreaks::IsWordCharacter(text, at);
        for (int k = 0; k < markCopies; ++k) {
            if (end) put(kWordEndMark, at);
            if (start) put(kWordStartMark, at);
        }
    };
    // Nothing is kept of a copy a stop interrupts: the slot stays empty.
    platform::StopCheck stop;
    std::size_t i = 0;
    while (i < text.size()) {
        stop();
        const std::size_t start = i;
        if (wordMarks && view.IsCharacterEdge(start)) marks(start);
        char32_t c = text[i++];
        if (U16_IS_LEAD(c) && i < text.size() && U16_IS_TRAIL(text[i])) {
            c = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(c, text[i]));
            ++i;
        } else if (U16_IS_SURROGATE(c)) {
            c = 0xFFFD;  // a lone surrogate cannot be UTF-8
        }
        // The text's own noncharacters must not pass for marks.
        if (wordMarks && (c == kWordEndMark || c == kWordStartMark)) c = 0xFFFD;
        put(c, start);
    }
    if (wordMarks) marks(text.size());
    u->unitAt.push_back(static_cast<std::uint32_t>(text.size()));
    slot = std::move(u);
    return *slot;
}

WordCodes& WordDocument::Codes(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (!s.codes) s.codes = std::make_unique<WordCodes>(s.text, Breaks(story));
    return *s.codes;
}

void WordDocument::ApplyReplacement(std::vector<std::pair<std::size_t, std::u16string>> changes,
                                    std::u16string_view found, std::u16string_view inserted)
{
    if (changes.empty()) return;
    if (m_recording) {
        m_record.changes = changes;
        m_record.found = found;
        m_record.inserted = inserted;
        m_recorded = true;
    }
    // Spacing replaced by spacing leaves an NFC text NFC, and a normal text
    // normal: spaces and tabs take part in no composition, every character
    // beside the replaced range stood beside spacing before, and what the
    // range held between its spaces (characters the compared text leaves
    // out) is gone. (The clearing passes do this a dozen times a keyword;
    // the text need not be checked again.)
    auto spacing = [](std::u16string_view t) {
        return std::all_of(t.begin(), t.end(), [](char16_t c) { return c == u' ' || c == u'\t'; });
    };
    const bool staysNormal = !found.empty() && spacing(found) && spacing(inserted);
    for (auto& [index, text] : changes) {
        StoryState& s = m_stories.at(index);
        s.knownNormal = s.knownNormal && staysNormal;
        s.knownNfc = s.knownNfc && staysNormal;
        // Derived views point into the old text: drop them first.
        s.codes.reset();
        s.breaks.reset();
        s.breaksText.clear();
        for (auto& view : s.views) view.reset();
        for (auto& filter : s.filters) filter.reset();
        std::fill(std::begin(s.filterAsks), std::end(s.filterAsks), std::uint8_t{0});
        std::fill(std::begin(s.unitByUnit), std::end(s.unitByUnit), std::int8_t{-1});
        s.unfoldedSearches = 0;
        std::fill(std::begin(s.unfoldedNow), std::end(s.unfoldedNow), false);
        for (auto& kind : s.utf8) {
            for (auto& utf8 : kind) utf8.reset();
        }
        s.text = std::move(text);
    }
    AfterReplacement(found, inserted);
}

void WordDocument::AfterReplacement(std::u16string_view found, std::u16string_view inserted)
{
    auto spacing = [](std::u16string_view t) {
        return std::all_of(t.begin(), t.end(), [](char16_t c) { return c == u' ' || c == u'\t'; });
    };
    m_version = NewVersion();
    m_results.clear();
    // A new occurrence of an absent text would have to contain inserted
    // units, when the insertion is spacing: spaces and tabs are compared as
    // they stand and compose with nothing. Texts sharing no unit with it
    // stay absent. Any other insertion proves nothing: an empty one joins
    // text that was apart, an ignorable one (a soft hyphen) is left out of
    // the compared text, and a letter may compose with an accent after it.
    const bool spacingInserted = !inserted.empty() && spacing(inserted);
    if (!spacingInserted) {
        m_absent.clear();
        return;
    }
    for (auto it = m_absent.begin(); it != m_absent.end();) {
        if (ShareUnit(*it, inserted)) it = m_absent.erase(it);
        else ++it;
    }
    // Every occurrence of the found text was replaced or overlapped a
    // replaced one; it can only come back through the inserted units.
    if (!found.empty() && !ShareUnit(found, inserted)) m_absent.emplace(found);
}

bool WordDocument::IsKnownAbsent(std::u16string_view exact) const
{
    return m_shortcuts && m_absent.find(exact) != m_absent.end();
}

void WordDocument::RememberAbsent(std::u16string_view exact)
{
    // Looked up first: emplace makes a node even for a text already there,
    // and the same few texts (the spacing passes') come again and again.
    if (m_absent.size() >= 4096) return;
    const auto at = m_absent.lower_bound(exact);
    if (at == m_absent.end() || *at != exact) m_absent.emplace_hint(at, exact);
}

bool WordDocument::CachedResult(const std::u16string& key, bool& found) const
{
    if (!m_shortcuts) return false;
    const auto it = m_results.find(key);
    if (it == m_results.end()) return false;
    found = it->second;
    return true;
}

void WordDocument::CacheResult(std::u16string key, bool found)
{
    if (m_results.size() >= 4096) m_results.clear();
    m_results.emplace(std::move(key), found);
}

bool WordDocument::MayContain(std::size_t story, bool fold, bool keepFormat, const std::vector<std::u16string>& pieces)
{
    if (!m_shortcuts) return true;
    StoryState& s = m_stories.at(story);
    const std::size_t slot = (fold ? 2u : 0u) + (keepFormat ? 1u : 0u);
    std::unique_ptr<PresenceFilter>& filter = s.filters[slot];
    if (!filter) {
        if (s.text.size() < kMinFilterUnits) return true;
        if (s.filterAsks[slot] < m_scansBeforeFilter) {
            ++s.filterAsks[slot];
            return true;
        }
        filter = std::make_unique<PresenceFilter>(View(story, fold, keepFormat).Text());
    }
    return std::all_of(pieces.begin(), pieces.end(),
                       [&](const std::u16string& piece) { return filter->MayContain(piece); });
}

void WordDocument::PrepareFilter(std::size_t story, bool fold, bool keepFormat)
{
    StoryState& s = m_stories.at(story);
    std::unique_ptr<PresenceFilter>& filter = s.filters[(fold ? 2u : 0u) + (keepFormat ? 1u : 0u)];
    // Never for a short story, whose scan costs less than the look-up.
    if (!filter && s.text.size() >= kMinFilterUnits)
        filter = std::make_unique<PresenceFilter>(View(story, fold, keepFormat).Text());
}

void WordDocument::LogCall(std::u16string_view findText, std::uint8_t switches, std::u16string_view replaceWith,
                           std::uint8_t mode)
{
    if (!m_logOpen) return;
    if (LoggedCalls() >= kMaxLoggedCalls) {
        m_logOpen = false;
        return;
    }
    if (!m_ownCallLog) {
        if (m_callsAhead && m_callsFollowed < m_callsAhead->size()) {
            if ((*m_callsAhead)[m_callsFollowed].Is(findText, switches, replaceWith, mode)) {
                ++m_callsFollowed;
                return;
            }
        }
        // It departs from the list: the log so far is the list's first calls.
        if (m_callsAhead)
            m_log.assign(m_callsAhead->begin(), m_callsAhead->begin() + static_cast<std::ptrdiff_t>(m_callsFollowed));
        m_ownCallLog = true;
    }
    m_log.push_back({std::u16string(findText), switches, std::u16string(replaceWith), mode});
}

std::vector<ReplacementCall> WordDocument::CallLog() const
{
    if (m_ownCallLog) return m_log;
    if (!m_callsAhead) return {};
    return {m_callsAhead->begin(), m_callsAhead->begin() + static_cast<std::ptrdiff_t>(m_callsFollowed)};
}

bool WordDocument::CallLogIs(const std::vector<ReplacementCall>& list) const
{
    if (m_ownCallLog) return m_log == list;
    if (!m_callsAhead || m_callsFollowed != list.size()) return list.empty() && m_callsFollowed == 0;
    return m_callsAhead.get() == &list || std::equal(list.begin(), list.end(), m_callsAhead->begin());
}

void WordDocument::AttachPrepared(std::shared_ptr<const std::vector<ReplacementCall>> calls,
                                  std::vector<PreparedStep> steps, std::unique_ptr<WordDocument> final)
{
    m_preparedCount = calls ? calls->size() : 0;
    m_prepared = std::move(steps);
    m_nextPrepared = 0;
    m_preparedAt = m_version;
    m_preparedFinal = final && final->m_stories.size() == m_stories.size() ? std::move(final) : nullptr;
    if ((!m_prepared.empty() && m_prepared.size() != m_preparedCount) ||
        (!m_preparedFinal &&
         std::any_of(m_prepared.begin(), m_prepared.end(), [](const auto& p) { return p.takesFinal; })))
        DropPrepared();
    // The log follows the list from the first call, if it is asked.
    if (!m_ownCallLog && m_callsFollowed == 0) m_callsAhead = std::move(calls);
    else DropPrepared();
}

void WordDocument::DropPrepared()
{
    m_prepared.clear();
    m_preparedCount = 0;
    m_preparedFinal.reset();
}

bool WordDocument::TakePrepared(std::u16string_view findText, std::uint8_t switches, std::u16string_view replaceWith,
                                std::uint8_t mode, bool& replaced)
{
    if (m_nextPrepared < m_preparedCount && m_version == m_preparedAt && m_shortcuts) {
        if ((*m_callsAhead)[m_nextPrepared].Is(findText, switches, replaceWith, mode)) {
            // Without a list of steps, none of them replaced anything.
            replaced = false;
            if (!m_prepared.empty()) {
                PreparedStep& step = m_prepared[m_nextPrepared];
                replaced = step.replaced;
                if (step.takesFinal) {
                    // The copy's stories went through the same replacements:
                    // they are what this step leaves, with what was built on
                    // them since. (Swapping the vectors keeps every story where
                    // it is, so views into its text stay valid.)
                    m_stories.swap(m_preparedFinal->m_stories);
                    m_preparedFinal.reset();
                    AfterReplacement(step.found, step.inserted);
                } else if (!step.changes.empty()) {
                    ApplyReplacement(std::move(step.changes), step.found, step.inserted);
                }
            }
            ++m_nextPrepared;
            ++m_stepsTaken;
            m_preparedAt = m_version;
            if (m_nextPrepared == m_preparedCount) {
                DropPrepared();
                // The text is now the one the answers were worked out on.
                if (!m_answers.empty()) m_answersAt = m_version;
            }
            return true;
        }
    }
    DropPrepared();
    m_answers.clear();
    m_answersAt = 0;
    return false;
}

void WordDocument::LogFind(std::u16string_view findText, std::uint8_t switches)
{
    if (!m_logsFinds) return;
    if (!m_ownLog) {
        if (m_expected && m_followed < m_expected->size()) {
            const FindCall& next = (*m_expected)[m_followed];
            if (next.switches == switches && next.findText == findText) {
                ++m_followed;
                return;
            }
        }
        // Departs from the list: the log so far is its first calls.
        m_ownLog = true;
        if (m_expected)
            m_findLog.assign(m_expected->begin(), m_expected->begin() + static_cast<std::ptrdiff_t>(m_followed));
    }
    if (m_findLog.size() < kMaxLoggedFinds) m_findLog.push_back({std::u16string(findText), switches});
}

WordDocument::FindList WordDocument::FindLog() const
{
    if (m_ownLog) return m_findLog;
    if (!m_expected) return {};
    return FindList(m_expected->begin(), m_expected->begin() + static_cast<std::ptrdiff_t>(m_followed));
}

bool WordDocument::FindLogIs(const FindList& list) const
{
    if (m_ownLog) return m_findLog == list;
    if (!m_expected || m_followed != list.size()) return list.empty() && m_followed == 0;
    return m_expected.get() == &list || std::equal(list.begin(), list.end(), m_expected->begin());
}

void WordDocument::AttachAnswers(std::shared_ptr<const FindList> finds, std::vector<bool> answers)
{
    if (!finds || answers.size() > finds->size()) answers.clear();
    m_answers = std::move(answers);
    m_nextAnswer = 0;
    m_logsFinds = true;
    // The log follows the list from the first call, if it is asked.
    if (!m_ownLog && m_followed == 0) m_expected = std::move(finds);
    else m_answers.clear();
    // Without prepared steps the text is already the one they hold for.
    m_answersAt = m_preparedCount == 0 && !m_answers.empty() ? m_version : 0;
}

bool WordDocument::AnswerAhead(std::u16string_view findText, std::uint8_t switches, bool& found)
{
    if (m_answersAt != m_version || !m_shortcuts || !m_expected) return false;
    const auto matches = [&](std::size_t i) {
        const FindCall& call = (*m_expected)[i];
        return call.switches == switches && call.findText == findText;
    };
    // Asked in the list's order, the next call is where the last one ended.
    std::size_t at = m_nextAnswer;
    if (at >= m_answers.size() || !matches(at)) {
        at = 0;
        while (at < m_answers.size() && !matches(at)) ++at;
        if (at == m_answers.size()) return false;
    }
    found = m_answers[at];
    m_nextAnswer = at + 1;
    ++m_answersTaken;
    return true;
}

bool WordDocument::TakeRecorded(PreparedStep& into)
{
    if (!m_recorded) return false;
    m_recorded = false;
    into.changes = std::move(m_record.changes);
    into.found = std::move(m_record.found);
    into.inserted = std::move(m_record.inserted);
    return true;
}

}  // namespace office
