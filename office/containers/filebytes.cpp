// Whole-file and piecewise reads for the readers (see filebytes.h).
#include "office/containers/filebytes.h"

#include "office/text/hugepages.h"
#include "platform/cancellation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace office {

namespace {

// A few megabytes a call, so that Stop is looked for while a large file is
// read.
constexpr std::size_t kSlice = std::size_t{4} << 20;

ReadError ErrnoError(const char* what)
{
    return {ReadErrorKind::Unreadable, std::string(what) + std::strerror(errno)};
}

}  // namespace

FileBytesReader::~FileBytesReader()
{
    if (m_fd >= 0 && m_owned) ::close(m_fd);
}

bool FileBytesReader::Open(const std::string& path, ReadError& error, std::size_t maxBytes)
{
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        error = ErrnoError("cannot open file: ");
        return false;
    }
    return Examine(error, maxBytes);
}

bool FileBytesReader::Borrow(int fd, const struct stat& opened, ReadError& error, std::size_t maxBytes)
{
    m_fd = fd;
    m_owned = false;
    if (fd < 0) {
        error = {ReadErrorKind::Unreadable, "cannot open file: not open"};
        return false;
    }
    return Accept(opened, error, maxBytes);
}

bool FileBytesReader::Examine(ReadError& error, std::size_t maxBytes)
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        error = {ReadErrorKind::Unreadable, "not a regular file"};
        return false;
    }
    return Accept(st, error, maxBytes);
}

bool FileBytesReader::Accept(const struct stat& st, ReadError& error, std::size_t maxBytes)
{
    if (!S_ISREG(st.st_mode)) {
        error = {ReadErrorKind::Unreadable, "not a regular file"};
        return false;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = {ReadErrorKind::TooLarge, "file is too large"};
        return false;
    }
    m_size = static_cast<std::size_t>(st.st_size);
    m_modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    // What is read from here on is allocated by this thread.
    WarmThreadHeap();
    return true;
}

bool FileBytesReader::Append(std::vector<std::uint8_t>& out, std::size_t bytes, ReadError& error)
{
    const std::size_t start = out.size();
    const std::size_t goal = std::min(bytes, m_size - std::min(m_offset, m_size));
    std::size_t done = 0;
    while (done < goal && !m_ended) {
        if (m_offset != 0 && platform::IsSearchStopRequested()) throw platform::OperationCancelled();
        const std::size_t want = std::min(kSlice, goal - done);
        out.resize(start + done + want);
        const ssize_t n = ::read(m_fd, out.data() + start + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = ErrnoError("read failed: ");
            out.resize(start);
            return false;
        }
        if (n == 0) m_ended = true;  // the file shrank while we read it
        done += static_cast<std::size_t>(n);
        m_offset += static_cast<std::size_t>(n);
    }
    out.resize(start + done);
    return true;
}

bool FileBytesReader::Rewind(ReadError& error)
{
    if (::lseek(m_fd, 0, SEEK_SET) != 0) {
        error = ErrnoError("read failed: ");
        return false;
    }
    m_offset = 0;
    m_ended = false;
    return true;
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out, ReadError& error, std::size_t maxBytes)
{
    out.clear();
    FileBytesReader file;
    if (!file.Open(path, error, maxBytes)) return false;
    return ReadFileBytes(file, out, error);
}

bool ReadFileBytes(FileBytesReader& file, std::vector<std::uint8_t>& out, ReadError& error)
{
    out.clear();
    try {
        ReserveLarge(out, file.Size());
    } catch (const std::bad_alloc&) {
        error = {ReadErrorKind::TooLarge, "out of memory"};
        return false;
    }
    try {
        if (file.Append(out, file.Size(), error)) return true;
    } catch (const platform::OperationCancelled&) {
        out.clear();
        throw;
    }
    out.clear();
    return false;
}

}  // namespace office
