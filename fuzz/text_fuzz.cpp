// libFuzzer target for the plain text reader (byte-order marks, UTF-8 and
// UTF-16 detection, legacy code pages through uchardet, line ends, the
// binary check): any input must end in a story or an error, without a
// crash, a hang, a sanitizer report or unbounded memory.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): memory past libFuzzer's limit is memory it never saw.
#include "office/containers/readbudget.h"
#include "office/word/textreader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WordContent content;
    office::ReadError error;
    const bool ok = office::ReadText(office::ByteView(data, size), content, error, &budget);
    if (!ok && error.ok()) __builtin_trap();
    // Every byte becomes at most one UTF-16 unit (a four-byte sequence two),
    // and no NUL reaches a story.
    std::size_t units = 0;
    for (const auto& story : content.stories) {
        units += story.text.size();
        if (story.text.find(u'\0') != std::u16string::npos) __builtin_trap();
    }
    if (ok && units > size + 16) __builtin_trap();
    return 0;
}
