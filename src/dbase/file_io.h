#pragma once

// Every read and write of a table or index file goes through here: one loop that retries
// after EINTR and short transfers, and one place where a test can make a write fail (a full
// disk, an I/O error) or end the process half-way through a change.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

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

namespace dbase::io {

// A read-only view of a file mapped into memory, for reads that must not cost a system call
// each (walks in key order, the index's change counter). Reads are copies made under a guard:
// pages another program cut off the file turn into a failed read, never a crash. Writes still
// go through writeAt; the view sees them, as it sees other processes' writes.
class MappedView {
public:
    MappedView() = default;
    ~MappedView();
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // Maps the first size bytes of fd (size 0 unmaps). False when the system refuses; the
    // caller then reads with readAt.
    bool map(int fd, std::uint64_t size);
    void unmap();
    bool mapped() const { return m_data != nullptr; }
    std::uint64_t size() const { return m_size; }
    // False when [offset, offset + size) is not in the view or its pages are gone.
    bool copy(void* data, std::uint64_t offset, std::size_t size) const;
    // Copies size bytes from each of count offsets to data, one after another, under one
    // guard, prefetching a few ahead. False, with nothing known of what arrived, when any of
    // them is not in the view or its pages are gone: copy them one by one then.
    bool copyEach(char* data, const std::uint64_t* offsets, std::size_t count,
                  std::size_t size) const;
    // Between hold(true) and hold(false) copies keep the pages they touch; hold(false) gives
    // them all back at once. For a batch of copies spread over the whole file, where giving
    // pages back as usual would map most of them again and again.
    void hold(bool on) const;
    // Ends a hold but keeps the pages: a walk that follows at once finds them mapped. The
    // usual giving back resumes with the copies after it.
    void release() const {
        if (m_held)
            m_copiesSinceDrop = 0;
        m_held = false;
    }
    // Maps in one call the pages of every 2 MiB stretch of the view that holds many of these
    // offsets, instead of faulting them in one by one as the copies reach them. Stretches
    // mapped so since the pages were last given back are left alone. A hint: nothing fails.
    void populate(const std::vector<std::uint64_t>& offsets) const;
    // A hint that [offset, offset + size) will be copied soon; never faults.
    void prefetch(std::uint64_t offset, std::size_t size) const {
        if (!m_data || offset > m_size || size > m_size - offset)
            return;
        for (std::size_t at = 0; at < size; at += 64)
            __builtin_prefetch(m_data + offset + at);
    }

private:
    const char* m_data = nullptr;
    std::uint64_t m_size = 0;
    // Pages a copy touched stay in the process's resident set until dropped; a walk over a
    // large table would otherwise count the whole file as the program's memory.
    mutable std::uint32_t m_copiesSinceDrop = 0;
    mutable bool m_held = false;
    mutable std::vector<bool> m_populated; // by 2 MiB stretch, since the last drop
    void drop() const;
};

} // namespace dbase::io
