// libFuzzer target for the reader of RTF documents (tokenizer, groups, destinations):
// any input must end in stories or an error, without a crash, a hang, a
// sanitizer report or unbounded memory.
#include "office/word/rtfreader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::WordContent content;
    office::ReadError error;
    const bool ok = office::ReadRtf(office::ByteView(data, size), content, error);
    // A failure always says why; a success never carries more text than the
    // input could hold.
    if (!ok && error.ok()) __builtin_trap();
    std::size_t chars = 0;
    for (const auto& story : content.stories) chars += story.text.size();
    if (ok && chars > 2 * size + 16) __builtin_trap();
    return 0;
}
