// Field and control-character handling for Word binary stories (see
// docstorytext.h).
#include "office/word/docstorytext.h"

#include "platform/cancellation.h"

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

constexpr char16_t kFieldBegin = 0x13;
constexpr char16_t kFieldSeparator = 0x14;
constexpr char16_t kFieldEnd = 0x15;

}  // namespace

namespace {

// The first unit below U+0020 in [from, raw.size()) (field marks and every
// control character are), eight units a vector step; raw.size() if none.
std::size_t NextControl(std::u16string_view raw, std::size_t from)
{
    const char16_t* p = raw.data();
    const std::size_t n = raw.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi16(0x1F);
    const __m128i zero = _mm_setzero_si128();
    for (; n - i >= 8; i += 8) {
        // Unsigned v <= 0x1F exactly when subtracting 0x1F with saturation
        // leaves zero.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, below), zero)));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
    }
#endif
    while (i < n && p[i] >= 0x20) ++i;
    return i;
}

// Units between two looks at the stop request.
constexpr std::size_t kStopLook = 65536;

}  // namespace

std::u16string CleanDocStoryText(std::u16string_view raw)
{
    std::u16string out;
    out.reserve(raw.size());
    // One entry per open field: true while its instruction is being read.
    // A field nested in a result shows its own result, at any depth.
    std::vector<bool> inInstruction;
    std::size_t instructions = 0;  // open fields still in their instruction
    std::size_t nextLook = kStopLook;
    for (std::size_t i = 0; i < raw.size();) {
        if (i >= nextLook) {
            platform::ThrowIfStopRequested();
            nextLook = i + kStopLook;
        }
        // Text up to the next control character goes as it is, or not at
        // all inside an instruction: most of a story is such runs.
        const std::size_t run = NextControl(raw.substr(0, std::min(raw.size(), nextLook)), i);
        if (run > i) {
            if (instructions == 0) out.append(raw.substr(i, run - i));
            i = run;
            continue;
        }
        const char16_t c = raw[i++];
        if (c == kFieldBegin) {
            inInstruction.push_back(true);
            ++instructions;
            continue;
        }
        if (c == kFieldSeparator) {
            if (!inInstruction.empty() && inInstruction.back()) {
                inInstruction.back() = false;
                --instructions;
            }
            continue;
        }
        if (c == kFieldEnd) {
            if (!inInstruction.empty()) {
                if (inInstruction.back()) --instructions;
                inInstruction.pop_back();
            }
            continue;
        }
        if (instructions > 0) continue;
        switch (c) {
        case 0x07:  // cell or row end
        case 0x09:  // tab
        case 0x0B:  // line break
        case 0x0C:  // page or section break
        case 0x0D:  // paragraph end
        case 0x1E:  // non-breaking hyphen
        case 0x1F:  // optional hyphen
            out.push_back(c);
            break;
        case 0x0E:
            // A column break separates words like a page break does.
            out.push_back(0x0C);
            break;
        default:
            // Anchors of pictures (0x01), drawn objects (0x08), note and
            // comment references (0x02, 0x05), note separators (0x03,
            // 0x04) and anything else below space: not visible text.
            break;
        }
    }
    return out;
}

}  // namespace office
