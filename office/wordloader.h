// Opens a file for the built-in Word. The reader is chosen by the file's
// first bytes: a compound file is a Word binary document, a zip package an
// Office Open XML document, "{\rtf" a rich text document, markup a web page,
// anything else text if it is plausibly text, and a file that is none of
// these fails to open. The name counts for one thing only: a file named as a
// web page is one even when its markup has no html, head or body tag.
#pragma once

#include "office/wordcontent.h"

#include <string>
#include <string_view>

namespace office {

// What a file's name says about how its bytes are read.
enum class WordFileName {
    Any,      // the bytes alone decide
    WebPage,  // text that is not a container or RTF is markup
};

// The search reaches web pages through the mask *.htm, which, as on Windows,
// also matches .html and any longer extension that begins with "htm"
// (without regard to case); such names are web pages.
WordFileName WordFileNameOf(std::string_view path);

bool LoadWordContent(ByteView bytes, WordContent& out, std::string& error, WordFileName name = WordFileName::Any);

// Reads the file (read-only) and loads it.
bool LoadWordFile(const std::string& path, WordContent& out, std::string& error);

}  // namespace office
