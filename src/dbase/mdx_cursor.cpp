// Walking a tag.

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
// Cursor

MdxCursor MdxFile::cursor(std::string_view tag) {
    return MdxCursor(*this, std::string(tag));
}

MdxCursor::MdxCursor(MdxFile& file, std::string tagName)
    : m_file(&file), m_tagName(std::move(tagName)) {
    MdxFile::Lock lock(*m_file, false);
    ensureTag();
}

MdxCursor::~MdxCursor() = default;
MdxCursor::MdxCursor(MdxCursor&&) noexcept = default;

KeyType MdxCursor::keyType() const {
    return m_tag->type;
}
uint16_t MdxCursor::keyLength() const {
    return m_tag->keyLength;
}

void MdxCursor::ensureTag() {
    if (m_tag && m_generation == m_file->m_generation)
        return;
    const auto h = m_file->readHeader();
    m_tag = std::make_unique<MdxFile::TagState>(m_file->resolveTag(h, m_tagName));
    m_generation = m_file->m_generation;
    m_path.clear();
}

namespace {
MdxFile::Header headerFor(const MdxFile::TagState& t) {
    MdxFile::Header h;
    h.pages = t.pages;
    h.blockPages = t.blockPages;
    h.blockBytes = t.blockBytes;
    return h;
}
} // namespace

MdxFile::Node MdxCursor::readPage(uint32_t page) {
    // Pages are read under the lock, so an even change counter that has not moved since a
    // page was kept means the page is still what the file holds: a step from one leaf to the
    // next re-reads its path from here instead of from the file.
    uint32_t counter = 0;
    const bool stable = m_file->readCounter(counter) && counter % 2 == 0;
    if (!stable || counter != m_pagesCounter || m_generation != m_pagesGeneration) {
        m_pages.clear();
        m_pagesCounter = counter;
        m_pagesGeneration = m_generation;
    }
    if (stable)
        for (auto it = m_pages.begin(); it != m_pages.end(); ++it)
            if (it->page == page) {
                // Most recently used last: the path's upper pages stay while leaves come and go.
                std::rotate(it, it + 1, m_pages.end());
                return m_pages.back();
            }
    // Another writer may have grown the file since the page count was last read.
    if (uint64_t(page) + m_tag->blockPages > m_tag->pages)
        m_tag->pages = m_file->readHeader().pages;
    MdxFile::Node n =
        stable ? readThroughWindow(page) : m_file->readNode(headerFor(*m_tag), *m_tag, page);
    if (stable) {
        if (m_pages.size() >= kKeptPages)
            m_pages.erase(m_pages.begin());
        m_pages.push_back(n);
    }
    return n;
}

// A tree written in one go lies in key order on disk, so the leaves a walk visits next are
// mostly the pages that follow: read a run of them at once and take the next ones from it.
MdxFile::Node MdxCursor::readThroughWindow(uint32_t page) {
    const uint64_t from = uint64_t(page) * kPageSize;
    const uint32_t blockBytes = m_tag->blockBytes;
    if (m_windowCounter != m_pagesCounter || m_windowGeneration != m_pagesGeneration ||
        from < m_windowStart || from + blockBytes > m_windowStart + m_window.size()) {
        const MdxFile::Header h = headerFor(*m_tag);
        m_file->checkPage(h, *m_tag, page);
        const uint64_t fileBytes = uint64_t(m_tag->pages) * kPageSize;
        const uint64_t size = std::min<uint64_t>(kWindowBytes, fileBytes - from);
        m_window.resize(std::max<uint64_t>(size, blockBytes));
        if (!readAll(m_file->m_fd, m_window.data(), m_window.size(), off_t(from))) {
            m_window.clear();
            return m_file->readNode(h, *m_tag, page);
        }
        m_windowStart = from;
        m_windowCounter = m_pagesCounter;
        m_windowGeneration = m_pagesGeneration;
    }
    m_file->checkPage(headerFor(*m_tag), *m_tag, page);
    MdxFile::Node n;
    n.page = page;
    n.group = m_tag->groupLength;
    const auto at = m_window.begin() + long(from - m_windowStart);
    n.block.assign(at, at + blockBytes);
    m_file->finishNode(*m_tag, n);
    return n;
}

void MdxCursor::take(const MdxFile::Node& leaf, uint32_t index, int direction, bool entered) {
    const uint8_t* key = leaf.key(index);
    const uint32_t recno = leaf.ptr(index);
    if (recno == 0)
        m_file->damaged("tag " + m_tag->name + " names record 0");
    if (m_valid && direction != 0) {
        const int c = m_tag->compareKey(key, bytes(m_key));
        if (c * direction < 0)
            m_file->damaged("the keys of tag " + m_tag->name + " are out of order on page " +
                            std::to_string(leaf.page));
        if (c != 0 || direction != m_runDirection) {
            m_runLeaves = 1;
            m_runDirection = direction;
        } else if (entered && ++m_runLeaves > m_tag->pages / m_tag->blockPages) {
            // More leaves under one key than the file has blocks: one was met twice.
            m_file->damaged("tag " + m_tag->name + " reaches page " + std::to_string(leaf.page) +
                            " twice");
        }
    } else {
        m_runLeaves = 1;
        m_runDirection = direction;
    }
    m_key.assign(reinterpret_cast<const char*>(key), m_tag->keyLength);
    m_recno = recno;
    m_valid = true;
    m_descended.clear();
}

bool MdxCursor::descendEdge(uint32_t page, bool leftmost) {
    for (int depth = 0;; ++depth) {
        if (depth > kMaxDepth || m_path.size() > std::size_t(kMaxDepth))
            m_file->damaged("tag " + m_tag->name + " is deeper than " + std::to_string(kMaxDepth) +
                            " levels");
        // Between two entries a walk enters each page once; a page met again (a crafted or
        // garbled tree whose children share pages) would make the walk run for ever.
        const bool onPath = std::any_of(m_path.begin(), m_path.end(),
                                        [&](const Step& s) { return s.page == page; });
        if (onPath || std::find(m_descended.begin(), m_descended.end(), page) != m_descended.end())
            m_file->damaged("tag " + m_tag->name + " reaches page " + std::to_string(page) +
                            " twice");
        m_descended.push_back(page);
        const MdxFile::Node n = readPage(page);
        if (n.leaf) {
            if (n.count == 0) {
                m_path.push_back({page, 0});
                return false;
            }
            const uint32_t index = leftmost ? 0 : n.count - 1;
            m_path.push_back({page, index});
            take(n, index, leftmost ? 1 : -1, true);
            return true;
        }
        const uint32_t index = leftmost ? 0 : n.count;
        m_path.push_back({page, index});
        page = n.child(index);
    }
}

bool MdxCursor::stepFromPath(bool forward) {
    {
        const MdxFile::Node leaf = readPage(m_path.back().page);
        uint32_t& idx = m_path.back().index;
        if (forward && idx + 1 < leaf.count) {
            take(leaf, ++idx, 1);
            return true;
        }
        if (!forward && idx > 0 && idx <= leaf.count) {
            take(leaf, --idx, -1);
            return true;
        }
    }
    for (;;) {
        const uint32_t from = m_path.back().page;
        m_path.pop_back();
        if (m_path.empty()) {
            m_valid = false;
            return false;
        }
        auto& step = m_path.back();
        const MdxFile::Node node = readPage(step.page);
        if (node.leaf || step.index > node.count || node.child(step.index) != from)
            return reposition(forward);
        if (forward && step.index < node.count)
            ++step.index;
        else if (!forward && step.index > 0)
            --step.index;
        else
            continue;
        if (m_path.size() > std::size_t(kMaxDepth))
            m_file->damaged("tag " + m_tag->name + " is deeper than " + std::to_string(kMaxDepth) +
                            " levels");
        if (descendEdge(node.child(step.index), forward))
            return true;
    }
}

// Walks from the root to the place of (key, recno), stands the path there and returns the leaf.
PathItem MdxCursor::descendTo(const std::string& key, uint32_t recno) {
    MdxFile::Header h = headerFor(*m_tag);
    TreeEdit finder(*m_file, h, *m_tag, [&](uint32_t page) { return readPage(page); });
    finder.descend(key, recno);
    m_path.clear();
    m_descended.clear();
    for (const auto& item : finder.path())
        m_path.push_back({item.node.page, uint32_t(item.index)});
    return finder.path().back();
}

// Stands the path on (key, recno) wherever it lies among the entries of its key.
bool MdxCursor::locate(const std::string& key, uint32_t recno) {
    MdxFile::Header h = headerFor(*m_tag);
    TreeEdit finder(*m_file, h, *m_tag, [&](uint32_t page) { return readPage(page); });
    const bool found = finder.findExact(key, recno);
    m_path.clear();
    m_descended.clear();
    for (const auto& item : finder.path())
        m_path.push_back({item.node.page, uint32_t(item.index)});
    return found;
}

// Finds the place of the current entry again from the root and steps from there.
bool MdxCursor::reposition(bool forward) {
    // The tree changed: pages met before may hold other entries now.
    m_runLeaves = 0;
    m_runDirection = 0;
    if (locate(m_key, m_recno))
        return stepFromPath(forward);
    // The entry is gone: step from the place record order gives it.
    const PathItem found = descendTo(m_key, m_recno);
    const Decoded& leaf = found.node;
    const uint32_t pos = uint32_t(found.index);
    const uint32_t n = uint32_t(leaf.entries.size());
    const bool exact =
        pos < n && leaf.entries[pos].ptr == m_recno && leaf.entries[pos].key == m_key;
    if (exact)
        return stepFromPath(forward);
    const MdxFile::Node raw = readPage(leaf.page);
    if (forward) {
        if (pos < n) {
            m_path.back().index = pos;
            take(raw, pos, 1);
            return true;
        }
        m_path.back().index = n == 0 ? 0 : n - 1;
        return stepFromPath(true);
    }
    if (pos > 0) {
        m_path.back().index = pos - 1;
        take(raw, pos - 1, -1);
        return true;
    }
    m_path.back().index = 0;
    return stepFromPath(false);
}

// Keeps the leaf the cursor stands on, with the file's change counter as read under the lock,
// so that the next steps within the leaf need only check that the counter did not move.
bool MdxCursor::remember(bool result) {
    m_cached = false;
    uint32_t counter = 0;
    if (!result || m_path.empty() || !m_file->readCounter(counter) || counter % 2 != 0)
        return result;
    m_leaf = std::make_unique<MdxFile::Node>(readPage(m_path.back().page));
    m_counter = counter;
    m_cached = m_leaf->leaf;
    return result;
}

bool MdxCursor::quickStep(bool forward) {
    if (!m_cached || m_generation != m_file->m_generation)
        return false;
    uint32_t counter = 0;
    if (!m_file->readCounter(counter) || counter != m_counter)
        return false;
    uint32_t& idx = m_path.back().index;
    if (forward ? idx + 1 >= m_leaf->count : idx == 0)
        return false;
    idx = forward ? idx + 1 : idx - 1;
    take(*m_leaf, idx, forward ? 1 : -1);
    return true;
}

bool MdxCursor::first() {
    return toEdge(true);
}

bool MdxCursor::last() {
    return toEdge(false);
}

bool MdxCursor::toEdge(bool front) {
    MdxFile::Lock lock(*m_file, false);
    ensureTag();
    m_path.clear();
    m_descended.clear();
    m_valid = false;
    if (descendEdge(m_tag->root, front))
        return remember(true);
    return remember(stepFromPath(front));
}

bool MdxCursor::next() {
    return step(true);
}

bool MdxCursor::prior() {
    return step(false);
}

bool MdxCursor::step(bool forward) {
    if (!m_valid)
        return false;
    if (quickStep(forward))
        return true;
    MdxFile::Lock lock(*m_file, false);
    uint32_t counter = 0;
    if (!m_file->readCounter(counter) || counter != m_runCounter) {
        // The tree may have changed: pages met before may hold other keys now.
        m_runLeaves = 0;
        m_runCounter = counter;
    }
    return remember(stepLocked(forward));
}

bool MdxCursor::stepLocked(bool forward) {
    const uint64_t generation = m_generation;
    ensureTag();
    if (generation != m_generation || m_path.empty())
        return reposition(forward);
    const MdxFile::Node leaf = readPage(m_path.back().page);
    const uint32_t idx = m_path.back().index;
    if (!leaf.leaf || idx >= leaf.count || leaf.ptr(idx) != m_recno ||
        std::memcmp(leaf.key(idx), m_key.data(), m_tag->keyLength) != 0)
        return reposition(forward);
    if (forward && idx + 1 < leaf.count) {
        m_path.back().index = idx + 1;
        take(leaf, idx + 1, 1);
        return true;
    }
    return stepFromPath(forward);
}

std::size_t MdxCursor::readAhead(std::size_t n, std::string& keys, std::vector<uint32_t>& recnos) {
    m_aheadValid = false;
    if (!m_valid)
        return 0;
    MdxFile::Lock lock(*m_file, false);
    // Nobody writes while the lock is held, so the counter read now vouches for every entry.
    if (!m_file->readCounter(m_aheadCounter) || m_aheadCounter % 2 != 0)
        return 0;
    std::size_t taken = 0;
    // Within a kept leaf the counter read above vouches for the next entries too.
    const auto withinLeaf = [&] {
        if (!m_cached || m_counter != m_aheadCounter || m_generation != m_file->m_generation)
            return false;
        uint32_t& idx = m_path.back().index;
        if (idx + 1 >= m_leaf->count)
            return false;
        take(*m_leaf, ++idx, 1);
        return true;
    };
    while (taken < n && (withinLeaf() || quickStep(true) || remember(stepLocked(true)))) {
        keys += m_key;
        recnos.push_back(m_recno);
        ++taken;
    }
    m_aheadValid = true;
    m_aheadGeneration = m_generation;
    return taken;
}

bool MdxCursor::unchanged() const {
    uint32_t counter = 0;
    return m_aheadValid && m_aheadGeneration == m_file->m_generation &&
           m_file->readCounter(counter) && counter == m_aheadCounter;
}

bool MdxCursor::seek(std::string_view key, uint32_t recno) {
    MdxFile::Lock lock(*m_file, false);
    return remember(seekLocked(key, recno));
}

std::string MdxCursor::fullKey(std::string_view key) const {
    std::string k(key.substr(0, m_tag->keyLength));
    if (k.size() < m_tag->keyLength)
        k.append(m_tag->keyLength - k.size(), m_tag->type == KeyType::Character ? ' ' : '\0');
    return k;
}

bool MdxCursor::find(std::string_view key, uint32_t recno) {
    MdxFile::Lock lock(*m_file, false);
    ensureTag();
    const std::string k = fullKey(key);
    if (recno != 0 && locate(k, recno)) {
        const MdxFile::Node leaf = readPage(m_path.back().page);
        m_valid = false;
        take(leaf, m_path.back().index, 0);
        return remember(true);
    }
    remember(seekLocked(k, recno));
    return false;
}

bool MdxCursor::seekLocked(std::string_view key, uint32_t recno) {
    ensureTag();
    const std::string k = fullKey(key);
    m_key = k;
    m_recno = recno;
    m_valid = false;
    // Stand just before (key, recno) and step forward onto the first entry not below it.
    const PathItem found = descendTo(k, recno);
    const uint32_t pos = uint32_t(found.index);
    const uint32_t n = uint32_t(found.node.entries.size());
    const MdxFile::Node raw = readPage(m_path.back().page);
    if (pos < n) {
        take(raw, pos, 0);
        return true;
    }
    // Past the end of this leaf: m_valid stays false so the step does not compare its
    // entry against the sought key.
    m_path.back().index = n == 0 ? 0 : n - 1;
    return stepFromPath(true);
}

} // namespace dbase
