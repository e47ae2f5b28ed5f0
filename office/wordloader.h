// Opens a file for the built-in Word. The reader is chosen by the file's
// first bytes, never by its name: a compound file is a Word binary document,
// a zip package an Office Open XML document, "{\rtf" a rich text document,
// markup a web page, anything else text if it is plausibly text, and a file
// that is none of these fails to open.
#pragma once

#include "office/wordcontent.h"

#include <string>

namespace office {

bool LoadWordContent(ByteView bytes, WordContent& out, std::string& error);

// Reads the file (read-only) and loads it.
bool LoadWordFile(const std::string& path, WordContent& out, std::string& error);

}  // namespace office
