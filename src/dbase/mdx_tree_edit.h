#pragma once

// The walk from the root to a leaf that key inserts, key removals and cursor seeks share.

#include "dbase/mdx_internal.h"

#include <algorithm>
#include <functional>

namespace dbase::mdx_detail {

// One change to a tag: the path from the root to a leaf, new pages and the writes they need.
class TreeEdit {
public:
    TreeEdit(MdxFile& file, MdxFile::Header& header, const MdxFile::TagState& tag,
             std::function<MdxFile::Node(uint32_t)> read)
        : m_file(file), m_header(header), m_tag(tag), m_read(std::move(read)) {}

    // The highest entry below page, or nothing for an empty subtree.
    bool maxEntry(uint32_t page, std::string& key, uint32_t& recno) {
        for (int depth = 0; depth < kMaxDepth; ++depth) {
            const MdxFile::Node n = m_read(page);
            if (n.leaf) {
                if (n.count == 0)
                    return false;
                key.assign(reinterpret_cast<const char*>(n.key(n.count - 1)), m_tag.keyLength);
                recno = n.ptr(n.count - 1);
                return true;
            }
            page = n.child(n.count);
        }
        m_file.damaged("tag " + m_tag.name + " is deeper than " + std::to_string(kMaxDepth) +
                       " levels");
    }

    // Fills the path to the leaf position of the first entry not below (key, recno). Among
    // equal keys in another record order (other writers keep them newest first) it stops at
    // some place inside that key's run: right for an insert, a guess for a lookup.
    void descend(const std::string& key, uint32_t recno) {
        m_path.clear();
        uint32_t page = m_tag.root;
        const uint8_t* k = bytes(key);
        for (int depth = 0;; ++depth) {
            if (depth >= kMaxDepth)
                m_file.damaged("tag " + m_tag.name + " is deeper than " +
                               std::to_string(kMaxDepth) + " levels");
            PathItem item{decode(m_read(page), m_tag.keyLength), 0};
            auto& es = item.node.entries;
            if (item.node.leaf) {
                item.index = boundary(0, es.size(), [&](std::size_t i) {
                    return m_tag.compareEntry(bytes(es[i].key), es[i].ptr, k, recno) < 0;
                });
                m_path.push_back(std::move(item));
                return;
            }
            const std::size_t lo = boundary(0, es.size(), [&](std::size_t i) {
                return m_tag.compareKey(bytes(es[i].key), k) < 0;
            });
            const std::size_t hi = boundary(lo, es.size(), [&](std::size_t i) {
                return m_tag.compareKey(bytes(es[i].key), k) <= 0;
            });
            std::size_t chosen = hi;
            // Children whose highest key equals the key: pick by their highest entry. The
            // first entry of a key (recno 0) is always in the first of them.
            if (lo != hi && recno == 0) {
                chosen = lo;
            } else if (lo != hi) {
                auto below = [&](std::size_t i) {
                    std::string mk;
                    uint32_t mr = 0;
                    if (!maxEntry(item.node.child(i), mk, mr))
                        return true;
                    return m_tag.compareEntry(bytes(mk), mr, k, recno) < 0;
                };
                if (!below(hi - 1))
                    chosen = boundary(lo, hi - 1, below);
            }
            item.index = chosen;
            page = item.node.child(chosen);
            m_path.push_back(std::move(item));
        }
    }

    // Stands the path on the entry (key, recno) wherever it lies among the entries of its key,
    // in whatever record order they are kept. False when the tag does not hold it.
    bool findExact(const std::string& key, uint32_t recno) {
        descend(key, recno);
        if (atEntry(key, recno))
            return true;
        // Not where record order puts it: look through every entry of the key.
        descend(key, 0);
        uint32_t leaves = 1;
        for (;;) {
            const PathItem& leaf = m_path.back();
            if (leaf.index < leaf.node.entries.size()) {
                const Entry& e = leaf.node.entries[leaf.index];
                if (m_tag.compareKey(bytes(e.key), bytes(key)) != 0)
                    return false;
                if (e.ptr == recno)
                    return true;
            }
            if (!advance(leaves))
                return false;
        }
    }

    std::vector<PathItem>& path() { return m_path; }

    // After the bottom node's highest entry changed at `level`, carries the new highest key
    // up to the first ancestor that stores it.
    void carryMax(std::size_t level, const std::string& newMax) {
        while (level > 0) {
            PathItem& parent = m_path[level - 1];
            if (parent.index < parent.node.entries.size()) {
                if (parent.node.entries[parent.index].key != newMax) {
                    parent.node.entries[parent.index].key = newMax;
                    parent.node.dirty = true;
                }
                return;
            }
            --level;
        }
    }

    uint32_t allocate(Decoded node) {
        node.page = m_header.pages;
        m_header.pages += m_header.blockPages;
        m_fresh.push_back(std::move(node));
        return m_fresh.back().page;
    }

    // Splits overfull nodes from the bottom up; the root keeps its page.
    void splitOverfull() {
        for (std::size_t level = m_path.size(); level-- > 0;) {
            Decoded& node = m_path[level].node;
            const std::size_t limit = node.leaf ? m_tag.maxKeys : std::size_t(m_tag.maxKeys) - 1;
            if (node.entries.size() <= limit)
                continue;
            Decoded lower;
            lower.leaf = node.leaf;
            std::string lowerMax;
            if (node.leaf) {
                const std::size_t h = node.entries.size() / 2;
                lower.entries.assign(node.entries.begin(), node.entries.begin() + long(h));
                node.entries.erase(node.entries.begin(), node.entries.begin() + long(h));
                lowerMax = lower.entries.back().key;
            } else {
                const std::size_t children = node.entries.size() + 1;
                const std::size_t h = children / 2; // children going to the lower node
                lower.entries.assign(node.entries.begin(), node.entries.begin() + long(h - 1));
                lower.rightmost = node.entries[h - 1].ptr;
                lowerMax = node.entries[h - 1].key;
                node.entries.erase(node.entries.begin(), node.entries.begin() + long(h));
            }
            node.dirty = true;
            if (level == 0) {
                Decoded upper = node;
                const uint32_t lowerPage = allocate(std::move(lower));
                const uint32_t upperPage = allocate(std::move(upper));
                node.leaf = false;
                node.entries = {Entry{lowerPage, lowerMax}};
                node.rightmost = upperPage;
                return;
            }
            const uint32_t lowerPage = allocate(std::move(lower));
            PathItem& parent = m_path[level - 1];
            parent.node.entries.insert(parent.node.entries.begin() + long(parent.index),
                                       Entry{lowerPage, lowerMax});
            ++parent.index;
            parent.node.dirty = true;
        }
    }

    // Unlinks the node at path level + 1 from the node at `level`, which may empty in turn.
    void unlinkChild(std::size_t level) {
        for (;;) {
            m_path[level + 1].node.dirty = false; // its page is abandoned
            PathItem& item = m_path[level];
            Decoded& node = item.node;
            node.dirty = true;
            if (item.index < node.entries.size()) {
                node.entries.erase(node.entries.begin() + long(item.index));
                return;
            }
            if (!node.entries.empty()) {
                node.rightmost = node.entries.back().ptr;
                const std::string newMax = node.entries.back().key;
                node.entries.pop_back();
                carryMax(level, newMax);
                return;
            }
            if (level == 0) {
                node.leaf = true;
                node.rightmost = 0;
                return;
            }
            --level;
        }
    }

    // New pages first (nothing points at them yet), then changed pages from the root down,
    // then the file header with the new page count.
    void write(const std::string& path, int fd, uint32_t pagesBefore) {
        auto encode = [&](const Decoded& d) {
            return encodeNode(d.leaf, d.entries, d.rightmost, m_tag.groupLength, m_tag.keyLength,
                              m_tag.blockBytes);
        };
        for (const Decoded& d : m_fresh) {
            const auto block = encode(d);
            writeAll(fd, block.data(), block.size(), off_t(d.page) * off_t(kPageSize), path);
        }
        for (const PathItem& item : m_path) {
            if (!item.node.dirty)
                continue;
            const auto block = encode(item.node);
            writeAll(fd, block.data(), block.size(), off_t(item.node.page) * off_t(kPageSize),
                     path);
        }
        if (m_header.pages != pagesBefore) {
            uint8_t head[kPageSize];
            std::memcpy(head, m_header.bytes.data(), kPageSize);
            le::put32(head + kHdrPages, m_header.pages);
            le::put32(head + kHdrChangeCounter,
                      le::u32(m_header.bytes.data() + kHdrChangeCounter) | 1);
            putDate(head + kHdrUpdated);
            writeAll(fd, head, kPageSize, 0, path);
        }
    }

private:
    // The first index in [from, to) where pred is false, pred being true just before it. A
    // plain bisection: it keeps that property even where pred is not monotone, as it is not
    // over equal keys in another record order.
    template <class Pred> static std::size_t boundary(std::size_t from, std::size_t to, Pred pred) {
        while (from < to) {
            const std::size_t mid = from + (to - from) / 2;
            if (pred(mid))
                from = mid + 1;
            else
                to = mid;
        }
        return from;
    }

    bool atEntry(const std::string& key, uint32_t recno) const {
        const PathItem& leaf = m_path.back();
        return leaf.index < leaf.node.entries.size() &&
               leaf.node.entries[leaf.index].ptr == recno &&
               m_tag.compareKey(bytes(leaf.node.entries[leaf.index].key), bytes(key)) == 0;
    }

    // Moves the path to the next entry in key order; false at the end of the tag. leaves counts
    // the leaves entered so far: more than the file has blocks means a garbled tree led back
    // to one, which is damage, not a loop.
    bool advance(uint32_t& leaves) {
        PathItem& leaf = m_path.back();
        if (leaf.index + 1 < leaf.node.entries.size()) {
            ++leaf.index;
            return true;
        }
        for (std::size_t level = m_path.size() - 1; level > 0; --level) {
            PathItem& parent = m_path[level - 1];
            if (parent.index >= parent.node.entries.size())
                continue; // came up from the right-most child
            ++parent.index;
            m_path.resize(level);
            uint32_t page = parent.node.child(parent.index);
            for (;;) {
                if (m_path.size() >= std::size_t(kMaxDepth))
                    m_file.damaged("tag " + m_tag.name + " is deeper than " +
                                   std::to_string(kMaxDepth) + " levels");
                PathItem item{decode(m_read(page), m_tag.keyLength), 0};
                if (item.node.leaf) {
                    if (++leaves > m_header.pages / m_header.blockPages)
                        m_file.damaged("tag " + m_tag.name + " reaches page " +
                                       std::to_string(page) + " twice");
                    m_path.push_back(std::move(item));
                    return true;
                }
                page = item.node.child(0);
                m_path.push_back(std::move(item));
            }
        }
        return false;
    }

    MdxFile& m_file;
    MdxFile::Header& m_header;
    const MdxFile::TagState& m_tag;
    std::function<MdxFile::Node(uint32_t)> m_read;
    std::vector<PathItem> m_path;
    std::vector<Decoded> m_fresh;
};

} // namespace dbase::mdx_detail
