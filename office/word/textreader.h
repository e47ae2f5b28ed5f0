// Plain text files for the built-in Word: the encoding is found from the
// bytes (byte-order mark, valid UTF-8, UTF-16 told by its zero bytes, else
// the legacy code page uchardet names, Windows-1252 when it cannot tell),
// line ends become paragraph marks, and bytes that are no plausible text are
// refused so that a damaged or binary file is reported, not passed over.
//
// The text is decoded a piece at a time straight into the one story it
// becomes, line ends turned into paragraph marks on the way, so reading
// holds the file's bytes and one copy of its text (UTF-8 read from a file:
// a piece of its bytes and the text), and that copy is charged to the
// file's memory budget as it grows. Valid UTF-8 (and so ASCII) is validated
// and decoded in one pass, runs of printable ASCII and LF sixteen bytes at
// a time.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/text/textdecode.h"
#include "office/word/wordcontent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

class FileBytesReader;

// Bytes read from a text file at a time.
constexpr std::size_t kTextPieceBytes = std::size_t{256} << 10;

enum class TextFileRead {
    Read,
    Failed,     // with a reason, as ReadText gives it
    ReadWhole,  // only the whole bytes can tell: read them again and ReadText them
};

// ReadText for a file read from its start through `file`, decoded a piece
// at a time as it is read, so that its bytes are never held whole beside
// its text: UTF-8 (and so ASCII) text, the same text ReadText makes of the
// same bytes. `bytes` holds what was read so far (a byte-order mark's
// worth at least, unless that is all of the file) and is the buffer of
// the pieces after.
TextFileRead ReadTextFile(FileBytesReader& file, std::vector<std::uint8_t>& bytes, WordContent& out, ReadError& error,
                          ReadBudget* budget, std::size_t pieceBytes = kTextPieceBytes);

}  // namespace office
