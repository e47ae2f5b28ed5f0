// Reads a file into memory for the format readers, read-only: the built-in
// Office never writes to a searched file. The size is capped so a huge or
// endless file (a device, a FIFO) cannot exhaust memory. A reader that can
// decode as it goes (plain text) takes the file a piece at a time through
// FileBytesReader, so that the whole file's bytes are never held beside
// what they become.
#pragma once

#include "office/containers/readerror.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace office {

// Largest file the built-in Office opens.
constexpr std::size_t kMaxDocumentBytes = std::size_t{512} * 1024 * 1024;

// False with a reason in `error` when the path is not a readable regular
// file or is larger than `maxBytes`. Throws platform::OperationCancelled
// when Stop comes while a large file is read.
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out, ReadError& error,
                   std::size_t maxBytes = kMaxDocumentBytes);

// One opened file read from its start a piece at a time. No more than the
// size it had when opened is read; a file that shrinks ends early.
class FileBytesReader {
public:
    FileBytesReader() = default;
    ~FileBytesReader();
    FileBytesReader(const FileBytesReader&) = delete;
    FileBytesReader& operator=(const FileBytesReader&) = delete;

    // The refusals of ReadFileBytes.
    bool Open(const std::string& path, ReadError& error, std::size_t maxBytes = kMaxDocumentBytes);
    // Reads through `fd`, open for reading at its start, which stays the
    // caller's to close; the same refusals, made on `opened`, the file's
    // status as the caller's open found it (on a small file a system call
    // is a good part of the cost).
    bool Borrow(int fd, const struct stat& opened, ReadError& error, std::size_t maxBytes = kMaxDocumentBytes);
    std::size_t Size() const { return m_size; }
    // When the file was last changed, as it stood when opened.
    std::int64_t ModifiedNs() const { return m_modifiedNs; }
    std::size_t Offset() const { return m_offset; }
    // Nothing more to read: the size reached, or the file shrank.
    bool AtEnd() const { return m_ended || m_offset >= m_size; }

    // Appends up to `bytes` more of the file to `out`, growing it by as much
    // as is read. False with a reason when the read fails. Throws
    // platform::OperationCancelled when Stop comes, except before the
    // first read, so that a small file costs no look at the request.
    bool Append(std::vector<std::uint8_t>& out, std::size_t bytes, ReadError& error);
    // Back to the start, to read the file again.
    bool Rewind(ReadError& error);

private:
    bool Examine(ReadError& error, std::size_t maxBytes);
    bool Accept(const struct stat& st, ReadError& error, std::size_t maxBytes);

    int m_fd = -1;
    bool m_owned = true;
    std::size_t m_size = 0;
    std::int64_t m_modifiedNs = 0;
    std::size_t m_offset = 0;
    bool m_ended = false;
};

// The rest of an opened file, all of it when nothing was read yet.
bool ReadFileBytes(FileBytesReader& file, std::vector<std::uint8_t>& out, ReadError& error);

}  // namespace office
