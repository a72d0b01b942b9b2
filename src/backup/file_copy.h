#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The file copies of backup and restore and the tests made before them. A copy never writes
// into its target directly: it goes to a hidden file beside the target and is renamed over
// the target only when it is complete, flushed and of the source's size, so a failed or
// cancelled copy leaves the old target as it was.

inline constexpr qint64 kCopyBlockSize = 2048;

// Free bytes an ordinary user may write on the file system holding directory; nullopt when
// that cannot be told. Tests pass their own.
using FreeSpaceProbe = std::function<std::optional<quint64>(const QString& directory)>;
std::optional<quint64> fileSystemFreeSpace(const QString& directory);

// Is there room to copy source to target? The space of a target that is replaced counts as
// free: enough when (size of target, 0 if none) + free bytes >= size of source. A file system
// whose free space cannot be told is given the benefit of the doubt; the copy then says.
bool hasRoomFor(const QString& source, const QString& target, const FreeSpaceProbe& freeSpace);

// Do the two paths name one file? True for the same file reached through a symbolic link, a
// "..", a hard link or another letter case on a case-blind file system (same device and
// inode); a file that does not exist is the same as another path only when both paths lead
// to the same place.
bool sameFile(const QString& a, const QString& b);

enum class CopyResult {
    Copied,
    Failed, // a read, write, flush or rename error, or a size that did not check
    NoRoom, // the target's file system filled up during the copy
};

// A set of copies that replaces every target or none. stage() copies one source to a hidden
// file beside its target; commit() renames them all over their targets. Files staged and not
// committed are removed when the batch ends.
class CopyBatch {
public:
    CopyBatch() = default;
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    CopyResult stage(const QString& source, const QString& target);
    // Where the last staged copy waits, for a change before it takes the target's place.
    QString lastStaged() const;
    bool commit();
    void discard();

private:
    struct Staged {
        QString temporary;
        QString target;
    };
    std::vector<Staged> m_staged;
};

// One copy, as a batch of one.
CopyResult copyFile(const QString& source, const QString& target);
