// Word binary documents (.doc, .dot): Word 97-2003 and Word 6.0/95, read
// from the compound file's streams.
#pragma once

#include "office/wordcontent.h"

#include <string>

namespace office {

// `bytes` is the whole compound file. False with a reason on a damaged,
// encrypted or unsupported document.
bool ReadWordBinary(ByteView bytes, WordContent& out, std::string& error);

}  // namespace office
