// Plain text files for the built-in Word: the encoding is found from the
// bytes (byte-order mark, valid UTF-8, UTF-16 told by its zero bytes, else
// the legacy code page uchardet names, Windows-1252 when it cannot tell),
// line ends become paragraph marks, and bytes that are no plausible text are
// refused so that a damaged or binary file is reported, not passed over.
//
// The text is decoded a piece at a time straight into the one story it
// becomes, line ends turned into paragraph marks on the way, so reading
// holds the file's bytes and one copy of its text, and that copy is charged
// to the file's memory budget as it grows. Valid UTF-8 (and so ASCII) is
// validated and decoded in one pass, printable ASCII eight bytes at a time.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/text/textdecode.h"
#include "office/word/wordcontent.h"

#include <string>

namespace office {

// False with a reason for binary data, undecodable text or a text beyond
// `budget` ("too large: ..."). Throws platform::OperationCancelled when the
// search is stopped.
bool ReadText(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget);
// The same without a budget.
bool ReadText(ByteView bytes, WordContent& out, ReadError& error);
// ReadText without the one-pass route for UTF-8: every text goes through
// the charset decoder. The same result by contract; the tests hold the
// quick route to it.
bool ReadTextGeneral(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget);

}  // namespace office
