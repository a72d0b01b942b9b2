#include "file_io.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace dbase::io {

namespace {

WriteFault& fault() {
    static WriteFault f;
    return f;
}

std::uint64_t& writes() {
    static std::uint64_t n = 0;
    return n;
}

// True when the test seam refuses this write (errno set).
bool refused() {
    if (!fault())
        return false;
    const int err = fault()(++writes());
    if (err == 0)
        return false;
    errno = err;
    return true;
}

} // namespace

bool readAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = 0;
            return false;
        }
        p += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool writeAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
    if (refused())
        return false;
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        p += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

bool sync(int fd) {
    if (refused())
        return false;
    return ::fsync(fd) == 0;
}

void setWriteFault(WriteFault f) {
    fault() = std::move(f);
    writes() = 0;
}

} // namespace dbase::io
