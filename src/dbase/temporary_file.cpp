#include "temporary_file.h"

#include "file_lock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dbase::temporary {

namespace {

constexpr std::string_view kPurposes[] = {"new", "pack", "index"};

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// TARGET.PURPOSE-PID-N, or TARGET.XXXXXX (six letters or digits), the name earlier versions
// gave a half-written index.
bool isOurs(std::string_view name, std::string_view target, bool index) {
    if (name.size() <= target.size() + 1 || name.substr(0, target.size()) != target ||
        name[target.size()] != '.')
        return false;
    const std::string_view rest = name.substr(target.size() + 1);
    if (index && rest.size() == 6 && std::all_of(rest.begin(), rest.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        }))
        return true;
    for (std::string_view purpose : kPurposes) {
        if (rest.size() <= purpose.size() + 1 || rest.substr(0, purpose.size()) != purpose ||
            rest[purpose.size()] != '-')
            continue;
        const std::string_view ids = rest.substr(purpose.size() + 1);
        const auto dash = ids.find('-');
        return dash != std::string_view::npos && allDigits(ids.substr(0, dash)) &&
               allDigits(ids.substr(dash + 1));
    }
    return false;
}

} // namespace

int create(const fs::path& target, const char* purpose, fs::path& path) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path =
            target.parent_path() / (target.filename().string() + "." + purpose + "-" +
                                    std::to_string(::getpid()) + "-" + std::to_string(++counter));
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue; // a leftover of a dead process that had our process id
        if (fd < 0)
            return -1;
        if (!locks::tryLock(fd, locks::kOpenByte, locks::Kind::Write)) {
            // Only a file system without record locks refuses; the file is ours all the same.
            if (errno == EAGAIN || errno == EACCES) {
                ::close(fd);
                ::unlink(path.c_str());
                continue;
            }
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

std::vector<std::string> removeStale(const fs::path& tableFile, const fs::path& indexFile) {
    std::vector<std::string> removed;
    std::error_code ec;
    const fs::path dir = tableFile.parent_path().empty() ? fs::path(".") : tableFile.parent_path();
    const std::string table = tableFile.filename().string();
    const std::string index = indexFile.filename().string();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isOurs(name, table, false) && !isOurs(name, index, true))
            continue;
        const int fd = ::open(it->path().c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A live writer holds its file locked; only a dead one's leftover can be taken.
        if (locks::tryLock(fd, locks::kOpenByte, locks::Kind::Write) &&
            ::unlink(it->path().c_str()) == 0)
            removed.push_back(name);
        ::close(fd);
    }
    return removed;
}

} // namespace dbase::temporary
