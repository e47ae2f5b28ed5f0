// Office Open XML word-processing packages (.docx, .docm, .dotx, .dotm).
#pragma once

#include "office/wordcontent.h"

#include <string>

namespace office {

// `bytes` is the whole zip package. False with a reason on a damaged
// package, one that breaks a safety limit, or one without a main document.
bool ReadDocx(ByteView bytes, WordContent& out, std::string& error);

}  // namespace office
