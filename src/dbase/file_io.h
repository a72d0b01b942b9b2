#pragma once

// Every read and write of a table or index file goes through here: one loop that retries
// after EINTR and short transfers, and one place where a test can make a write fail (a full
// disk, an I/O error) or end the process half-way through a change.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace dbase::io {

// Reads exactly size bytes at offset; false on a short read or an error (errno set).
bool readAt(int fd, void* data, std::size_t size, std::uint64_t offset);
// Writes all bytes at offset; false with errno set on failure (ENOSPC when nothing went in).
bool writeAt(int fd, const void* data, std::size_t size, std::uint64_t offset);
// fsync(fd); false with errno set.
bool sync(int fd);

// Test seam. Called before every write and sync with the number of writes so far (counting
// from 1 for this one); answering an errno makes the write fail with it, 0 lets it through.
// The handler may also end the process, as a kill would. An empty handler (the default)
// costs one test per write.
using WriteFault = std::function<int(std::uint64_t writeNumber)>;
void setWriteFault(WriteFault fault);

} // namespace dbase::io
