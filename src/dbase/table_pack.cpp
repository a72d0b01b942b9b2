// Pack: the file that replaces the table.

#include "table.h"

#include "dbf_layout.h"
#include "file_io.h"
#include "file_lock.h"
#include "little_endian.h"
#include "natural_order.h"
#include "table_internal.h"
#include "temporary_file.h"
#include "text.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dbase {

using namespace table_detail;

// Pack writes the live records into a new file beside the table and renames it over the table.
// The new file is locked for exclusive use before it gets the table's name, so no other program
// can slip in between, and the table stays open on it afterwards. A failure before the rename
// leaves the table exactly as it was.
void Table::pack() {
    requireWritable("pack");
    if (m_mode != OpenMode::Exclusive)
        fail("packing needs exclusive use of the table");
    checkBrowseMode();

    fs::path temp;
    const int fd = temporary::create(m_path, "pack", temp);
    if (fd < 0)
        fail("the table cannot be packed (" + systemError(errno) + ")");
    FdCloser closer{fd};
    auto abandon = [&](const std::string& why) {
        ::unlink(temp.c_str());
        fail("the table cannot be packed (" + why + ")");
    };

    std::string header(m_headerLength, '\0');
    if (!io::readAt(m_fd, header.data(), header.size(), 0))
        abandon("the header cannot be read");
    std::uint64_t out = m_headerLength;
    std::uint32_t kept = 0;
    std::string chunk;
    chunk.reserve(kCacheBytes + m_recordLength);
    for (std::uint32_t r = 1; r <= m_recordCount; ++r) {
        const char* rec = cachedRecord(r);
        if (rec[0] == layout::kDeletedFlag)
            continue;
        chunk.append(rec, m_recordLength);
        ++kept;
        if (chunk.size() >= kCacheBytes) {
            if (!io::writeAt(fd, chunk.data(), chunk.size(), out))
                abandon(systemError(errno));
            out += chunk.size();
            chunk.clear();
        }
    }
    chunk += layout::kEndOfFile;
    const Date now = today();
    putUpdateDate(header, now);
    writeU32(header, layout::kRecordCount, kept);
    struct stat st {};
    if (!io::writeAt(fd, chunk.data(), chunk.size(), out) ||
        !io::writeAt(fd, header.data(), header.size(), 0) || ::fstat(m_fd, &st) != 0 ||
        ::fchmod(fd, st.st_mode & 07777) != 0 || !io::sync(fd))
        abandon(systemError(errno));
    if (m_hook) {
        try {
            m_hook->aboutToPack(*this);
        } catch (const DatabaseError& e) {
            abandon(e.what());
        }
    }
    if (::rename(temp.c_str(), m_path.c_str()) != 0)
        abandon(systemError(errno));
    syncDirectory(m_path.parent_path());

    ::close(m_fd); // the old file, now nameless; its locks go with it
    m_fd = fd;
    closer.fd = -1;
    m_headerBytes = header.substr(0, layout::kFixedHeaderSize);
    m_recordCount = kept;
    m_view.unmap(); // it shows the old file
    mapRecords();
    m_lastTouched = now;
    m_lockedRecNo = 0;
    forgetCachedRecords();
    if (m_hook)
        m_hook->packed(*this);
    first();
    notify(TableObserver::Change::DataChanged);
}

} // namespace dbase
