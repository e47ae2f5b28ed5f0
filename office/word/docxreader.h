// Office Open XML word-processing packages (.docx, .docm, .dotx, .dotm).
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <string>

namespace office {

// `bytes` is the whole zip package. False with a reason on a damaged
// package, one that breaks a safety limit or `budget` ("too large: ..."),
// or one without a main document. Throws platform::OperationCancelled when
// the search is stopped.
bool ReadDocx(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget);
// The same without a budget.
bool ReadDocx(ByteView bytes, WordContent& out, ReadError& error);

}  // namespace office
