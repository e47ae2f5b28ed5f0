// Web pages for the built-in Word: the text a browser shows, read with
// libxml2's forgiving HTML parser as a stream of events (no document tree,
// no network, no external entities). Scripts, style sheets and comments are
// left out; block elements end paragraphs, <br> breaks a line, table cells
// end like Word's cells, and the title is a story of its own. The cost is
// linear in the page however many attributes a tag has or however deep its
// elements nest, and all of a deep page's text is read.
#pragma once

#include "office/wordcontent.h"

#include <cstddef>
#include <string>

namespace office {

// Where the reader changes how it drives the parser to keep its cost linear
// (see htmltagfilter.h and htmlsaxparser.h); the text read is the same
// either way. Tests lower them to reach those paths with small pages.
struct HtmlReadLimits {
    std::size_t keptAttributes = 64;  // attributes of one tag the parser sees by their names
    std::size_t parserDepth = 256;    // open elements one parser run holds
    std::size_t readPiece = 4096;     // bytes the parser gets per read (what it holds past a restart)
};

// Throws platform::OperationCancelled on a stop request.
bool ReadHtml(ByteView bytes, WordContent& out, std::string& error);
bool ReadHtml(ByteView bytes, WordContent& out, std::string& error, const HtmlReadLimits& limits);

// Whether the bytes look like a web page (markup that opens with an HTML
// element, a doctype or a head/body/title near the start).
bool LooksLikeHtml(ByteView bytes);

// The charset a page declares in a <meta> tag near its start, or "".
std::string DeclaredHtmlCharset(ByteView bytes);

}  // namespace office
