#pragma once

#include <cstdint>

namespace dbase {

// Byte-range locks on a table file. They are open file description locks: they belong to the
// open file, not the process, so two Table objects in one process exclude each other just as
// two processes do, and the kernel drops them when the last descriptor closes or the process
// dies. All ranges lie far past any real data, so they never block plain reads.
namespace locks {

// Every opener holds a read lock here; an exclusive opener holds a write lock instead.
inline constexpr std::uint64_t kOpenByte = 0x7FFF'FFFF'0000'0000ULL;
// Serialises appends (the dBase append byte).
inline constexpr std::uint64_t kAppendByte = 0xEFFF'FFFFULL;
// Record n is locked while it is being edited at 0xEFFFFFFE - n (the dBase record byte).
inline constexpr std::uint64_t kRecordBase = 0xEFFF'FFFEULL;

enum class Kind { Read, Write };

// Non-blocking: false when another open file holds a conflicting lock.
bool tryLock(int fd, std::uint64_t offset, Kind kind);
// Waits for the lock. False only on an error other than a conflict.
bool waitLock(int fd, std::uint64_t offset, Kind kind);
void unlock(int fd, std::uint64_t offset);

} // namespace locks
} // namespace dbase
