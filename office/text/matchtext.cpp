// The canonical text Find compares, with its map to the original (see
// matchtext.h).
#include "office/text/matchtext.h"

#include "office/text/casefold.h"
#include "office/text/hugepages.h"
#include "office/text/plainnormalbits.h"
#include "office/text/unitfolds.h"
#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

// Marks a run of the map whose units came one for one (see matchtext.h).
constexpr std::uint32_t kLinearBit = 0x80000000u;

// Every character below U+0300 is NFC and has a normalisation boundary
// before it (held to ICU's tables by the tests): most text never needs
// ICU's normaliser.
constexpr char16_t kFirstCombining = 0x0300;

// The first unit in [from, to) that is `except` or not below `limit`
// (`limit` > 0). The scans below see every unit of a text: eight units are
// looked at in one vector step (the release build's -O2 does not vectorise
// the plain loop), the rest one by one.
std::size_t SkipBelow(std::u16string_view text, std::size_t from, std::size_t to, char16_t limit, char16_t except)
{
    const char16_t* p = text.data();
#if defined(__SSE2__)
    // A unit is at least `limit` exactly when subtracting limit - 1 with
    // saturation leaves more than zero.
    const __m128i vBelow = _mm_set1_epi16(static_cast<short>(limit - 1));
    const __m128i vExcept = _mm_set1_epi16(static_cast<short>(except));
    const __m128i zero = _mm_setzero_si128();
    while (to - from >= 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
        const __m128i below = _mm_cmpeq_epi16(_mm_subs_epu16(v, vBelow), zero);
        const __m128i hit =
            _mm_or_si128(_mm_andnot_si128(below, _mm_cmpeq_epi16(zero, zero)), _mm_cmpeq_epi16(v, vExcept));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
        from += 8;
    }
#endif
    while (from < to && p[from] < limit && p[from] != except) ++from;
    return from;
}

bool IsPairTrail(std::u16string_view text, std::size_t i)
{
    return i > 0 && U16_IS_TRAIL(text[i]) && U16_IS_LEAD(text[i - 1]);
}

// Characters normalised as one piece at most. Real text never combines more
// than a few marks with a letter (Unicode's stream-safe form allows 30); a
// longer run of marks is normalised in pieces of this size, so no crafted
// run makes ICU's reordering cost more than a constant per character.
constexpr std::size_t kMaxPiece = 32;

// ASCII units copied in one step between two looks at the stop request.
constexpr std::size_t kAsciiStep = 16384;

const UNormalizer2* Nfc()
{
    static const UNormalizer2* const instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2* n = unorm2_getNFCInstance(&status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return instance;
}

// Word's optional hyphen and the format characters of the Basic
// Multilingual Plane, a bit each, taken from ICU once: the readers ask about
// every character of a text.
class BmpFormatBits {
public:
    BmpFormatBits()
    {
        for (UChar32 c = 0; c < 0x10000; ++c) {
            if (c == 0x1F || u_charType(c) == U_FORMAT_CHAR)
                m_bits[static_cast<std::size_t>(c >> 6)] |= std::uint64_t{1} << (c & 63);
        }
    }
    bool Has(char16_t c) const { return ((m_bits[c >> 6] >> (c & 63)) & 1u) != 0; }

private:
    std::array<std::uint64_t, 0x10000 / 64> m_bits{};
};

const BmpFormatBits& FormatBits()
{
    static const BmpFormatBits bits;
    return bits;
}

// The first unit in [from, to) for which `stops` holds, where no unit
// below `limit` but `except` may. A vector scan passes over such units
// (Latin), and a unit from `limit` on alone between them (an accented
// letter) is looked at by itself. Text of another script is tested sixteen
// units at a time, the spaces and stops between words with them: a vector
// step would stop at each word, and a test per unit mispredicts at each.
// Sixteen units with fewer than four from `limit` on go back to the vector
// scan. `mayStop`, the test of the sixteen, holds whenever `stops` does;
// only the units it names are asked `stops`. `belowOnly`, when given, is
// told whether every unit passed over is below `limit`.
template <class MayStop, class Stops>
std::size_t SkipBlocks(std::u16string_view text, std::size_t from, std::size_t to, char16_t limit, char16_t except,
                       const MayStop& mayStop, const Stops& stops, bool* belowOnly = nullptr)
{
    const char16_t* p = text.data();
    bool below = true;
    const auto end = [&](std::size_t at) {
        if (belowOnly != nullptr) *belowOnly = below;
        return at;
    };
    while (from < to) {
        from = SkipBelow(text, from, to, limit, except);
        if (to - from >= 2 && p[from + 1] < limit) {
            if (stops(p[from])) return end(from);
            below = below && p[from] < limit;
            ++from;
            continue;
        }
        for (;;) {
            if (to - from < 16) {
                for (; from < to && !stops(p[from]); ++from) below = below && p[from] < limit;
                return end(from);
            }
            unsigned candidates = 0;
            unsigned far = 0;
            for (unsigned k = 0; k < 16; ++k) {
                const char16_t c = p[from + k];
                candidates |= static_cast<unsigned>(mayStop(c)) << k;
                far += static_cast<unsigned>(c >= limit);
            }
            for (; candidates != 0; candidates &= candidates - 1) {
                const std::size_t at = from + static_cast<std::size_t>(__builtin_ctz(candidates));
                if (stops(p[at])) {
                    for (; from < at; ++from) below = below && p[from] < limit;
                    return end(at);
                }
            }
            below = below && far == 0;
            from += 16;
            if (far < 4) break;
        }
    }
    return end(from);
}

// The first unit in [from, to) that is `except`, or at which a character
// that is not IsPlainNormalCharacter starts, every unit below `limit`
// (<= U+0300) but `except` counting as one.
std::size_t SkipPlain(std::u16string_view text, std::size_t from, std::size_t to, char16_t limit, char16_t except)
{
    PlainNormalBits& bits = PlainNormalBits::Instance();
    // (0x1F and the soft hyphen, below U+0300 but not plain normal, count
    // only as `except`.)
    const auto counts = [limit, except](char16_t c) { return (c >= limit) | (c == except); };
    return SkipBlocks(
        text, from, to, limit, except, [&](char16_t c) { return !bits.MaybeHas(c) && counts(c); },
        [&](char16_t c) { return !bits.Has(c) && counts(c); });
}

// Units ICU checks in one call: a whole story of hundreds of megabytes
// would take a quarter of a second, with no look at the stop request.
constexpr std::size_t kQuickCheckChunk = std::size_t{1} << 20;

// Whether nothing composes or reorders across a cut before unit `at`.
bool BoundaryBefore(const UNormalizer2* nfc, std::u16string_view text, std::size_t at)
{
    if (U16_IS_TRAIL(text[at]) && U16_IS_LEAD(text[at - 1])) return false;  // inside a pair
    std::size_t len = 1;
    return unorm2_hasBoundaryBefore(nfc, static_cast<UChar32>(CodePointAt(text, at, len))) != 0;
}

// The longest prefix that is NFC already, ending on a normalisation
// boundary. A long text is checked a chunk at a time, each cut where a
// character has a boundary before it, so the answer is that of one call
// over the whole text.
std::size_t NfcPrefix(std::u16string_view text)
{
    const UNormalizer2* nfc = Nfc();
    if (nfc == nullptr) return text.size();  // no normaliser: the text is taken as it stands
    PlainNormalBits& bits = PlainNormalBits::Instance();
    const auto plain = [&bits](char16_t c) { return c < kFirstCombining || bits.Has(c); };
    const std::size_t size = text.size();
    platform::StopCheck stop(64);
    std::size_t done = 0;
    while (done < size) {
        // ICU is asked only about the stretches of characters that are not
        // plain normal, each with the character before it, with which a
        // mark may compose. A plain normal character (every one below
        // U+0300 is) has a boundary before it: a stretch ends there.
        const std::size_t reach = std::min(size, done + kQuickCheckChunk);
        const std::size_t from = SkipPlain(text, done, reach, kFirstCombining, kFirstCombining);
        if (from == size) return size;
        if (from == reach) {
            // A chunk of plain text: on from its last character, which a
            // mark after the chunk may compose with.
            platform::ThrowIfStopRequested();
            done = reach - 1;
            continue;
        }
        if (from > done) done = from - 1;
        std::size_t end = from;
        while (end < size && !plain(text[end]) && end - done < kQuickCheckChunk) ++end;
        if (end < size && !plain(text[end])) {
            // A longer stretch is cut in the second half of the chunk where
            // a character has a boundary before it; one without (a megabyte
            // of combining marks) goes whole.
            std::size_t cut = end;
            const std::size_t lowest = done + kQuickCheckChunk / 2;
            while (cut > lowest && !BoundaryBefore(nfc, text, cut)) --cut;
            end = cut > lowest ? cut : size;
        }
        const std::size_t take = end - done;
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = unorm2_spanQuickCheckYes(nfc, reinterpret_cast<const UChar*>(text.data() + done),
                                                   static_cast<int32_t>(take), &status);
        if (U_FAILURE(status) || n < 0) return size;
        done += static_cast<std::size_t>(n);
        if (static_cast<std::size_t>(n) < take) return done;
        if (take >= kQuickCheckChunk / 2) {
            platform::ThrowIfStopRequested();
        } else {
            stop();
        }
    }
    return size;
}

}  // namespace

bool IsIgnorableFormat(char32_t c)
{
    if (c < 0x10000) return FormatBits().Has(static_cast<char16_t>(c));
    return u_charType(static_cast<UChar32>(c)) == U_FORMAT_CHAR;
}

bool IsPlainNormalCharacter(char32_t c)
{
    if (c >= 0x10000) return false;
    return PlainNormalBits::Instance().Has(static_cast<char16_t>(c));
}

std::size_t PlainNormalPrefix(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t reach = std::min(text.size(), i + kQuickCheckChunk);
        // Nothing below the soft hyphen is left out of a compared text but 0x1F.
        i = SkipPlain(text, i, reach, 0xAD, 0x1F);
        if (i < reach) return i;
        if (i < text.size()) platform::ThrowIfStopRequested();
    }
    return text.size();
}

bool HasIgnorableFormat(std::u16string_view text)
{
    const BmpFormatBits& bits = FormatBits();
    // Nothing below the soft hyphen is a format character but 0x1F; a
    // surrogate is looked at as the character it starts.
    const auto stops = [&bits](char16_t c) { return bits.Has(c) || U16_IS_SURROGATE(c); };
    for (std::size_t i = 0; i < text.size();) {
        if (i > 0) platform::ThrowIfStopRequested();
        const std::size_t end = std::min(text.size(), i + kQuickCheckChunk);
        while ((i = SkipBlocks(text, i, end, 0xAD, 0x1F, stops, stops)) < end) {
            if (!U16_IS_SURROGATE(text[i])) return true;
            std::size_t len = 1;
            if (IsIgnorableFormat(CodePointAt(text, i, len))) return true;
            i += len;
        }
    }
    return false;
}

bool FoldsUnitByUnit(std::u16string_view text, bool keepFormat, std::size_t maxWide)
{
    // The cheap test first: a text of another script stops it early.
    std::size_t wide = 0;
    platform::StopCheck stop(64);
    for (std::size_t i = 0; i < text.size();) {
        stop();
        i = SkipBelow(text, i, std::min(text.size(), i + kAsciiStep), 0x80, 0x80);
        if (i >= text.size()) break;
        if (text[i] >= 0x80 && (++wide > maxWide || U16_IS_SURROGATE(text[i]))) return false;
        ++i;
    }
    if (NfcPrefix(text) < text.size()) return false;
    return keepFormat || !HasIgnorableFormat(text);
}

bool FoldedStartsWith(std::u16string_view text, std::size_t at, std::u16string_view folded, std::size_t& end)
{
    UnitFolds* folds = nullptr;
    std::u16string longer;
    std::size_t k = 0;
    std::size_t q = at;
    while (k < folded.size()) {
        if (q >= text.size()) return false;
        const char16_t c = text[q++];
        if (c < 0x80) {
            if (static_cast<char16_t>(c + (static_cast<char16_t>(c - u'A') < 26 ? 0x20 : 0)) != folded[k]) return false;
            ++k;
            continue;
        }
        if (folds == nullptr) folds = &UnitFolds::Instance();
        if (folds->FoldsToOne(c)) {
            if (folds->FoldOfOne(c) != folded[k]) return false;
            ++k;
            continue;
        }
        longer.clear();
        AppendFullCaseFold(std::u16string_view(&c, 1), longer);
        if (longer.size() > folded.size() - k || folded.compare(k, longer.size(), longer) != 0) return false;
        k += longer.size();
    }
    end = q;
    return true;
}

bool NeedsNormalizing(std::u16string_view text, bool keepFormat)
{
    if (NfcPrefix(text) < text.size()) return true;
    return !keepFormat && HasIgnorableFormat(text);
}

// Builds the compared text, and the map to the original when asked for.
class MatchTextBuilder {
public:
    MatchTextBuilder(bool fold, bool keepFormat, std::u16string& out, MatchText* map)
        : m_fold(fold), m_keep(keepFormat), m_out(out), m_map(map)
    {
    }

    // `knownNfc`: the text is known to be NFC as a whole. Returns whether it
    // was (known or found so).
    bool Run(std::u16string_view text, bool knownNfc = false)
    {
        bool whole = knownNfc || text.empty();
        if (text.size() >= kLinearBit) throw std::length_error("text too long to search");
        // Folding and composing change the length of few characters; room
        // for a few more spares a long text a move to a buffer twice its
        // size (the old and the new one held at once). Room never written
        // costs address space only.
        ReserveLarge(m_out, m_out.size() + text.size() + text.size() / 32 + 16);
        // Until the first piece that changes length (or a character left
        // out), unit k of the output comes from unit k of the original and
        // no map is kept; most text never leaves that state.
        if (m_map != nullptr) m_map->m_linear = true;
        if (whole && !m_fold && !m_keep) {
            Strip(text);
            return true;
        }
        std::size_t i = 0;
        while (i < text.size()) {
            // The longest stretch that is NFC already goes character by
            // character; it ends on a normalisation boundary.
            const std::size_t plain = whole ? text.size() : i + NfcPrefix(text.substr(i));
            if (i == 0 && plain == text.size()) whole = true;
            while (i < plain) {
                m_stop();
                // Most text is ASCII, with a letter of another alphabet
                // here and there, or words of another script: a run of
                // units that each stay one unit is copied (or folded) in
                // one go, one piece a unit; a long run in steps, so that
                // Stop is still looked for.
                bool ascii = true;
                const std::size_t run = OneForOneRun(text, i, std::min(plain, i + kAsciiStep), ascii);
                if (run > i) {
                    OneForOne(i, text.substr(i, run - i), ascii);
                    LookAfterRun(run - i);
                    i = run;
                    continue;
                }
                std::size_t len = 1;
                const char32_t c = CodePointAt(text, i, len);
                if (!m_keep && IsIgnorableFormat(c)) {
                    Gap(i);
                } else {
                    Piece(i, text.substr(i, len));
                }
                i += len;
            }
            if (i >= text.size()) break;
            // A piece that normalisation may change: a character and the
            // marks that combine with it, up to the next boundary.
            const std::size_t start = i;
            std::size_t len = 1;
            CodePointAt(text, i, len);
            i += len;
            const UNormalizer2* nfc = Nfc();
            for (std::size_t count = 1; i < text.size() && count < kMaxPiece; ++count) {
                const char32_t c = CodePointAt(text, i, len);
                if (unorm2_hasBoundaryBefore(nfc, static_cast<UChar32>(c))) break;
                i += len;
            }
            Normalized(start, text.substr(start, i - start));
            m_stop();
        }
        return whole;
    }

private:
    // An NFC text unfolded: the text less the characters left out, taken
    // a stretch between two of them at a time (a clearing pass makes this
    // again for a story that holds some).
    void Strip(std::u16string_view text)
    {
        const BmpFormatBits& format = FormatBits();
        std::size_t i = 0;
        while (i < text.size()) {
            // Up to the next character left out, within a step (a pair
            // at its end is taken whole).
            const std::size_t limit = std::min(text.size(), i + kAsciiStep);
            std::size_t j = i;
            std::size_t length = 0;
            while (j < limit) {
                const char16_t c = text[j];
                // One unit at a time: text of another script than Latin
                // would stop a vector scan at every unit.
                if (c < 0xAD) {
                    if (c == 0x1F) {
                        length = 1;
                        break;
                    }
                    ++j;
                    continue;
                }
                if (!U16_IS_SURROGATE(c)) {
                    if (format.Has(c)) {
                        length = 1;
                        break;
                    }
                    ++j;
                    continue;
                }
                std::size_t len = 1;
                if (IsIgnorableFormat(CodePointAt(text, j, len))) {
                    length = len;
                    break;
                }
                j += len;
            }
            if (j > i) {
                const std::size_t before = m_out.size();
                m_out.append(text.substr(i, j - i));
                if (m_map != nullptr && !(m_map->m_linear && before == i)) Linear(before, i);
            }
            if (length != 0) Gap(j);
            LookAfterRun(j - i);
            m_stop();
            i = j + length;
        }
    }

    // A look at the stop request after a long run; short ones (words
    // between spaces of another script) are counted with the characters,
    // as a look costs more than copying a short run.
    void LookAfterRun(std::size_t length)
    {
        if (length >= kLongRun) platform::ThrowIfStopRequested();
    }
    static constexpr std::size_t kLongRun = 1024;

    // Leaves the state where no map is kept: units [0, end) came unit for
    // unit, which one run says.
    void EndLinear(std::size_t end)
    {
        if (m_map == nullptr || !m_map->m_linear) return;
        m_map->m_linear = false;
        if (end > 0) m_map->m_runs.push_back({0, kLinearBit});
    }

    // Units [before, ...) came one for one from the original at `at`: the
    // run before goes on when it is one for one and reaches just there.
    void Linear(std::size_t before, std::size_t at)
    {
        EndLinear(before);
        auto& runs = m_map->m_runs;
        if (!runs.empty() && (runs.back().origin & kLinearBit) != 0 &&
            (runs.back().origin & ~kLinearBit) + (before - runs.back().unit) == at) {
            return;
        }
        runs.push_back({static_cast<std::uint32_t>(before), static_cast<std::uint32_t>(at) | kLinearBit});
    }

    void Gap(std::size_t at)
    {
        if (m_map == nullptr) return;
        EndLinear(m_out.size());
        auto& gaps = m_map->m_gaps;
        const auto position = static_cast<std::uint32_t>(m_out.size());
        if (gaps.empty() || gaps.back().first != position) gaps.emplace_back(position, static_cast<std::uint32_t>(at));
    }

    // The end of the run from `from` of units that each stay one unit:
    // ASCII but 0x1F, and units from U+0080 on that are no surrogate, are
    // not left out and (when folding) fold to one unit. The spaces and
    // stops between words of another script go with them, so that such a
    // text is not taken a word at a time. `ascii` tells whether the run is
    // all ASCII.
    std::size_t OneForOneRun(std::u16string_view text, std::size_t from, std::size_t to, bool& ascii) const
    {
        const BmpFormatBits& format = FormatBits();
        UnitFolds* folds = m_fold ? &UnitFolds::Instance() : nullptr;
        const bool dropFormat = !m_keep;
        const auto ends = [&](char16_t c) {
            return c == 0x1F || U16_IS_SURROGATE(c) || (dropFormat && format.Has(c)) ||
                   (folds != nullptr && !folds->FoldsToOne(c));
        };
        // (Bits rather than tests that branch.)
        const auto mayEnd = [&](char16_t c) {
            return (static_cast<unsigned>(c == 0x1F) | static_cast<unsigned>(U16_IS_SURROGATE(c)) |
                    (static_cast<unsigned>(dropFormat) & static_cast<unsigned>(format.Has(c))) |
                    static_cast<unsigned>(folds != nullptr && !folds->MaybeFoldsToOne(c))) != 0;
        };
        return SkipBlocks(text, from, to, 0x80, 0x1F, mayEnd, ends, &ascii);
    }

    // Appends such a run.
    void OneForOne(std::size_t at, std::u16string_view run, bool ascii)
    {
        const std::size_t before = m_out.size();
        m_out.append(run);
        if (m_fold) FoldInPlace(m_out.data() + before, run.size(), ascii);
        if (m_map == nullptr || (m_map->m_linear && before == at)) return;
        Linear(before, at);
    }

    // Folds units that each fold to one unit, ASCII or found so by
    // OneForOneRun on this thread: eight at a time where all eight are ASCII
    // ('A'..'Z' gain 0x20), else each from the table. A run known to be
    // all ASCII is not looked at for other units.
    static void FoldInPlace(char16_t* p, std::size_t n, bool ascii)
    {
        UnitFolds& folds = UnitFolds::Instance();
        folds.FoldsToOne(u'A');  // the ASCII block of the table is ready
        std::size_t k = 0;
#if defined(__SSE2__)
        const __m128i vA = _mm_set1_epi16(static_cast<short>(u'A' - 1));
        const __m128i vZ = _mm_set1_epi16(static_cast<short>(u'Z' + 1));
        const __m128i v20 = _mm_set1_epi16(0x20);
        // ASCII units only: signed compares are safe.
        const auto lower = [&](__m128i v) {
            const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, vA), _mm_cmplt_epi16(v, vZ));
            return _mm_add_epi16(v, _mm_and_si128(upper, v20));
        };
        if (ascii) {
            for (; n - k >= 8; k += 8) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), lower(v));
            }
        } else {
            const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
            const __m128i zero = _mm_setzero_si128();
            for (; n - k >= 8; k += 8) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
                if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero)) != 0xFFFF) {
                    for (std::size_t u = k; u < k + 8; ++u) p[u] = folds.FoldOfOne(p[u]);
                    continue;
                }
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), lower(v));
            }
        }
#endif
        for (; k < n; ++k) p[k] = folds.FoldOfOne(p[k]);
    }

    // Appends one character of the original (folded when asked for).
    void Piece(std::size_t at, std::u16string_view units)
    {
        const std::size_t before = m_out.size();
        if (m_fold) {
            AppendFullCaseFold(units, m_out);
        } else {
            m_out.append(units);
        }
        // Unit for unit still when a unit became a unit, or a pair a pair.
        const std::size_t made = m_out.size() - before;
        const bool same = made == units.size() && (made == 1 || U16_IS_LEAD(m_out[before]));
        if (m_map == nullptr || (m_map->m_linear && before == at && same)) return;
        if (same) {
            Linear(before, at);
        } else {
            Mark(before, at);
        }
    }

    void Normalized(std::size_t at, std::u16string_view piece)
    {
        std::u16string kept;
        for (std::size_t k = 0; k < piece.size();) {
            std::size_t len = 1;
            const char32_t c = CodePointAt(piece, k, len);
            if (m_keep || !IsIgnorableFormat(c)) kept.append(piece.substr(k, len));
            k += len;
        }
        if (kept.empty()) {
            Gap(at);
            return;
        }
        // NFC of a bounded piece: at most a few times its length.
        std::u16string nfc(kept.size() * 4 + 8, u'\0');
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = unorm2_normalize(Nfc(), reinterpret_cast<const UChar*>(kept.data()),
                                           static_cast<int32_t>(kept.size()), reinterpret_cast<UChar*>(nfc.data()),
                                           static_cast<int32_t>(nfc.size()), &status);
        if (U_FAILURE(status) || n < 0) {
            nfc = kept;  // taken as it stands rather than lost
        } else {
            nfc.resize(static_cast<std::size_t>(n));
        }
        const std::size_t before = m_out.size();
        if (m_fold) {
            AppendFullCaseFold(nfc, m_out);
        } else {
            m_out += nfc;
        }
        Mark(before, at);
    }

    // Units [before, end) came from the character (or piece) at `at`.
    void Mark(std::size_t before, std::size_t at)
    {
        if (m_map == nullptr || m_out.size() == before) return;
        EndLinear(before);
        m_map->m_runs.push_back({static_cast<std::uint32_t>(before), static_cast<std::uint32_t>(at)});
    }

    bool m_fold;
    bool m_keep;
    std::u16string& m_out;
    MatchText* m_map;
    platform::StopCheck m_stop;
};

std::u16string PrepareForMatch(std::u16string_view text, bool fold, bool keepFormat)
{
    std::u16string out;
    if (!fold && !NeedsNormalizing(text, keepFormat)) return std::u16string(text);
    MatchTextBuilder(fold, keepFormat, out, nullptr).Run(text);
    return out;
}

MatchText::MatchText(std::u16string_view original, bool fold, bool keepFormat, KnownForm known)
    : m_original(original), m_nfc(known != KnownForm::Unknown)
{
    if (!fold) {
        // A text known to be NFC that held characters left out is copied
        // without them without a look for them first (a clearing pass may
        // have taken the last away, when the copy is dropped).
        const bool look = known == KnownForm::Unknown;
        // Most text holds only characters that keep it NFC and that
        // compared texts keep: one look at each says so. Otherwise only
        // the rest, from the plain character before the first other one
        // (which a mark may compose with) on, is looked at again: plain
        // characters have a boundary before them and are no format
        // characters.
        std::size_t plain = 0;
        if (look) {
            plain = PlainNormalPrefix(original);
            if (plain == original.size()) {
                m_nfc = true;
                m_identity = true;
                return;
            }
        }
        const std::u16string_view rest = original.substr(plain > 0 ? plain - 1 : 0);
        if (!m_nfc) m_nfc = NfcPrefix(rest) == rest.size();
        if (known == KnownForm::Normal || (m_nfc && (keepFormat || (look && !HasIgnorableFormat(rest))))) {
            m_identity = true;
            return;
        }
    }
    m_nfc = MatchTextBuilder(fold, keepFormat, m_text, this).Run(original, m_nfc);
    if (!fold && m_linear && m_text.size() == original.size()) {
        m_identity = true;
        m_linear = false;
        m_text = std::u16string();
    }
}

const MatchText::Run& MatchText::RunAt(std::size_t i) const
{
    const auto after =
        std::upper_bound(m_runs.begin(), m_runs.end(), i, [](std::size_t unit, const Run& r) { return unit < r.unit; });
    return *(after - 1);
}

std::size_t MatchText::OriginalStart(std::size_t i) const
{
    if (m_identity || m_linear) return std::min(i, m_original.size());
    if (i >= m_text.size()) return m_original.size();
    const Run& run = RunAt(i);
    const std::size_t origin = run.origin & ~kLinearBit;
    if ((run.origin & kLinearBit) == 0) return origin;
    // The second unit of a pair belongs to the character the first begins.
    const std::size_t at = origin + (i - run.unit);
    return i > run.unit && IsPairTrail(m_text, i) ? at - 1 : at;
}

std::size_t MatchText::OriginalEnd(std::size_t i) const
{
    if (m_identity || m_linear) return std::min(i, m_original.size());
    // The end of a range is where the next piece starts, less the
    // characters left out before it.
    std::size_t k = i;
    if (k < m_text.size() && !IsCharacterEdge(k)) {
        const Run& run = RunAt(k);
        if ((run.origin & kLinearBit) != 0) {
            k = k + 1;  // past the second unit of a pair
        } else {
            const auto next = &run + 1;
            k = next != m_runs.data() + m_runs.size() ? next->unit : m_text.size();
        }
    }
    const auto gap = std::lower_bound(m_gaps.begin(), m_gaps.end(), static_cast<std::uint32_t>(k),
                                      [](const auto& g, std::uint32_t at) { return g.first < at; });
    if (gap != m_gaps.end() && gap->first == k) return gap->second;
    return OriginalStart(k);
}

bool MatchText::IsCharacterEdge(std::size_t i) const
{
    if (m_identity || m_linear) {
        const std::u16string_view t = Text();
        return i == 0 || i >= t.size() || !IsPairTrail(t, i);
    }
    if (i >= m_text.size()) return true;
    const Run& run = RunAt(i);
    if ((run.origin & kLinearBit) == 0) return i == run.unit;
    return i == run.unit || !IsPairTrail(m_text, i);
}

}  // namespace office
