// libFuzzer target for the reader of Word binary documents (compound file, FIB, piece table):
// any input must end in stories or an error, without a crash, a hang, a
// sanitizer report or unbounded memory.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): memory past libFuzzer's limit is memory it never saw.
#include "office/containers/readbudget.h"
#include "office/word/docreader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WordContent content;
    office::ReadError error;
    bool ok = false;
    try {
        ok = office::ReadWordBinary(office::ByteView(data, size), content, error, &budget);
    } catch (const office::ReadBudgetExceeded&) {
        return 0;  // documented; the Word loader turns it into an error for the file
    }
    // A failure always says why; a success never carries more text than the
    // input could hold.
    if (!ok && error.ok()) __builtin_trap();
    std::size_t chars = 0;
    for (const auto& story : content.stories) chars += story.text.size();
    if (ok && chars > 2 * size + 16) __builtin_trap();
    return 0;
}
