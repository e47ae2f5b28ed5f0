// What went wrong when a reader could not read a file: a kind that callers
// and tests decide on, and a detail in words for the person reading the log
// (the text varnel-find --extract and the automation error print). Readers
// fill one in and return false; the kind never has to be guessed from the
// words.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace office {

enum class ReadErrorKind : std::uint8_t {
    None,                // read
    NotThisFormat,       // the bytes are not a file of the format asked for
    Damaged,             // of that format, but broken, cut short or contradicting itself
    Encrypted,           // protected by a password (or certificate) that opening does not get past
    TooLarge,            // beyond the file's memory budget or a safety limit of the reader
    UnsupportedVersion,  // a version of the format that is not read
    Cancelled,           // a stop request ended the read (most readers throw instead)
    Unreadable,          // the file itself could not be opened or read
    Internal,            // a reader was used wrongly; never the file's fault
};

// The kind's name as written above ("TooLarge"), for test and debug output.
std::string_view ReadErrorKindName(ReadErrorKind kind);
std::ostream& operator<<(std::ostream& out, ReadErrorKind kind);

struct ReadError {
    ReadErrorKind kind = ReadErrorKind::None;
    std::string detail;

    bool ok() const { return kind == ReadErrorKind::None; }
    bool Is(ReadErrorKind k) const { return kind == k; }
    void Clear()
    {
        kind = ReadErrorKind::None;
        detail.clear();
    }
};

// "Kind: detail", for test and debug output.
std::ostream& operator<<(std::ostream& out, const ReadError& error);

}  // namespace office
