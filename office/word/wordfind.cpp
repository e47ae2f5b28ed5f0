// Find and Replace over a document (see wordfind.h). Each mode is a matcher
// that yields the next occurrence in one story; the driver below turns the
// occurrences into a yes/no answer or a replaced text.
#include "office/word/wordfind.h"

#include "office/text/matchtext.h"
#include "office/word/caretcodes.h"
#include "office/word/findmatcher.h"
#include "office/word/wildcardpattern.h"
#include "office/word/wordsequencematcher.h"
#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <re2/re2.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

// The first occurrence of a one- or two-unit text (a tab, two spaces: the
// clearing passes) from `from`. Eight units are compared at a time where the
// processor allows it.
std::size_t FindShort(std::u16string_view s, std::size_t from, std::u16string_view needle)
{
    const std::size_t m = needle.size();
    if (m == 0 || m > 2 || from >= s.size()) return m == 0 ? from : std::u16string_view::npos;
    const char16_t a = needle[0];
    const char16_t b = m == 2 ? needle[1] : 0;
    const char16_t* p = s.data();
    const std::size_t n = s.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    // Needs units i .. i+8 (one more for the second unit).
    while (i + 9 <= n) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hit = _mm_cmpeq_epi16(first, va);
        if (m == 2) {
            const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
            hit = _mm_and_si128(hit, _mm_cmpeq_epi16(second, vb));
        }
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
        i += 8;
    }
#endif
    for (; i + m <= n; ++i) {
        if (p[i] == a && (m == 1 || p[i + 1] == b)) return i;
    }
    return std::u16string_view::npos;
}

// A search over a long story goes a chunk at a time and looks at the stop
// request between chunks, so that Stop ends it within a few milliseconds.
constexpr std::size_t kSearchChunk = std::size_t{1} << 20;  // units

// `find(text, from)` gives the first occurrence of an m-unit needle in
// `text` at or after `from`. It is asked chunk by chunk, each time of a
// text cut m - 1 units past the chunk, so an occurrence that begins in the
// chunk is whole in it and the answers are those of one call.
template <class Find>
std::size_t FindInChunks(std::u16string_view s, std::size_t from, std::size_t m, Find&& find)
{
    std::size_t pos = from;
    while (pos < s.size()) {
        const std::size_t end = std::min(s.size(), pos + kSearchChunk + (m > 0 ? m - 1 : 0));
        const std::size_t hit = find(s.substr(0, end), pos);
        if (hit != std::u16string_view::npos || end == s.size()) return hit;
        pos += kSearchChunk;
        platform::ThrowIfStopRequested();
    }
    return std::u16string_view::npos;
}

// What "^w" stands for: spaces and tabs, not paragraph or line ends.
bool IsWhite(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x00A0 || (c > 0x7F && u_charType(c) == U_SPACE_SEPARATOR);
}

// ---- Plain search: caret codes, case folding, whole words --------------------

class PlainMatcher : public FindMatcher {
public:
    PlainMatcher(std::u16string_view findText, bool matchCase, bool wholeWord)
        : m_matchCase(matchCase), m_wholeWord(wholeWord)
    {
        // Literal runs are put in the form the text is compared in: NFC,
        // folded unless case matters. A keyword that holds an optional
        // hyphen or another format character ("^-") is searched in the
        // text that keeps them.
        std::u16string run;
        auto flush = [this, &run] {
            if (HasIgnorableFormat(run)) m_keepFormat = true;
            for (char16_t c : PrepareForMatch(run, !m_matchCase, true)) {
                m_elements.push_back({FindElement::Kind::Literal, c});
            }
            run.clear();
        };
        for (const FindElement& e : ParseFindCodes(findText)) {
            if (e.kind == FindElement::Kind::Literal) {
                run.push_back(e.ch);
            } else {
                flush();
                m_elements.push_back(e);
            }
        }
        flush();
        m_isLiteral = ElementsAsLiteral(m_elements, m_literal);
        // Horspool's shift table, on the low byte of each unit: a shift is
        // never longer than the one for any unit sharing that byte.
        const std::size_t m = m_literal.size();
        m_shift.fill(m == 0 ? 1 : m);
        for (std::size_t i = 0; i + 1 < m; ++i) m_shift[m_literal[i] & 0xFFu] = m - 1 - i;
    }

    bool Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m) override
    {
        if (m_elements.empty()) return false;
        // A search starts at the story's start, and goes on from where its
        // last match ended, in the same kind of positions.
        if (m_isLiteral && !m_literal.empty() && !m_matchCase && doc.SearchesUnfolded(story, m_keepFormat, from == 0)) {
            return NextUnfolded(doc, story, from, m);
        }
        const MatchText& view = doc.View(story, !m_matchCase, m_keepFormat);
        const std::u16string_view s = view.Text();
        std::size_t pos = from;
        // Each round moves `pos` forward, so the loop ends with the text.
        while (pos < s.size()) {
            std::size_t start = 0;
            std::size_t end = 0;
            if (m_isLiteral) {
                start = FindLiteral(s, pos);
                if (start == std::u16string_view::npos) return false;
                end = start + m_literal.size();
            } else {
                start = pos;
                if (m_elements[0].kind == FindElement::Kind::Literal) {
                    const std::u16string_view first(&m_elements[0].ch, 1);
                    start = FindInChunks(
                        s, pos, 1, [first](std::u16string_view t, std::size_t at) { return FindShort(t, at, first); });
                    if (start == std::u16string_view::npos) return false;
                }
                m_stop();
                if (!MatchAt(s, view, start, end)) {
                    pos = start + 1;
                    continue;
                }
            }
            if (Accept(doc, story, view, start, end, m)) return true;
            m_stop();
            pos = start + 1;
        }
        return false;
    }

    // What a presence filter needs: the view compared, and each run of
    // literal units, which a match holds one after the other in it.
    bool Folds() const { return !m_matchCase; }
    bool KeepsFormat() const { return m_keepFormat; }
    std::vector<std::u16string> LiteralRuns() const
    {
        std::vector<std::u16string> runs(1);
        for (const FindElement& e : m_elements) {
            if (e.kind == FindElement::Kind::Literal) {
                runs.back().push_back(e.ch);
            } else if (!runs.back().empty()) {
                runs.emplace_back();
            }
        }
        if (runs.back().empty()) runs.pop_back();
        return runs;
    }

private:
    // A case-blind literal search of a story that folds unit by unit
    // (WordDocument::SearchesUnfolded): the units are folded as they are
    // compared, with no folded copy of the story. A match begins on a unit
    // and takes whole units' foldings, as one in the folded view must begin
    // and end on a character's edge; positions are the story's own.
    bool NextUnfolded(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m)
    {
        const std::u16string_view s = doc.Text(story);
        std::size_t pos = from;
        while (pos < s.size()) {
            std::size_t end = 0;
            const std::size_t start = FindInChunks(s, pos, 1, [this, s, &end](std::u16string_view t, std::size_t at) {
                return FindFoldingIn(s, t.size(), at, end);
            });
            if (start == std::u16string_view::npos) return false;
            if (!m_wholeWord ||
                (doc.Breaks(story).HasBoundaryIn(start, start) && doc.Breaks(story).HasBoundaryIn(end, end))) {
                m.start = start;
                m.end = end;
                m.resume = end;
                return true;
            }
            m_stop();
            pos = start + 1;
        }
        return false;
    }

    // The first start in [from, limit) where the folding of `s` begins with
    // the literal. Eight starts at a time are tested by their first two
    // units: a start is a candidate when its unit is from U+0080 on (its
    // folding may be anything), or it folds to the literal's first unit and
    // the next one is from U+0080 on or folds to the second.
    std::size_t FindFoldingIn(std::u16string_view s, std::size_t limit, std::size_t from, std::size_t& end) const
    {
        const std::size_t m = m_literal.size();
        const char16_t* text = s.data();
        std::size_t pos = from;
#if defined(__SSE2__)
        const __m128i vFirst = _mm_set1_epi16(static_cast<short>(m_literal[0]));
        const __m128i vSecond = _mm_set1_epi16(static_cast<short>(m > 1 ? m_literal[1] : 0));
        const __m128i vAt = _mm_set1_epi16(static_cast<short>(u'A' - 1));
        const __m128i vZ = _mm_set1_epi16(static_cast<short>(u'Z' + 1));
        const __m128i v20 = _mm_set1_epi16(0x20);
        const __m128i v7F = _mm_set1_epi16(0x7F);
        const __m128i zero = _mm_setzero_si128();
        const __m128i ones = _mm_cmpeq_epi16(zero, zero);
        // Units from 0x8000 on compare as negative: never 'A'..'Z', and
        // caught by the unsigned test for U+0080 and above.
        const auto lowered = [&](__m128i v) {
            const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, vAt), _mm_cmplt_epi16(v, vZ));
            return _mm_add_epi16(v, _mm_and_si128(upper, v20));
        };
        const auto wide = [&](__m128i v) {
            return _mm_andnot_si128(_mm_cmpeq_epi16(_mm_subs_epu16(v, v7F), zero), ones);
        };
        // Starts pos .. pos+7 need units up to pos+8 for the second test.
        while (pos + 9 <= limit && pos + 9 <= s.size()) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
            __m128i hit = _mm_cmpeq_epi16(lowered(a), vFirst);
            if (m > 1) {
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos + 1));
                hit = _mm_and_si128(hit, _mm_or_si128(_mm_cmpeq_epi16(lowered(b), vSecond), wide(b)));
            }
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(hit, wide(a))));
            while (mask != 0) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                const std::size_t at = pos + bit / 2;
                if (FoldedStartsWith(s, at, m_literal, end)) return at;
                mask &= ~(3u << bit);
            }
            pos += 8;
        }
#endif
        for (; pos < limit; ++pos) {
            if (FoldedStartsWith(s, pos, m_literal, end)) return pos;
        }
        return std::u16string_view::npos;
    }

    std::size_t FindLiteral(std::u16string_view s, std::size_t from) const
    {
        return FindInChunks(s, from, m_literal.size(),
                            [this](std::u16string_view t, std::size_t at) { return FindLiteralIn(t, at); });
    }

    // A plain search is the searcher's most frequent operation: eight
    // starts are tested at once by their first and last units, and only
    // where both agree is the rest compared; the few starts left at the end
    // go through Horspool's shifts.
    std::size_t FindLiteralIn(std::u16string_view s, std::size_t from) const
    {
        const std::size_t m = m_literal.size();
        if (m <= 2) return FindShort(s, from, m_literal);
        const char16_t last = m_literal[m - 1];
        const char16_t* text = s.data();
        const char16_t* lit = m_literal.data();
        std::size_t pos = from;
#if defined(__SSE2__)
        const __m128i vFirst = _mm_set1_epi16(static_cast<short>(lit[0]));
        const __m128i vLast = _mm_set1_epi16(static_cast<short>(last));
        // Starts pos .. pos+7 need units up to pos+7+m-1.
        while (pos + m + 7 <= s.size()) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos + m - 1));
            unsigned mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, vFirst), _mm_cmpeq_epi16(b, vLast))));
            while (mask != 0) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                const std::size_t at = pos + bit / 2;
                if (std::char_traits<char16_t>::compare(text + at + 1, lit + 1, m - 2) == 0) return at;
                mask &= ~(3u << bit);
            }
            pos += 8;
        }
#endif
        while (pos + m <= s.size()) {
            const char16_t c = text[pos + m - 1];
            if (c == last && std::char_traits<char16_t>::compare(text + pos, lit, m - 1) == 0) return pos;
            pos += m_shift[c & 0xFFu];
        }
        return std::u16string_view::npos;
    }

    bool Accept(WordDocument& doc, std::size_t story, const MatchText& view, std::size_t start, std::size_t end,
                FindMatch& m)
    {
        // Half of a character's folding ("s" of the "ss" of "ß"), or of a
        // letter with its accents, is no match.
        if (!view.IsCharacterEdge(start) || !view.IsCharacterEdge(end)) return false;
        const std::size_t os = view.OriginalStart(start);
        const std::size_t oe = view.OriginalEnd(end);
        if (oe <= os) return false;
        if (m_wholeWord) {
            // A word edge may lie anywhere among the characters left out
            // beside the match ("word" + soft hyphen ends after the hyphen).
            WordBreaks& breaks = doc.Breaks(story);
            if (!breaks.HasBoundaryIn(view.OriginalEnd(start), os) ||
                !breaks.HasBoundaryIn(oe, view.OriginalStart(end))) {
                return false;
            }
        }
        m.start = os;
        m.end = oe;
        m.resume = end;
        return true;
    }

    bool MatchAt(std::u16string_view s, const MatchText& view, std::size_t start, std::size_t& end)
    {
        std::size_t q = start;
        for (const FindElement& e : m_elements) {
            if (q >= s.size()) return false;
            std::size_t len = 1;
            switch (e.kind) {
            case FindElement::Kind::Literal:
                if (s[q] != e.ch) return false;
                ++q;
                break;
            case FindElement::Kind::AnyChar:
                ++q;
                while (q < s.size() && !view.IsCharacterEdge(q)) ++q;
                break;
            case FindElement::Kind::Digit:
                if (!u_isdigit(static_cast<UChar32>(CodePointAt(s, q, len)))) return false;
                q += len;
                break;
            case FindElement::Kind::Letter:
                if (!u_isalpha(static_cast<UChar32>(CodePointAt(s, q, len)))) return false;
                q += len;
                break;
            case FindElement::Kind::WhiteSpace:
                if (!IsWhite(s[q])) return false;
                // A run of spacing may be as long as the story.
                while (q < s.size() && IsWhite(s[q])) {
                    ++q;
                    m_stop();
                }
                break;
            }
        }
        end = q;
        return true;
    }

    bool m_matchCase;
    bool m_wholeWord;
    bool m_keepFormat = false;
    std::vector<FindElement> m_elements;
    bool m_isLiteral = false;
    std::u16string m_literal;
    std::array<std::size_t, 256> m_shift{};
    // For the rounds over candidates that turn out to be no match.
    platform::StopCheck m_stop;
};

// ---- Wildcards ---------------------------------------------------------------

class WildcardMatcher : public FindMatcher {
public:
    explicit WildcardMatcher(std::u16string_view pattern) : m_pattern(pattern) {}

    bool Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m) override
    {
        if (!m_pattern.IsValid()) return false;
        const bool keep = m_pattern.KeepsFormat();
        const MatchText& view = doc.View(story, false, keep);
        const Utf8Story& u = doc.Utf8(story, keep, m_pattern.MarkCopies());
        const int groups = m_pattern.Groups();
        std::vector<re2::StringPiece> sub(static_cast<std::size_t>(groups) + 1);
        const re2::StringPiece text(u.bytes);
        const char* base = u.bytes.data();
        auto offset = [base](const re2::StringPiece& p) { return static_cast<std::size_t>(p.data() - base); };
        // A match must hold a visible character and begin and end on whole
        // characters.
        auto visible = [&](std::size_t bs, std::size_t be) {
            const std::size_t us = u.unitAt[bs];
            const std::size_t ue = u.unitAt[be];
            return ue > us && view.IsCharacterEdge(us) && view.IsCharacterEdge(ue);
        };
        // The regular expression decides every element, word edges
        // included, so a start is retried only where the first match holds
        // nothing visible (a pattern of "*", "<" and "{0}" alone) or splits
        // a character. Such retries are capped by a budget proportional to
        // the text; past it the story counts as not holding the pattern.
        std::size_t budget = u.bytes.size() * 64 + 65536;
        std::size_t pos = from;
        while (pos < u.bytes.size()) {
            // Each round asks the regular expression over the rest of the
            // story, which cannot be interrupted: the stop request is
            // looked at before every one.
            platform::ThrowIfStopRequested();
            if (!m_pattern.Regex()->Match(text, pos, u.bytes.size(), RE2::UNANCHORED, sub.data(), groups + 1)) {
                return false;
            }
            const std::size_t bs = offset(sub[0]);
            std::size_t be = bs + sub[0].size();
            bool ok = visible(bs, be);
            if (!ok) {
                // The longest match from the same start may hold more.
                const RE2* longest = m_pattern.Longest();
                if (longest != nullptr &&
                    longest->Match(text, bs, u.bytes.size(), RE2::ANCHOR_START, sub.data(), groups + 1)) {
                    be = bs + sub[0].size();
                    ok = visible(bs, be);
                }
            }
            if (ok) {
                const std::size_t us = u.unitAt[bs];
                const std::size_t ue = u.unitAt[be];
                m.start = view.OriginalStart(us);
                m.end = view.OriginalEnd(ue);
                m.resume = be;
                m.groups.assign(static_cast<std::size_t>(groups), {});
                m.groupSet.assign(static_cast<std::size_t>(groups), false);
                for (std::size_t k = 0; k < static_cast<std::size_t>(groups); ++k) {
                    const re2::StringPiece& g = sub[k + 1];
                    if (g.data() == nullptr) continue;
                    const std::size_t gs = view.OriginalStart(u.unitAt[offset(g)]);
                    const std::size_t ge = view.OriginalEnd(u.unitAt[offset(g) + g.size()]);
                    m.groups[k] = {gs, std::max(gs, ge)};
                    m.groupSet[k] = true;
                }
                return true;
            }
            const std::size_t cost = be - std::min(be, pos) + 1;
            if (cost >= budget) return false;
            budget -= cost;
            pos = bs + 1;
            while (pos < u.bytes.size() && (static_cast<unsigned char>(u.bytes[pos]) & 0xC0) == 0x80) ++pos;
        }
        return false;
    }

    const WildcardPattern& Pattern() const { return m_pattern; }

private:
    WildcardPattern m_pattern;
};

// ---- The driver ------------------------------------------------------------------

std::u16string BuildReplacement(const std::vector<ReplacePart>& parts, std::u16string_view text, const FindMatch& m,
                                const WildcardMatcher* wildcards)
{
    std::u16string out;
    for (const ReplacePart& p : parts) {
        switch (p.kind) {
        case ReplacePart::Kind::Literal: out += p.text; break;
        case ReplacePart::Kind::FoundText: out += text.substr(m.start, m.end - m.start); break;
        case ReplacePart::Kind::Group: {
            if (wildcards == nullptr) break;
            const int g = p.group;
            if (g <= 0 || g > wildcards->Pattern().Groups() || static_cast<std::size_t>(g) > m.groups.size()) break;
            const std::size_t k = static_cast<std::size_t>(g) - 1;
            if (m.groupSet[k]) out += text.substr(m.groups[k].start, m.groups[k].end - m.groups[k].start);
            break;
        }
        }
    }
    return out;
}

std::uint8_t SwitchBits(const FindOptions& o)
{
    return static_cast<std::uint8_t>((o.matchCase ? 1 : 0) | (o.matchWholeWord ? 2 : 0) | (o.matchWildcards ? 4 : 0) |
                                     (o.matchSoundsLike ? 8 : 0) | (o.matchAllWordForms ? 16 : 0));
}

void LogCall(WordDocument& document, std::u16string_view findText, std::uint8_t switches, ReplaceMode replace,
             std::u16string_view replaceWith)
{
    if (replace == ReplaceMode::None) {
        document.LogFind(findText, switches);
        document.EndCallLog();
        return;
    }
    if (document.LogsCalls()) document.LogCall(findText, switches, replaceWith, static_cast<std::uint8_t>(replace));
}

std::u16string CacheKey(std::u16string_view findText, const FindOptions& o)
{
    std::u16string key;
    key.reserve(findText.size() + 5);
    key.push_back(o.matchCase ? u'C' : u'c');
    key.push_back(o.matchWholeWord ? u'W' : u'w');
    key.push_back(o.matchWildcards ? u'P' : u'p');
    key.push_back(o.matchSoundsLike ? u'S' : u's');
    key.push_back(o.matchAllWordForms ? u'F' : u'f');
    key += findText;
    return key;
}

}  // namespace

// A find text and its switches made ready once: the matcher, and what a
// document may answer from without a scan.
class FindPlan {
public:
    // The switches and the text: what results are remembered under.
    std::u16string key;
    // As asked, for a document's log of replacements (see ReplacementCall).
    std::u16string findText;
    std::uint8_t switches = 0;
    // Null when the search can find nothing (no text, a bad pattern).
    std::unique_ptr<FindMatcher> matcher;
    const WildcardMatcher* wildcards = nullptr;
    // A plain search for a fixed string with case: the only kind whose
    // absence the document remembers across replacements.
    bool isExact = false;
    std::u16string exact;
    // A plain search can ask the story's presence filter first: for the
    // view it compares, the runs a match must hold. Wildcards, sounds like
    // and word forms match what their text does not spell, so they are
    // never filtered.
    bool filtered = false;
    bool fold = false;
    bool keepFormat = false;
    std::vector<std::u16string> runs;
    // The last answers, for the document state (WordDocument::Version)
    // they hold for: a clearing pass is asked a dozen times a keyword of
    // the same unchanged text. 0: none.
    std::uint64_t foundIn = 0;
    bool found = false;
    std::uint64_t nothingReplacedIn[2] = {0, 0};  // [All]
    // What results are remembered under in the document.
    std::u16string nothingKey[2];
};

std::shared_ptr<FindPlan> CompileFind(std::u16string_view findText, const FindOptions& o)
{
    auto plan = std::make_shared<FindPlan>();
    plan->key = CacheKey(findText, o);
    plan->findText = findText;
    plan->switches = SwitchBits(o);
    plan->nothingKey[0] = u"R1" + plan->key;
    plan->nothingKey[1] = u"RA" + plan->key;
    if (findText.empty()) return plan;
    if (o.matchWildcards) {
        auto w = std::make_unique<WildcardMatcher>(findText);
        if (!w->Pattern().IsValid()) return plan;
        plan->wildcards = w.get();
        plan->matcher = std::move(w);
        return plan;
    }
    if (o.matchAllWordForms || o.matchSoundsLike) {
        auto w = std::make_unique<WordSequenceMatcher>(findText, o.matchAllWordForms
                                                                     ? WordSequenceMatcher::Mode::WordForms
                                                                     : WordSequenceMatcher::Mode::SoundsLike);
        // A keyword without words (spacing, punctuation) is searched as it stands.
        if (w->HasWords()) {
            plan->matcher = std::move(w);
            return plan;
        }
    }
    auto plain = std::make_unique<PlainMatcher>(findText, o.matchCase, o.matchWholeWord);
    if (o.matchCase && !o.matchWholeWord) {
        plan->isExact = ElementsAsLiteral(ParseFindCodes(findText), plan->exact) && !plan->exact.empty();
    }
    plan->filtered = true;
    plan->fold = plain->Folds();
    plan->keepFormat = plain->KeepsFormat();
    plan->runs = plain->LiteralRuns();
    plan->matcher = std::move(plain);
    return plan;
}

namespace {

// Whether a story may hold a match of the plan, by its presence filter.
bool MayHold(WordDocument& document, const FindPlan& plan, std::size_t story)
{
    return !plan.filtered || document.MayContain(story, plan.fold, plan.keepFormat, plan.runs);
}

// The occurrences of a plan, story by story in search order, up to `limit`
// of them (at least one is looked for). Both the yes/no answer of Execute
// and the places of a match report come from here.
std::vector<FoundRange> Walk(WordDocument& document, const FindPlan& plan, std::size_t limit)
{
    std::vector<FoundRange> found;
    limit = std::max<std::size_t>(limit, 1);
    platform::StopCheck stop;
    for (std::size_t s = 0; s < document.StoryCount() && found.size() < limit; ++s) {
        platform::ThrowIfStopRequested();
        if (!MayHold(document, plan, s)) continue;
        const std::size_t length = document.Text(s).size();
        std::size_t from = 0;
        FindMatch m;
        // Each round must move on (a matcher's resume point grows), so the
        // loop ends with the story.
        while (found.size() < limit && plan.matcher->Next(document, s, from, m)) {
            if (m.end > length || m.start > m.end) break;
            found.push_back({s, m.start, m.end});
            if (m.resume <= from) break;
            from = m.resume;
            stop();
        }
    }
    return found;
}

}  // namespace

std::vector<FoundRange> FindOccurrences(WordDocument& document, const FindRequest& request, std::size_t limit)
{
    platform::ThrowIfStopRequested();
    const auto plan = CompileFind(request.findText, request.options);
    if (!plan->matcher || (plan->isExact && document.IsKnownAbsent(plan->exact))) return {};
    return Walk(document, *plan, limit);
}

namespace {
bool RunPlan(WordDocument& document, FindPlan& plan, ReplaceMode replace, std::u16string_view replaceWith,
             bool tableOfResults);
}  // namespace

FindOptions OptionsOf(std::uint8_t switches)
{
    FindOptions o;
    o.matchCase = (switches & 1) != 0;
    o.matchWholeWord = (switches & 2) != 0;
    o.matchWildcards = (switches & 4) != 0;
    o.matchSoundsLike = (switches & 8) != 0;
    o.matchAllWordForms = (switches & 16) != 0;
    return o;
}

bool ExecuteFind(WordDocument& document, const FindRequest& request)
{
    platform::ThrowIfStopRequested();
    LogCall(document, request.findText, SwitchBits(request.options), request.replace, request.replaceWith);
    // An exact text the document knows to be absent needs no matcher.
    const FindOptions& o = request.options;
    if (o.matchCase && !o.matchWholeWord && !o.matchWildcards && !o.matchSoundsLike && !o.matchAllWordForms &&
        document.Shortcuts()) {
        std::u16string exact;
        if (ElementsAsLiteral(ParseFindCodes(request.findText), exact) && !exact.empty() &&
            document.IsKnownAbsent(exact)) {
            return false;
        }
    }
    const auto plan = CompileFind(request.findText, request.options);
    return RunPlan(document, *plan, request.replace, request.replaceWith, true);
}

bool ExecuteFind(WordDocument& document, FindPlan& plan, ReplaceMode replace, std::u16string_view replaceWith)
{
    // A plan kept across calls remembers its own last answers: the
    // document's table of results would only repeat them.
    LogCall(document, plan.findText, plan.switches, replace, replaceWith);
    return RunPlan(document, plan, replace, replaceWith, false);
}

bool FindsAny(WordDocument& document, FindPlan& plan)
{
    return RunPlan(document, plan, ReplaceMode::None, {}, false);
}

namespace {

// `tableOfResults`: answers are also looked up and kept in the document's
// table of results, for plans made for one call.
bool RunPlan(WordDocument& document, FindPlan& plan, ReplaceMode replace, std::u16string_view replaceWith,
             bool tableOfResults)
{
    platform::ThrowIfStopRequested();
    if (!plan.matcher) return false;
    FindMatcher& matcher = *plan.matcher;
    const WildcardMatcher* wildcards = plan.wildcards;
    const bool isExact = plan.isExact;
    const std::u16string& exact = plan.exact;
    const bool shortcuts = document.Shortcuts();
    const std::uint64_t version = document.Version();
    const std::size_t mode = replace == ReplaceMode::All ? 1 : 0;
    const std::u16string& noneKey = plan.nothingKey[mode];
    bool ahead = false;
    if (replace != ReplaceMode::None && shortcuts && document.HasPrepared() &&
        document.TakePrepared(plan.findText, plan.switches, replaceWith, static_cast<std::uint8_t>(replace), ahead)) {
        // Worked out ahead on a copy; what follows a replacement that
        // changed nothing is kept as below.
        if (!ahead) {
            if (isExact) document.RememberAbsent(exact);
            if (tableOfResults) document.CacheResult(noneKey, false);
            plan.nothingReplacedIn[mode] = version;
        }
        return ahead;
    }
    if (shortcuts) {
        if (replace == ReplaceMode::None && plan.foundIn == version) return plan.found;
        if (replace != ReplaceMode::None && plan.nothingReplacedIn[mode] == version) return false;
    }
    if (isExact && document.IsKnownAbsent(exact)) return false;

    if (replace == ReplaceMode::None) {
        bool cached = false;
        if (tableOfResults && document.CachedResult(plan.key, cached)) return cached;
        // Worked out ahead on this very text by another thread.
        if (shortcuts && document.AnswerAhead(plan.findText, plan.switches, cached)) {
            plan.foundIn = version;
            plan.found = cached;
            return cached;
        }
        const bool found = !Walk(document, plan, 1).empty();
        if (!found && isExact) document.RememberAbsent(exact);
        if (tableOfResults) document.CacheResult(plan.key, found);
        plan.foundIn = version;
        plan.found = found;
        return found;
    }

    // A replacement that found nothing changed nothing: until the text
    // changes, the same one finds nothing again (a clearing pass repeated
    // before every keyword).
    bool cachedNone = false;
    if (tableOfResults && document.CachedResult(noneKey, cachedNone)) return false;

    const std::vector<ReplacePart> parts = ParseReplaceCodes(replaceWith, wildcards != nullptr);
    std::vector<std::pair<std::size_t, std::u16string>> changes;
    bool any = false;
    // A stop in the middle leaves the document as it was: the changes are
    // applied only after the last story.
    platform::StopCheck stop;
    for (std::size_t s = 0; s < document.StoryCount(); ++s) {
        platform::ThrowIfStopRequested();
        if (!MayHold(document, plan, s)) continue;
        const std::u16string_view text = document.Text(s);
        std::u16string out;
        std::size_t copied = 0;
        std::size_t from = 0;
        bool changed = false;
        FindMatch m;
        while (matcher.Next(document, s, from, m)) {
            if (m.start < copied || m.end > text.size() || (changed && m.resume <= from)) break;
            stop();
            // The clearing passes shorten the text: room for all of it
            // saves growing the copy step by step.
            if (!changed) out.reserve(text.size());
            out.append(text.substr(copied, m.start - copied));
            out += BuildReplacement(parts, text, m, wildcards);
            copied = m.end;
            changed = true;
            from = m.resume;
            if (replace == ReplaceMode::One) break;
        }
        if (changed) {
            out.append(text.substr(copied));
            changes.emplace_back(s, std::move(out));
            any = true;
            if (replace == ReplaceMode::One) break;
        }
    }
    if (!any) {
        if (isExact) document.RememberAbsent(exact);
        if (tableOfResults) document.CacheResult(noneKey, false);
        plan.nothingReplacedIn[mode] = version;
        return false;
    }
    // What the replacement inserted, when it is a fixed text.
    const bool fixed = std::all_of(parts.begin(), parts.end(),
                                   [](const ReplacePart& p) { return p.kind == ReplacePart::Kind::Literal; });
    std::u16string inserted;
    if (fixed) {
        for (const ReplacePart& p : parts) inserted += p.text;
    }
    const bool all = replace == ReplaceMode::All;
    if (fixed) {
        document.ApplyReplacement(std::move(changes),
                                  isExact && all ? std::u16string_view(exact) : std::u16string_view(), inserted);
    } else {
        document.ApplyReplacement(std::move(changes), {}, {});
    }
    return true;
}

}  // namespace

}  // namespace office
