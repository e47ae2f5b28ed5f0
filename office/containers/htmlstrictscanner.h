// A quick reader for plain, well-formed web pages: explicit <html>, an
// optional <head> of a title, meta, link, style and script elements, and a
// <body> of div, p, headings and a few inline elements, every element closed
// in order, text without stray '<', only a few common entity references.
// Such a page gives, event for event, what libxml2's parser gives it
// (htmlsaxparser.h), at a fraction of the cost. Anything else (a tag the
// parser would close or imply on its own, an unknown tag or entity, a
// control character, bytes that are no UTF-8, a "hidden" attribute, nesting
// past the parser's depth) makes Scan give up, and the caller reads the
// page with libxml2 as before. The events already sent then are the
// caller's to throw away.
#pragma once

#include "office/containers/htmlevents.h"

#include <cstddef>
#include <string_view>

namespace office {

class HtmlStrictScanner {
public:
    // False when the page is not of the plain kind. The elements come
    // without their attributes (a page with a "hidden" one is not plain).
    // Throws platform::OperationCancelled on a stop request. `validUtf8`:
    // the caller knows the markup to be well-formed UTF-8 (as a decoded
    // page always is), so that its characters are not decoded again.
    // Without it, a page Scan takes is well-formed UTF-8 throughout: every
    // byte from 0x80 on, in text, attributes, comments and scripts alike,
    // is part of a character it checked.
    static bool Scan(std::string_view markup, HtmlEventSink& sink, std::size_t maxDepth, bool validUtf8 = false);
};

}  // namespace office
