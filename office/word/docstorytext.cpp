// Field and control-character handling for Word binary stories (see
// docstorytext.h).
#include "office/word/docstorytext.h"

#include "platform/cancellation.h"

#include <vector>

namespace office {

namespace {

constexpr char16_t kFieldBegin = 0x13;
constexpr char16_t kFieldSeparator = 0x14;
constexpr char16_t kFieldEnd = 0x15;

}  // namespace

std::u16string CleanDocStoryText(std::u16string_view raw)
{
    std::u16string out;
    out.reserve(raw.size());
    // One entry per open field: true while its instruction is being read.
    // A field nested in a result shows its own result, at any depth.
    std::vector<bool> inInstruction;
    std::size_t instructions = 0;  // open fields still in their instruction
    platform::StopCheck stop(65536);
    for (char16_t c : raw) {
        stop();
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
        if (c >= 0x20) {
            out.push_back(c);
            continue;
        }
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
