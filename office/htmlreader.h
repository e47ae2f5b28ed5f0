// Web pages for the built-in Word: the text a browser shows, read with
// libxml2's forgiving HTML parser (no network, no external entities).
// Scripts, style sheets and comments are left out; block elements end
// paragraphs, <br> breaks a line, table cells end like Word's cells, and the
// title is a story of its own.
#pragma once

#include "office/wordcontent.h"

#include <string>

namespace office {

bool ReadHtml(ByteView bytes, WordContent& out, std::string& error);

// Whether the bytes look like a web page (markup that opens with an HTML
// element, a doctype or a head/body/title near the start).
bool LooksLikeHtml(ByteView bytes);

// The charset a page declares in a <meta> tag near its start, or "".
std::string DeclaredHtmlCharset(ByteView bytes);

}  // namespace office
