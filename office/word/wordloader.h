// Opens a file for the built-in Word. The reader is chosen by the file's
// first bytes: a compound file is a Word binary document (or an Office Open
// XML document saved with a password, opened when the password is Office's
// default one), a zip package an Office Open XML document, "{\rtf" a rich text document, markup a web page,
// anything else text if it is plausibly text, and a file that is none of
// these fails to open. The name counts for one thing only: a file named as a
// web page is one even when its markup has no html, head or body tag.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"
#include "office/word/worddocument.h"

#include <memory>
#include <string>
#include <string_view>

namespace office {

class FileBytesReader;

// What a file's name says about how its bytes are read.
enum class WordFileName {
    Any,      // the bytes alone decide
    WebPage,  // text that is not a container or RTF is markup
};

// The search reaches web pages through the mask *.htm, which, as on Windows,
// also matches .html and any longer extension that begins with "htm"
// (without regard to case); such names are web pages.
WordFileName WordFileNameOf(std::string_view path);

// What a file costs to read is charged to `budget`, one per opened file; a
// file beyond it fails as TooLarge ("too large: ..."). Without one, the call makes
// its own of the default size. Throws platform::OperationCancelled when the
// search is stopped.
bool LoadWordContent(ByteView bytes, WordContent& out, ReadError& error, WordFileName name = WordFileName::Any,
                     ReadBudget* budget = nullptr);

// Reads the file (read-only) and loads it. The file's bytes are let go as
// soon as its text is read; a UTF-8 text file longer than its first piece
// is decoded as it is read, so its bytes are never held whole.
bool LoadWordFile(const std::string& path, WordContent& out, ReadError& error, ReadBudget* budget = nullptr);
// The same for a file opened already; `path` gives its name.
bool LoadWordFile(FileBytesReader& file, const std::string& path, WordContent& out, ReadError& error,
                  ReadBudget* budget = nullptr);

// A file read as an opened document is, the same for Documents.Open, its
// read-ahead and a match report: one memory budget for everything the file
// costs to read. Null, with the reader's error, when it cannot be read.
std::shared_ptr<WordDocument> ReadWordDocument(const std::string& path, ReadError& error);
std::shared_ptr<WordDocument> ReadWordDocument(FileBytesReader& file, const std::string& path, ReadError& error);

}  // namespace office
