// libFuzzer target for the reader of Office Open XML packages (zip, relationships, XML parts):
// any input must end in stories or an error, without a crash, a hang, a
// sanitizer report or unbounded memory.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): memory past libFuzzer's limit is memory it never saw.
#include "office/containers/readbudget.h"
#include "office/word/docxreader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WordContent content;
    office::ReadError error;
    const bool ok = office::ReadDocx(office::ByteView(data, size), content, error, &budget);
    // A failure always says why (compressed parts may expand, so the text is
    // bounded by the package limits rather than by the input size).
    if (!ok && error.ok()) __builtin_trap();
    return 0;
}
