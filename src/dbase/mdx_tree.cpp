// Key inserts and removals inside a tag.

#include "dbase/mdx_file.h"

#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/little_endian.h"
#include "dbase/mdx_internal.h"
#include "dbase/mdx_tree_edit.h"
#include "dbase/temporary_file.h"
#include "dbase/text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace dbase {

using namespace mdx_detail;

// ---------------------------------------------------------------------------------------------
// Tree changes

void MdxFile::insertKey(std::string_view tagName, std::string_view key, uint32_t recno) {
    requireWritable();
    Lock lock(*this, true);
    Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    if (key.size() != tag.keyLength)
        throw DatabaseError("A key of " + std::to_string(key.size()) + " bytes does not fit tag " +
                            tag.name + " of the index \"" + m_path + "\".");
    const std::string k(key);
    TreeEdit edit(*this, h, tag, [&](uint32_t page) { return readNode(h, tag, page); });
    if (tag.unique) {
        edit.descend(k, 0);
        const PathItem& leaf = edit.path().back();
        if (leaf.index < leaf.node.entries.size() &&
            tag.compareKey(bytes(leaf.node.entries[leaf.index].key), bytes(k)) == 0)
            return;
    }
    edit.descend(k, recno);
    auto& path = edit.path();
    PathItem& leaf = path.back();
    auto& es = leaf.node.entries;
    if (leaf.index < es.size() && es[leaf.index].ptr == recno &&
        tag.compareKey(bytes(es[leaf.index].key), bytes(k)) == 0)
        return;
    const bool newMax = leaf.index == es.size();
    es.insert(es.begin() + long(leaf.index), Entry{recno, k});
    leaf.node.dirty = true;
    if (newMax)
        edit.carryMax(path.size() - 1, k);
    const uint32_t pagesBefore = h.pages;
    edit.splitOverfull();
    Change change(*this);
    edit.write(m_path, m_fd, pagesBefore);
    change.commit();
}

bool MdxFile::removeKey(std::string_view tagName, std::string_view key, uint32_t recno) {
    requireWritable();
    Lock lock(*this, true);
    Header h = readHeader();
    const TagState tag = resolveTag(h, tagName);
    if (key.size() != tag.keyLength)
        return false;
    const std::string k(key);
    TreeEdit edit(*this, h, tag, [&](uint32_t page) { return readNode(h, tag, page); });
    if (!edit.findExact(k, recno))
        return false;
    auto& path = edit.path();
    PathItem& leaf = path.back();
    auto& es = leaf.node.entries;
    const bool wasMax = leaf.index + 1 == es.size();
    es.erase(es.begin() + long(leaf.index));
    leaf.node.dirty = true;
    if (es.empty() && path.size() > 1)
        edit.unlinkChild(path.size() - 2);
    else if (wasMax && !es.empty())
        edit.carryMax(path.size() - 1, es.back().key);
    Change change(*this);
    edit.write(m_path, m_fd, h.pages);
    change.commit();
    return true;
}

} // namespace dbase
