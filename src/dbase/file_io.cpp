#include "file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
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

namespace dbase::io {

namespace {

// Every so many copies, give the touched pages back (the page cache keeps them, so the next
// touch is a cheap minor fault). A fault maps up to 64 KiB around the page, so this keeps at
// most about 64 MB of the file resident.
constexpr std::uint32_t kCopiesBeforeDrop = 1024;
// A view no larger than a few pages (an index header) can never hold much.
constexpr std::uint64_t kSmallView = 64 * 1024;

// A page of a mapping whose file was cut short raises SIGBUS. While a guarded copy runs, the
// handler jumps back out of it; any other SIGBUS goes to whoever handled it before.
// volatile, and fenced around the copy: without it the compiler may drop the store before the
// copy, since memcpy cannot read it, and the handler would find no guard.
thread_local sigjmp_buf* volatile t_guard = nullptr;
struct sigaction g_previous {};

void onBusError(int signal, siginfo_t* info, void* context) {
    if (t_guard) {
        sigjmp_buf* guard = t_guard;
        t_guard = nullptr;
        siglongjmp(*guard, 1);
    }
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // Default action: put it back and let the faulting access raise it again.
    ::sigaction(SIGBUS, &g_previous, nullptr);
}

void installGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

bool guardedCopy(void* to, const char* from, std::size_t size) {
    sigjmp_buf guard;
    if (sigsetjmp(guard, 0) != 0)
        return false;
    t_guard = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, size);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard = nullptr;
    return true;
}

} // namespace

MappedView::~MappedView() {
    unmap();
}

bool MappedView::map(int fd, std::uint64_t size) {
    unmap();
    if (size == 0)
        return false;
    installGuard();
    void* p = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
        return false;
    m_data = static_cast<const char*>(p);
    m_size = size;
    m_copiesSinceDrop = 0;
    m_populated.clear();
    ::madvise(p, static_cast<std::size_t>(size), MADV_RANDOM); // jumps, not scans
    return true;
}

void MappedView::unmap() {
    if (m_data)
        ::munmap(const_cast<char*>(m_data), static_cast<std::size_t>(m_size));
    m_data = nullptr;
    m_size = 0;
}

bool MappedView::copy(void* data, std::uint64_t offset, std::size_t size) const {
    if (!m_data || offset > m_size || size > m_size - offset)
        return false;
    if (!guardedCopy(data, m_data + offset, size))
        return false;
    if (++m_copiesSinceDrop >= kCopiesBeforeDrop && !m_held && m_size > kSmallView)
        drop();
    return true;
}

bool MappedView::copyEach(char* data, const std::uint64_t* offsets, std::size_t count,
                          std::size_t size) const {
    if (!m_data)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (offsets[i] > m_size || size > m_size - offsets[i])
            return false;
    sigjmp_buf guard;
    if (sigsetjmp(guard, 0) != 0)
        return false;
    t_guard = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // Scattered reads: ask for the records a few ahead while this one is copied, so the
    // waits for memory overlap.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kAhead < count)
            prefetch(offsets[i + kAhead], size);
        std::memcpy(data + i * size, m_data + offsets[i], size);
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard = nullptr;
    m_copiesSinceDrop += static_cast<std::uint32_t>(count);
    if (m_copiesSinceDrop >= kCopiesBeforeDrop && !m_held && m_size > kSmallView)
        drop();
    return true;
}

void MappedView::hold(bool on) const {
    m_held = on;
    if (!on && m_copiesSinceDrop > 0)
        drop();
}

void MappedView::drop() const {
    if (m_data)
        ::madvise(const_cast<char*>(m_data), static_cast<std::size_t>(m_size), MADV_DONTNEED);
    m_copiesSinceDrop = 0;
    m_populated.clear();
}

void MappedView::populate(const std::vector<std::uint64_t>& offsets) const {
#ifdef MADV_POPULATE_READ
    // Under a hypervisor a page fault is dear, and a batch of copies spread over the file
    // takes one for nearly every 64 KiB it touches. Mapping a dense stretch in one call costs
    // about what a few faults do. Stretches with only a few copies due fault as usual.
    constexpr unsigned kStretchShift = 21;
    constexpr std::uint32_t kDense = 16;
    if (!m_data || offsets.size() < kDense)
        return;
    const std::size_t stretches = static_cast<std::size_t>((m_size >> kStretchShift) + 1);
    m_populated.resize(stretches, false);
    std::vector<std::uint32_t> due(stretches, 0);
    for (const std::uint64_t offset : offsets)
        if (offset < m_size)
            ++due[static_cast<std::size_t>(offset >> kStretchShift)];
    std::size_t i = 0;
    while (i < stretches) {
        if (due[i] < kDense || m_populated[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < stretches && due[end] >= kDense && !m_populated[end])
            m_populated[end++] = true;
        const std::uint64_t from = std::uint64_t{i} << kStretchShift;
        const std::uint64_t to =
            std::min<std::uint64_t>(m_size, std::uint64_t{end} << kStretchShift);
        // Fails on kernels before 5.14 (EINVAL) and over pages cut off the file (EFAULT):
        // the copies then fault or fail as they would have.
        ::madvise(const_cast<char*>(m_data) + from, static_cast<std::size_t>(to - from),
                  MADV_POPULATE_READ);
        i = end;
    }
#else
    (void)offsets;
#endif
}

} // namespace dbase::io
