// The File Information Block at the start of a Word binary document's
// "WordDocument" stream: which Word wrote it, whether it is encrypted,
// which table stream holds its structures, how long each story is and where
// the piece table lies. Both layouts are read: Word 97-2003 and the older
// Word 6.0/95 one.
#pragma once

#include "office/containers/readerror.h"
#include "office/word/wordcontent.h"

#include <array>
#include <cstdint>
#include <string>

namespace office {

// The first format number of Word 6.0; documents below it (Word 1.x and
// 2.0) are not read, whether they come as a compound file or a flat one.
constexpr std::uint16_t kFirstWord6Fib = 101;
constexpr const char* kOldWordRefusal = "Word 2.0 and older documents are not supported";

// Stories in the order their text follows one another in the document's
// character positions.
enum class DocStory : std::size_t {
    Main,
    Footnotes,
    Headers,
    Macros,  // unused by modern files; counted so later stories line up
    Comments,
    Endnotes,
    TextBoxes,
    HeaderTextBoxes,
    Count,
};

struct DocFib {
    std::uint16_t nFib = 0;
    std::uint16_t lid = 0;      // language of the document
    bool word6 = false;         // Word 6.0/95 layout (nFib 101..105)
    bool complex = false;       // fComplex: last save was a fast save
    bool encrypted = false;     // fEncrypted
    bool tableStream1 = false;  // fWhichTblStm: "1Table" rather than "0Table"
    bool extChar = false;       // fExtChar
    std::uint32_t fcMin = 0;    // start of the text in a non-complex file
    std::uint32_t fcMac = 0;
    std::array<std::uint32_t, static_cast<std::size_t>(DocStory::Count)> ccp{};
    std::uint32_t fcClx = 0;   // piece table, in the table stream (Word 97)
    std::uint32_t lcbClx = 0;  // or in the WordDocument stream (Word 6)
    // Word 6/95 only, in the WordDocument stream: the style sheet and the
    // font table, which tell the code page when the language does not.
    std::uint32_t fcStshf = 0;
    std::uint32_t lcbStshf = 0;
    std::uint32_t fcSttbfFfn = 0;
    std::uint32_t lcbSttbfFfn = 0;
};

// Parses the FIB from the head of the WordDocument stream. False with a
// reason for a stream that is not a Word document or comes from a version
// this reader does not know (Word 2 and older).
bool ParseDocFib(ByteView wordDocument, DocFib& fib, ReadError& error);

}  // namespace office
