#include "file_lock.h"

#include <cerrno>
#include <fcntl.h>

namespace dbase::locks {

namespace {

bool apply(int fd, std::uint64_t offset, short type, int command) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = 1;
    fl.l_pid = 0; // required for open file description locks
    while (::fcntl(fd, command, &fl) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

bool tryLock(int fd, std::uint64_t offset, Kind kind) {
    return apply(fd, offset, kind == Kind::Read ? F_RDLCK : F_WRLCK, F_OFD_SETLK);
}

bool waitLock(int fd, std::uint64_t offset, Kind kind) {
    return apply(fd, offset, kind == Kind::Read ? F_RDLCK : F_WRLCK, F_OFD_SETLKW);
}

void unlock(int fd, std::uint64_t offset) {
    apply(fd, offset, F_UNLCK, F_OFD_SETLK);
}

} // namespace dbase::locks
