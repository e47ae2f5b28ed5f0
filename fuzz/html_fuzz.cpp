// libFuzzer target for the web page reader (charset choice, attribute
// filter, libxml2's parser in SAX mode, parser restarts, text walk): any
// input must end in stories or an error, without a crash, a hang, a
// sanitizer report or unbounded memory. It is also differential: renaming
// every attribute of every tag (the path crowded tags take) must read the
// same text as renaming none, and restarting the parser every few elements
// must neither crash nor fail where one run succeeds.
#include "office/word/htmlreader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct Result {
    bool ok = false;
    std::u16string main;
    std::u16string title;
};

Result Read(const std::uint8_t* data, std::size_t size, const office::HtmlReadLimits& limits)
{
    Result r;
    office::WordContent content;
    office::ReadError error;
    r.ok = office::ReadHtml(office::ByteView(data, size), content, error, limits);
    if (!r.ok && error.ok()) __builtin_trap();
    for (const office::Story& story : content.stories) {
        if (story.text.find(u'\0') != std::u16string::npos) __builtin_trap();
        (story.kind == office::StoryKind::Title ? r.title : r.main) = story.text;
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::HtmlReadLimits none;
    none.keptAttributes = static_cast<std::size_t>(-1);
    const Result plain = Read(data, size, none);

    office::HtmlReadLimits all;
    all.keptAttributes = 0;
    const Result renamed = Read(data, size, all);
    if (renamed.ok != plain.ok || renamed.main != plain.main || renamed.title != plain.title) __builtin_trap();

    office::HtmlReadLimits shallow;
    shallow.parserDepth = 8;
    const Result restarted = Read(data, size, shallow);
    if (restarted.ok != plain.ok) __builtin_trap();
    return 0;
}
