// Web page text extraction: charset, then libxml2's parser in SAX mode
// (see htmlreader.h).
#include "office/word/htmlreader.h"

#include "office/containers/htmlsaxparser.h"
#include "office/containers/htmlstrictscanner.h"
#include "office/containers/htmltagfilter.h"
#include "office/word/htmlwalker.h"
#include "platform/cancellation.h"

#include <vector>

namespace office {

bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error)
{
    return ReadHtml(bytes, out, error, HtmlReadLimits{});
}

bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error, const HtmlReadLimits& limits)
{
    std::string converted;
    std::string_view markup;
    if (!DecodeHtmlPage(bytes, HtmlDecoding{}, converted, markup, error)) return false;
    platform::ThrowIfStopRequested();
    std::u16string text;
    std::u16string title;
    out.stories.clear();
    if (limits.quickPlainPages) {
        // A plain page is read without libxml2, to the same events.
        HtmlWalker walker;
        // A decoded page is well-formed UTF-8 (DecodeHtmlPage).
        if (HtmlStrictScanner::Scan(markup, walker, limits.parserDepth, true)) {
            walker.Finish(text, title);
            out.stories.push_back({StoryKind::Main, std::move(text)});
            if (!title.empty()) out.stories.push_back({StoryKind::Title, std::move(title)});
            return true;
        }
    }
    // The filter renames attributes of crowded tags; should the parser read
    // one of those tags as text after all, the page is read again as it is.
    std::string filteredMarkup;
    const std::vector<HtmlFilteredTag> filtered =
        HtmlTagFilter::Apply(markup, filteredMarkup, limits.keptAttributes, {"hidden"});
    bool done = false;
    if (!filtered.empty()) {
        HtmlWalker walker;
        HtmlSaxParser parser(filteredMarkup, filtered, walker, limits.parserDepth, limits.readPiece);
        if (parser.Run()) {
            walker.Finish(text, title);
            done = true;
        }
    }
    if (!done) {
        const std::vector<HtmlFilteredTag> none;
        HtmlWalker walker;
        HtmlSaxParser parser(markup, none, walker, limits.parserDepth, limits.readPiece);
        parser.Run();
        walker.Finish(text, title);
    }
    out.stories.clear();
    out.stories.push_back({StoryKind::Main, std::move(text)});
    if (!title.empty()) out.stories.push_back({StoryKind::Title, std::move(title)});
    return true;
}

}  // namespace office
