// Web page text extraction: charset, then the quick scanner or libxml2's
// parser in SAX mode (see htmlreader.h).
#include "office/word/htmlreader.h"

#include "office/containers/htmlsaxparser.h"
#include "office/containers/htmlstrictscanner.h"
#include "office/containers/htmltagfilter.h"
#include "office/word/htmlwalker.h"
#include "platform/cancellation.h"

#include <vector>

namespace office {

namespace {

void TakeStories(HtmlWalker& walker, WordContent& out)
{
    std::u16string text;
    std::u16string title;
    walker.Finish(text, title);
    out.stories.clear();
    out.stories.push_back({StoryKind::Main, std::move(text), walker.BodyNormal()});
    if (!title.empty()) out.stories.push_back({StoryKind::Title, std::move(title), walker.TitleNormal()});
}

}  // namespace

bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error)
{
    return ReadHtml(bytes, out, error, HtmlReadLimits{});
}

bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error, const HtmlReadLimits& limits)
{
    // A plain page that is read as UTF-8 when its bytes are UTF-8 is
    // scanned as it stands: the scan checks every byte, so one it takes is
    // the page the decoding below would have handed it unchanged.
    ByteView body;
    bool scanned = false;  // the scan above was tried on the page's own bytes
    if (limits.quickPlainPages && ReadAsUtf8WhenValid(bytes, body)) {
        scanned = true;
        platform::ThrowIfStopRequested();
        HtmlWalker walker;
        walker.ReserveFor(body.size());
        const std::string_view page(reinterpret_cast<const char*>(body.data()), body.size());
        if (HtmlStrictScanner::Scan(page, walker, limits.parserDepth)) {
            TakeStories(walker, out);
            return true;
        }
    }
    std::string converted;
    std::string_view markup;
    if (!DecodeHtmlPage(bytes, HtmlDecoding{}, converted, markup, error)) return false;
    platform::ThrowIfStopRequested();
    std::u16string text;
    std::u16string title;
    out.stories.clear();
    // (Not again on the same bytes: a scan that gave up there gives up.)
    if (limits.quickPlainPages && !(scanned && markup.data() == reinterpret_cast<const char*>(body.data()))) {
        // A plain page is read without libxml2, to the same events.
        HtmlWalker walker;
        walker.ReserveFor(markup.size());
        // A decoded page is well-formed UTF-8 (DecodeHtmlPage).
        if (HtmlStrictScanner::Scan(markup, walker, limits.parserDepth, true)) {
            TakeStories(walker, out);
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
