// Whole-file reads for the readers (see filebytes.h).
#include "office/containers/filebytes.h"

#include "platform/cancellation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace office {

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out, ReadError& error, std::size_t maxBytes)
{
    out.clear();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = {ReadErrorKind::Unreadable, std::string("cannot open file: ") + std::strerror(errno)};
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = {ReadErrorKind::Unreadable, "not a regular file"};
        return false;
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        error = {ReadErrorKind::TooLarge, "file is too large"};
        return false;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    try {
        out.reserve(size);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        error = {ReadErrorKind::TooLarge, "out of memory"};
        return false;
    }
    // A few megabytes a call, the buffer growing by each, so that Stop is
    // looked for while a large file is read.
    constexpr std::size_t kSlice = std::size_t{4} << 20;
    std::size_t done = 0;
    while (done < size) {
        if (done != 0 && platform::IsSearchStopRequested()) {
            ::close(fd);
            out.clear();
            throw platform::OperationCancelled();
        }
        const std::size_t want = std::min(kSlice, size - done);
        out.resize(done + want);
        const ssize_t n = ::read(fd, out.data() + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            error = {ReadErrorKind::Unreadable, std::string("read failed: ") + std::strerror(errno)};
            out.clear();
            return false;
        }
        if (n == 0) break;  // the file shrank while we read it
        done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    ::close(fd);
    return true;
}

}  // namespace office
