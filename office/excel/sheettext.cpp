// Joined sheet texts and the substring search over them (see sheettext.h).
#include "office/excel/sheettext.h"

#include "platform/cancellation.h"

#include <algorithm>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// The OR of all units of a text, and whether one of them is 0: what tells
// a text that fits the narrow form, or one that is all ASCII. Eight units
// are taken at a time where the processor allows it, as cell texts are
// short and this runs for every one of them.
struct UnitSummary {
    char16_t all = 0;
    bool zero = false;
};

UnitSummary Summarize(std::u16string_view text)
{
    const char16_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t k = 0;
    UnitSummary summary;
#if defined(__SSE2__)
    if (n >= 8) {
        __m128i all = _mm_setzero_si128();
        __m128i zeros = _mm_setzero_si128();
        for (; k + 8 <= n; k += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
            all = _mm_or_si128(all, v);
            zeros = _mm_or_si128(zeros, _mm_cmpeq_epi16(v, _mm_setzero_si128()));
        }
        alignas(16) char16_t lanes[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), all);
        for (char16_t c : lanes) summary.all = static_cast<char16_t>(summary.all | c);
        summary.zero = _mm_movemask_epi8(zeros) != 0;
    }
#endif
    for (; k < n; ++k) {
        summary.all = static_cast<char16_t>(summary.all | p[k]);
        summary.zero = summary.zero || p[k] == 0;
    }
    return summary;
}

// A unit fits the narrow form when it is 1 to 0xFF; 0 is its separator.
bool FitsNarrow(std::u16string_view text)
{
    const UnitSummary summary = Summarize(text);
    return summary.all <= 0xFF && !summary.zero;
}

char16_t LowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
}

// Writes units that fit the narrow form as bytes, lowering A-Z when asked.
void PutNarrow(const char16_t* in, std::size_t n, char* out, bool lower)
{
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128i beforeA = _mm_set1_epi16(u'A' - 1);
    const __m128i afterZ = _mm_set1_epi16(u'Z' + 1);
    const __m128i caseBit = _mm_set1_epi16(lower ? 0x20 : 0);
    for (; k + 8 <= n; k += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
        // Units are at most 0xFF here, so signed comparisons hold.
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
        v = _mm_or_si128(v, _mm_and_si128(upper, caseBit));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(v, v));
    }
#endif
    for (; k < n; ++k) out[k] = static_cast<char>(lower ? LowerAscii(in[k]) : in[k]);
}

#if defined(__SSE2__)
__m128i Splat(char c)
{
    return _mm_set1_epi8(c);
}
__m128i Splat(char16_t c)
{
    return _mm_set1_epi16(static_cast<short>(c));
}
__m128i Equal(__m128i a, __m128i b, char)
{
    return _mm_cmpeq_epi8(a, b);
}
__m128i Equal(__m128i a, __m128i b, char16_t)
{
    return _mm_cmpeq_epi16(a, b);
}
#endif

// The first occurrence of `needle` in `t` at or after `from`. Where the
// processor allows, 16 bytes of starting positions are looked at a time,
// and only where both the needle's first and last unit fit is the rest
// compared; in cell texts that leaves few positions to compare, so a
// search goes at close to the speed the text is read from memory.
template <typename Unit>
std::size_t Search(const Unit* t, std::size_t n, const Unit* needle, std::size_t m, std::size_t from)
{
    if (m == 0 || from > n || m > n - from) return kNotFound;
    const Unit head = needle[0];
    const Unit tail = needle[m - 1];
    const std::size_t lastStart = n - m;
    auto rest = [&](std::size_t at) {
        return m <= 2 || std::char_traits<Unit>::compare(t + at + 1, needle + 1, m - 2) == 0;
    };
    std::size_t i = from;
#if defined(__SSE2__)
    constexpr std::size_t kLanes = 16 / sizeof(Unit);
    constexpr unsigned kUnitBits = (1u << sizeof(Unit)) - 1;  // mask bits of one unit
    const __m128i heads = Splat(head);
    const __m128i tails = Splat(tail);
    // Starting positions i .. i+kLanes-1 read up to the text's last unit.
    for (; i + kLanes - 1 <= lastStart; i += kLanes) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + m - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(Equal(first, heads, Unit{}), Equal(last, tails, Unit{}))));
        while (mask != 0) {
            const auto bit = static_cast<unsigned>(__builtin_ctz(mask));
            const std::size_t at = i + bit / sizeof(Unit);
            if (rest(at)) return at;
            mask &= ~(kUnitBits << bit);
        }
    }
#endif
    for (; i <= lastStart; ++i)
        if (t[i] == head && t[i + m - 1] == tail && rest(i)) return i;
    return kNotFound;
}

}  // namespace

SheetText::Needle::Needle(std::u16string_view units) : wide(units), narrowable(FitsNarrow(units))
{
    if (!narrowable) return;
    narrow.resize(units.size());
    for (std::size_t k = 0; k < units.size(); ++k) narrow[k] = static_cast<char>(units[k]);
}

void SheetText::Start(std::size_t cells, std::size_t units, std::size_t limit)
{
    Drop();
    m_open = true;
    // Cell offsets are kept in 32 bits.
    m_limit = std::min<std::size_t>(limit, std::numeric_limits<std::uint32_t>::max());
    m_starts.reserve(cells);
    // Sized once, for the whole sheet; the texts are written in place.
    m_narrow.resize(std::min(units, m_limit));
}

void SheetText::NextCell()
{
    if (m_open) m_starts.push_back(static_cast<std::uint32_t>(m_size));
}

SheetText::Added SheetText::Add(std::u16string_view text, As as)
{
    const UnitSummary summary = Summarize(text);
    if (as != As::Prepared && summary.all >= 0x80) return Added::NeedsPreparing;
    const bool foldAscii = as == As::AsciiLowered;
    if (!m_open || text.size() >= m_limit - m_size) {
        Drop();
        return Added::OverLimit;
    }
    if (!m_isWide && (summary.all > 0xFF || summary.zero)) Widen();
    const std::size_t n = text.size();
    Grow(n + 1);
    if (m_isWide) {
        char16_t* out = m_wide.data() + m_size;
        if (foldAscii) {
            for (std::size_t k = 0; k < n; ++k) out[k] = LowerAscii(text[k]);
        } else {
            std::copy(text.begin(), text.end(), out);
        }
        out[n] = kWideSeparator;
    } else {
        char* out = m_narrow.data() + m_size;
        PutNarrow(text.data(), n, out, foldAscii);
        out[n] = '\0';
    }
    m_size += n + 1;
    return Added::Yes;
}

void SheetText::Finish()
{
    if (!m_open) return;  // dropped on the way
    m_open = false;
    // Only texts lengthened by folding leave room unused; give it back.
    if (m_isWide) {
        m_wide.resize(m_size);
        m_wide.shrink_to_fit();
    } else {
        m_narrow.resize(m_size);
        m_narrow.shrink_to_fit();
    }
    // Every 61st unit is enough to tell common characters from rare ones.
    for (std::size_t k = 0; k < m_size; k += 61) {
        const unsigned c = m_isWide ? m_wide[k] : static_cast<unsigned char>(m_narrow[k]);
        ++m_sample[std::min(c, 128u)];
    }
    m_ready = true;
}

void SheetText::Drop()
{
    m_narrow = std::string();
    m_wide = std::u16string();
    m_starts = std::vector<std::uint32_t>();
    m_isWide = false;
    m_open = false;
    m_ready = false;
    m_size = 0;
    m_limit = 0;
    m_sample.fill(0);
}

void SheetText::Widen()
{
    std::u16string wide(std::max(m_narrow.size(), m_size), u'\0');
    for (std::size_t k = 0; k < m_size; ++k) {
        const auto c = static_cast<unsigned char>(m_narrow[k]);
        wide[k] = c == 0 ? kWideSeparator : c;
    }
    m_wide = std::move(wide);
    m_narrow = std::string();
    m_isWide = true;
}

void SheetText::Grow(std::size_t more)
{
    const std::size_t have = m_isWide ? m_wide.size() : m_narrow.size();
    if (more <= have - m_size) return;
    // Folding lengthened texts past the count made up front.
    const std::size_t want = std::min(m_limit, std::max(m_size + more, have + have / 2));
    if (m_isWide) {
        m_wide.resize(want);
    } else {
        m_narrow.resize(want);
    }
}

std::optional<std::size_t> SheetText::FindCell(const Needle& needle, std::size_t first, std::size_t end) const
{
    if (!m_ready || first >= end || end > m_starts.size()) return std::nullopt;
    const std::size_t from = m_starts[first];
    const std::size_t to = end < m_starts.size() ? m_starts[end] : m_size;
    std::size_t hit = kNotFound;
    // A chunk at a time, each cut m - 1 units past its end so that a hit
    // beginning in it is whole in it; Stop is looked for between chunks.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::size_t m = m_isWide ? needle.wide.size() : needle.narrow.size();
    if (!m_isWide && !needle.narrowable) return std::nullopt;
    for (std::size_t pos = from; pos < to && hit == kNotFound; pos += kChunk) {
        if (pos != from) platform::ThrowIfStopRequested();
        const std::size_t cut = std::min(to, pos + kChunk + (m > 0 ? m - 1 : 0));
        hit = m_isWide ? Search(m_wide.data(), cut, needle.wide.data(), m, pos)
                       : Search(m_narrow.data(), cut, needle.narrow.data(), m, pos);
        if (cut == to) break;
    }
    if (hit == kNotFound) return std::nullopt;
    const auto holder = std::upper_bound(m_starts.begin() + static_cast<std::ptrdiff_t>(first),
                                         m_starts.begin() + static_cast<std::ptrdiff_t>(end), hit);
    return static_cast<std::size_t>(holder - m_starts.begin()) - 1;
}

std::size_t SheetText::Frequency(std::u16string_view run) const
{
    // A unit the narrow form cannot hold does not occur at all.
    if (!m_isWide && !FitsNarrow(run)) return 0;
    std::size_t rarest = std::numeric_limits<std::size_t>::max();
    for (char16_t c : run) rarest = std::min<std::size_t>(rarest, m_sample[std::min<unsigned>(c, 128u)]);
    return rarest;
}

}  // namespace office
