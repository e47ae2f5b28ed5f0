// libFuzzer target for the web page reader (charset choice, attribute
// filter, the quick scanner of plain pages, libxml2's parser in SAX mode,
// parser restarts, text walk): any input must end in stories or an error,
// without a crash, a hang, a sanitizer report or unbounded memory. It is
// also differential: renaming every attribute of every tag (the path
// crowded tags take) must read the same text as renaming none; restarting
// the parser every few elements must neither crash nor fail where one run
// succeeds; and a page the quick scanner takes must give libxml2's events,
// element for element and text for text (decoded as the reader decodes it,
// and as raw bytes), and the same stories as a read without the scanner.
#include "office/containers/htmlsaxparser.h"
#include "office/containers/htmlstrictscanner.h"
#include "office/word/htmlreader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// The events as a list of lines; text handed over in several calls is one
// line, since the parser cuts text where its buffers end.
class Recorder : public office::HtmlEventSink {
public:
    std::vector<std::string> events;

    void StartElement(std::string_view name, const office::HtmlAttributes&) override
    {
        events.push_back("<" + std::string(name));
    }
    void EndElement() override { events.emplace_back(">"); }
    void Characters(std::string_view utf8) override
    {
        if (utf8.empty()) return;
        if (events.empty() || events.back()[0] != 'T') events.emplace_back("T");
        events.back() += utf8;
    }
    void UnmatchedEndTag(std::string_view name) override { events.push_back("/" + std::string(name)); }
    void DetachOpenElements() override { events.emplace_back("D"); }
    bool ReadsText() const override { return true; }
};

// When the quick scanner takes the markup, libxml2 must give the same events.
void CompareEvents(std::string_view markup, std::size_t depth)
{
    Recorder quick;
    if (!office::HtmlStrictScanner::Scan(markup, quick, depth)) return;
    Recorder slow;
    const std::vector<office::HtmlFilteredTag> none;
    office::HtmlSaxParser parser(markup, none, slow, depth);
    parser.Run();
    if (quick.events != slow.events) __builtin_trap();
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

    office::HtmlReadLimits slowOnly = none;
    slowOnly.quickPlainPages = false;
    const Result slow = Read(data, size, slowOnly);
    if (slow.ok != plain.ok || slow.main != plain.main || slow.title != plain.title) __builtin_trap();
    // On the page as the reader decodes it, and on its bytes as they are.
    std::string converted;
    std::string_view markup;
    office::ReadError error;
    if (office::DecodeHtmlPage(office::ByteView(data, size), office::HtmlDecoding{}, converted, markup, error)) {
        CompareEvents(markup, office::HtmlReadLimits{}.parserDepth);
        CompareEvents(markup, shallow.parserDepth);
    }
    CompareEvents(std::string_view(reinterpret_cast<const char*>(data), size), office::HtmlReadLimits{}.parserDepth);
    return 0;
}
