// A web page's bytes as the markup both Word and Excel parse: whether the
// bytes are a page at all, the charset it declares or its bytes suggest,
// the page decoded to UTF-8 (in place when it is UTF-8 already), and the
// limits under which the streaming parser keeps its cost linear.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/text/byteview.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace office {

// Where the reader changes how it drives the parser to keep its cost linear
// (see htmltagfilter.h and htmlsaxparser.h); the text read is the same
// either way. Tests lower them to reach those paths with small pages.
struct HtmlReadLimits {
    std::size_t keptAttributes = 64;  // attributes of one tag the parser sees by their names
    std::size_t parserDepth = 256;    // open elements one parser run holds
    std::size_t readPiece = 4096;     // bytes the parser gets per read (what it holds past a restart)
    bool quickPlainPages = true;      // plain pages without libxml2 (htmlstrictscanner.h)
};

// How a page's bytes become the UTF-8 markup the parser reads: a byte-order
// mark, then zero bytes (UTF-16 without a mark), then the charset a <meta>
// tag declares (the Latin-1 labels read as Windows-1252, as browsers read
// them), then UTF-8 when the bytes are valid UTF-8, else the fallback below.
struct HtmlDecoding {
    // For a page that declares no charset and is no UTF-8: the legacy code
    // page uchardet names (a browser's guess), or else Windows-1252.
    bool guessLegacy = true;
    // Zero characters left after decoding (binary data in a page): refused,
    // or else read as spaces, which is how libxml2 reads them.
    bool zerosAsSpaces = false;
    // Charged for a converted copy of the page while it is made and kept;
    // none: not charged.
    BudgetHold* hold = nullptr;
};

// `markup` is the page as well-formed UTF-8: a view of `bytes` when they are UTF-8
// already, else of `converted`. False with a reason for undecodable bytes,
// refused zeros or a copy beyond the budget ("too large: ..."). Throws
// platform::OperationCancelled on a stop request.
bool DecodeHtmlPage(ByteView bytes, const HtmlDecoding& how, std::string& converted, std::string_view& markup,
                    ReadError& error);

// Whether DecodeHtmlPage reads the page as its own bytes, less a byte-order
// mark (`body`), exactly when they are valid UTF-8: the mark says UTF-8, or
// the page declares UTF-8 or no charset, and it holds no zero byte. Then a
// reader that checks every byte on its way may skip the decoding.
bool ReadAsUtf8WhenValid(ByteView bytes, ByteView& body);

// Whether the bytes look like a web page (markup that opens with an HTML
// element, a doctype or a head/body/title near the start).
bool LooksLikeHtml(ByteView bytes);

// The charset a page declares in a <meta> tag near its start, or "".
std::string DeclaredHtmlCharset(ByteView bytes);

}  // namespace office
