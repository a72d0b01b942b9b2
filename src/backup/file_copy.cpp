#include "backup/file_copy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, reporting the error a delayed write may only show here.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool isNoRoom(int err) {
    return err == ENOSPC || err == EDQUOT;
}

void syncDirectory(const QString& dir) {
    const int fd = ::open(nativePath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A path for a file that does not exist: its directory as the file system resolves it (links
// and ".." followed), and its own name.
QString placeOf(const QString& path) {
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (dir.isEmpty() ? info.absolutePath() : dir) + QLatin1Char('/') + info.fileName();
}

int temporaryCounter = 0;

} // namespace

std::optional<quint64> fileSystemFreeSpace(const QString& directory) {
    std::error_code ec;
    const auto info = std::filesystem::space(nativePath(directory).toStdString(), ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1))
        return std::nullopt;
    return static_cast<quint64>(info.available);
}

bool hasRoomFor(const QString& source, const QString& target, const FreeSpaceProbe& freeSpace) {
    const QFileInfo s(source);
    const QFileInfo t(target);
    const quint64 needed = s.exists() ? static_cast<quint64>(s.size()) : 0;
    const quint64 replaced = t.exists() ? static_cast<quint64>(t.size()) : 0;
    const auto free = (freeSpace ? freeSpace : FreeSpaceProbe(fileSystemFreeSpace))(
        QFileInfo(t.absolutePath()).absoluteFilePath());
    if (!free)
        return true;
    return replaced + *free >= needed;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    const bool hasA = ::stat(nativePath(a).constData(), &sa) == 0;
    const bool hasB = ::stat(nativePath(b).constData(), &sb) == 0;
    if (hasA && hasB)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (hasA != hasB)
        return false;
    return placeOf(a) == placeOf(b);
}

CopyBatch::~CopyBatch() {
    discard();
}

CopyResult CopyBatch::stage(const QString& source, const QString& target) {
    const QFileInfo targetInfo(target);
    const QString dir = targetInfo.absolutePath();

    Fd in(::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return CopyResult::Failed;
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode))
        return CopyResult::Failed;

    // A replaced file keeps its permissions; a new one gets the usual ones.
    struct stat targetStat {};
    const mode_t mode = ::stat(nativePath(target).constData(), &targetStat) == 0
                            ? (targetStat.st_mode & 07777)
                            : 0666;
    QString temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = QDir(dir).filePath(QStringLiteral(".%1.%2-%3.part")
                                           .arg(targetInfo.fileName())
                                           .arg(QCoreApplication::applicationPid())
                                           .arg(++temporaryCounter));
        fd = ::open(nativePath(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    mode);
        if (fd < 0 && errno != EEXIST)
            return isNoRoom(errno) ? CopyResult::NoRoom : CopyResult::Failed;
    }
    if (fd < 0)
        return CopyResult::Failed;
    Fd out(fd);
    m_staged.push_back({temporary, targetInfo.absoluteFilePath()});
    auto fail = [this](int err) {
        QFile::remove(m_staged.back().temporary);
        m_staged.pop_back();
        return isNoRoom(err) ? CopyResult::NoRoom : CopyResult::Failed;
    };

    char block[kCopyBlockSize];
    qint64 copied = 0;
    for (;;) {
        const ssize_t got = ::read(in.get(), block, sizeof block);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (got == 0)
            break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(out.get(), block + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return fail(errno);
            }
            done += put;
        }
        copied += got;
    }
    if (::fsync(out.get()) != 0)
        return fail(errno);
    struct stat written {};
    if (::fstat(out.get(), &written) != 0)
        return fail(errno);
    if (!out.close())
        return fail(errno);
    // A source that changed size while it was read, or a copy that came out short, is no copy.
    struct stat after {};
    if (copied != sourceStat.st_size || written.st_size != copied ||
        ::fstat(in.get(), &after) != 0 || after.st_size != sourceStat.st_size)
        return fail(0);
    return CopyResult::Copied;
}

QString CopyBatch::lastStaged() const {
    return m_staged.empty() ? QString() : m_staged.back().temporary;
}

bool CopyBatch::commit() {
    QStringList dirs;
    bool ok = true;
    while (!m_staged.empty()) {
        const Staged s = m_staged.front();
        if (std::rename(nativePath(s.temporary).constData(), nativePath(s.target).constData()) !=
            0) {
            ok = false;
            break;
        }
        m_staged.erase(m_staged.begin());
        const QString dir = QFileInfo(s.target).absolutePath();
        if (!dirs.contains(dir))
            dirs << dir;
    }
    for (const QString& dir : dirs)
        syncDirectory(dir);
    discard();
    return ok;
}

void CopyBatch::discard() {
    for (const Staged& s : m_staged)
        QFile::remove(s.temporary);
    m_staged.clear();
}

CopyResult copyFile(const QString& source, const QString& target) {
    CopyBatch batch;
    const CopyResult result = batch.stage(source, target);
    if (result != CopyResult::Copied)
        return result;
    return batch.commit() ? CopyResult::Copied : CopyResult::Failed;
}
