// Rich Text Format reader for the built-in Word.
#pragma once

#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <string>

namespace office {

// Parses RTF bytes into stories. False with a reason on a file that is not
// RTF or breaks a safety limit.
bool ReadRtf(ByteView bytes, WordContent& out, ReadError& error);

}  // namespace office
