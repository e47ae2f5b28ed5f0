// Web pages for the built-in Word: the text a browser shows, read with
// libxml2's forgiving HTML parser as a stream of events (no document tree,
// no network, no external entities). Scripts, style sheets and comments are
// left out; block elements end paragraphs, <br> breaks a line, table cells
// end like Word's cells, and the title is a story of its own. The cost is
// linear in the page however many attributes a tag has or however deep its
// elements nest, and all of a deep page's text is read.
#pragma once

#include "office/containers/htmlpage.h"
#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <string>

namespace office {

// Throws platform::OperationCancelled on a stop request.
bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error);
bool ReadHtml(ByteView bytes, WordContent& out, ReadError& error, const HtmlReadLimits& limits);

}  // namespace office
