// Word binary documents (.doc, .dot): Word 97-2003 and Word 6.0/95, read
// from the compound file's streams.
#pragma once

#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <string>

namespace office {

class ReadBudget;

// `bytes` is the whole compound file. False with a reason on a damaged,
// encrypted or unsupported document. The text is charged to `budget`
// before it is read (ReadBudgetExceeded when it does not fit).
bool ReadWordBinary(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget = nullptr);

}  // namespace office
