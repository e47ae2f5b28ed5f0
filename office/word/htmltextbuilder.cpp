// Browser white-space rules over Word's story characters (see htmltextbuilder.h).
#include "office/word/htmltextbuilder.h"

#include "office/text/matchtext.h"
#include "platform/utf8.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

// A soft hyphen (&shy;) is Word's optional hyphen, in preformatted text too.
char16_t WordCharacter(char16_t c)
{
    return c == 0x00AD ? char16_t{0x001F} : c;
}

// Space, tab, line feed, form feed and carriage return, one bit each: every
// character of a page's text is asked about.
constexpr std::uint64_t kFoldedSpaces = std::uint64_t{1} << 0x20 | std::uint64_t{1} << 0x09 | std::uint64_t{1} << 0x0A |
                                        std::uint64_t{1} << 0x0C | std::uint64_t{1} << 0x0D;

bool IsFoldedSpace(char16_t c)
{
    return c <= 0x20 && ((kFoldedSpaces >> c) & 1u) != 0;
}

bool IsVisibleAscii(unsigned char c)
{
    return c > 0x20 && c < 0x80;
}

bool IsPlainVisible(char16_t c)
{
    return c > 0x20 && c != 0x00AD;
}

// Whether w, in a story that begins at base, is where a line starts: a
// space pending there is dropped.
bool LineStartAt(const char16_t* base, const char16_t* w)
{
    return w == base || w[-1] == u'\r' || w[-1] == 0x000B || w[-1] == 0x0007;
}

#if defined(__SSE2__)
// Units p[0..7] (with p[-1] and p[8] readable): each is a visible
// character other than the soft hyphen, or a space with such characters on
// both sides.
bool EightAsTheyAre(const char16_t* p)
{
    const auto load = [](const char16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i shy = _mm_set1_epi16(static_cast<short>(0x00AD));
    const __m128i zero = _mm_setzero_si128();
    // Visible: above U+0020 (unsigned) and not U+00AD.
    const auto visible = [&](__m128i v) {
        const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, space), zero);
        return _mm_andnot_si128(_mm_or_si128(low, _mm_cmpeq_epi16(v, shy)), _mm_set1_epi16(-1));
    };
    const __m128i here = load(p);
    const __m128i single =
        _mm_and_si128(_mm_cmpeq_epi16(here, space), _mm_and_si128(visible(load(p - 1)), visible(load(p + 1))));
    return _mm_movemask_epi8(_mm_or_si128(visible(here), single)) == 0xFFFF;
}

// Whether p[0, n), n >= 16, is visible ASCII and single spaces between
// visible characters, with none last: such a run (most of a page's text)
// goes into the story as it is. The first byte is no space (the caller
// took the leading white space).
bool PlainAsciiRun(const unsigned char* p, std::size_t n)
{
    const __m128i space = _mm_set1_epi8(0x20);
    // Bytes from 0x80 on are negative here: never visible.
    const auto masks = [&](std::size_t at, unsigned& visible, unsigned& spaces) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        visible = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, space)));
        spaces = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space)));
    };
    unsigned visible = 0;
    unsigned spaces = 0;
    bool spaceBefore = true;  // the byte before the block (a space first is not taken here)
    std::size_t k = 0;
    for (; k + 16 <= n; k += 16) {
        masks(k, visible, spaces);
        if ((visible | spaces) != 0xFFFF || (spaces & ((spaces << 1) | (spaceBefore ? 1u : 0u))) != 0) return false;
        spaceBefore = (spaces & 0x8000) != 0;
    }
    if (k < n) {
        // The last bytes, in a block that ends with the run. (A pair of
        // bytes across its start lies within the block before.)
        masks(n - 16, visible, spaces);
        if ((visible | spaces) != 0xFFFF || (spaces & (spaces << 1)) != 0) return false;
    }
    return (spaces & 0x8000) == 0;
}

// Widens p[0, n), n >= 16, into w (room for n units).
void WidenAscii(const unsigned char* p, std::size_t n, char16_t* w)
{
    const __m128i zero = _mm_setzero_si128();
    const auto block = [&](std::size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + at), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + at + 8), _mm_unpackhi_epi8(v, zero));
    };
    std::size_t k = 0;
    for (; k + 16 <= n; k += 16) block(k);
    if (k < n) block(n - 16);
}
#endif

}  // namespace

void HtmlTextBuilder::TextUtf8(std::string_view utf8, bool preformatted)
{
    if (preformatted) {
        if (m_wide.size() < utf8.size()) m_wide.resize(utf8.size());
        Text(std::u16string_view(m_wide.data(), Utf8IntoUtf16(utf8, m_wide.data())), true);
        return;
    }
    if (utf8.empty()) return;
    m_afterCr = false;
    // White space alone (most often the line break between two tags) only
    // leaves a space pending: the story is not touched.
    std::size_t lead = 0;
    while (lead < utf8.size() && static_cast<unsigned char>(utf8[lead]) <= 0x20 &&
           IsFoldedSpace(static_cast<char16_t>(static_cast<unsigned char>(utf8[lead]))))
        ++lead;
    if (lead > 0) {
        m_pendingSpace = true;
        utf8.remove_prefix(lead);
        if (utf8.empty()) return;
    }
    // As Text, reading the UTF-8 as it goes (as Utf8IntoUtf16 reads it).
    // A character never takes fewer bytes than units, and a space is
    // written only for white space read, or for the one pending before.
    const std::size_t before = m_out.size();
    m_out.resize(before + utf8.size() + 1);
    char16_t* const base = m_out.data();
    char16_t* w = base + before;
    bool pending = m_pendingSpace;
    const auto* const start = reinterpret_cast<const unsigned char*>(utf8.data());
    const unsigned char* p = start;
    const unsigned char* const end = start + utf8.size();
#if defined(__SSE2__)
    if (utf8.size() >= 16 && PlainAsciiRun(start, utf8.size())) {
        if (pending) {
            if (!LineStartAt(base, w)) *w++ = u' ';
        }
        WidenAscii(start, utf8.size(), w);
        m_pendingSpace = false;
        m_out.resize(before + static_cast<std::size_t>(w - (base + before)) + utf8.size());
        return;
    }
#endif
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes (then eight) of visible ASCII and single spaces
        // between them go as they are, widened. A space first needs a
        // visible character written just before it. A space last is kept
        // when what follows it is no white space; otherwise it is taken
        // back and left pending, as the steps below would leave it.
        if (!pending) {
            const __m128i space = _mm_set1_epi8(0x20);
            const __m128i zero = _mm_setzero_si128();
            for (;;) {
                const bool wide = end - p >= 16;
                if (!wide && end - p < 8) break;
                const __m128i v = wide ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))
                                       : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
                const unsigned all = wide ? 0xFFFFu : 0xFFu;
                const unsigned lastBit = wide ? 0x8000u : 0x80u;
                // Bytes from 0x80 on are negative here: never visible.
                const auto visible = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, space))) & all;
                const auto spaces = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space))) & all;
                if ((visible | spaces) != all || (spaces & (spaces << 1)) != 0) break;
                if ((spaces & 1) != 0 && (w == base || w[-1] <= 0x20)) break;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(v, zero));
                if (wide) _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(v, zero));
                const std::ptrdiff_t n = wide ? 16 : 8;
                w += n;
                p += n;
                if ((spaces & lastBit) != 0 && (p == end || (*p < 0x80 && IsFoldedSpace(*p)))) {
                    --w;
                    pending = true;
                    break;
                }
            }
            if (p >= end) break;
        }
#endif
        // The rest of a word in ASCII goes as it is.
        if (!pending) {
            while (p < end && IsVisibleAscii(*p)) *w++ = *p++;
            if (p >= end) break;
        }
        const Utf8Step step = DecodeUtf8Step(p, static_cast<std::size_t>(end - p));
        p += step.length;
        if (step.cp < 0x80 && IsFoldedSpace(static_cast<char16_t>(step.cp))) {
            pending = true;
            continue;
        }
        if (pending) {
            pending = false;
            if (!LineStartAt(base, w)) *w++ = u' ';
        }
        // (A soft hyphen becomes the optional hyphen, which compared texts
        // leave out, as they leave the soft hyphen out.)
        if (step.cp >= 0x80 || step.cp == 0x1F) m_normal = m_normal && IsPlainNormalCharacter(step.cp);
        if (step.cp >= 0x10000) {
            const char32_t v = step.cp - 0x10000;
            *w++ = static_cast<char16_t>(0xD800 + (v >> 10));
            *w++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            *w++ = WordCharacter(static_cast<char16_t>(step.cp));
        }
    }
    m_pendingSpace = pending;
    m_out.resize(static_cast<std::size_t>(w - base));
}

void HtmlTextBuilder::Text(std::u16string_view text, bool preformatted)
{
    // Units of a pair each answer no, as a character past the Basic
    // Multilingual Plane would.
    for (std::size_t k = 0; m_normal && k < text.size(); ++k)
        if (text[k] >= 0x80 || text[k] == 0x1F) m_normal = IsPlainNormalCharacter(text[k]);
    if (preformatted) {
        for (const char16_t c : text) {
            const bool lf = c == u'\n';
            if (!(lf && m_afterCr)) m_out.push_back(lf || c == u'\r' ? u'\r' : WordCharacter(c));
            m_afterCr = c == u'\r';
            m_pendingSpace = false;
        }
        return;
    }
    if (text.empty()) return;
    m_afterCr = false;
    // One pass that writes straight into the story: a page hands over most
    // of its text here, a character at a time. A run of white space becomes
    // one space before the next visible character, unless that starts a line.
    const std::size_t before = m_out.size();
    m_out.resize(before + 2 * text.size());  // at most a space per character
    char16_t* const base = m_out.data();
    char16_t* w = base + before;
    bool pending = m_pendingSpace;
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    while (p < end) {
#if defined(__SSE2__)
        // Eight units at a time while they are visible characters and single
        // spaces between them, which stay as they are: most of a page.
        if (!pending && p > text.data() && IsPlainVisible(p[-1]))
            while (end - p > 8 && EightAsTheyAre(p)) {
                std::memcpy(w, p, 8 * sizeof(char16_t));
                w += 8;
                p += 8;
            }
        if (p >= end) break;
#endif
        const char16_t c = *p;
        if (IsFoldedSpace(c)) {
            pending = true;
            ++p;
            continue;
        }
        if (pending) {
            pending = false;
            if (!LineStartAt(base, w)) *w++ = u' ';
        }
        // The rest of a word goes as it is: nothing above U+0020 but the
        // soft hyphen changes.
        do {
            *w++ = WordCharacter(*p++);
        } while (p<end&& * p> 0x20);
    }
    m_pendingSpace = pending;
    m_out.resize(static_cast<std::size_t>(w - base));
}

void HtmlTextBuilder::Mark(char16_t mark)
{
    m_pendingSpace = false;
    m_afterCr = false;
    // A cell ends its last paragraph itself, as in Word.
    if (mark == 0x0007 && !m_out.empty() && m_out.back() == u'\r') m_out.pop_back();
    m_out.push_back(mark);
}

void HtmlTextBuilder::EndParagraph()
{
    m_pendingSpace = false;
    m_afterCr = false;
    if (AtLineStart()) return;
    m_out.push_back(u'\r');
}

bool HtmlTextBuilder::AtLineStart() const
{
    return LineStartAt(m_out.data(), m_out.data() + m_out.size());
}

}  // namespace office
