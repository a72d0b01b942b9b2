// The production index as the table sees it.

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

// ---------------------------------------------------------------------------------------------
// Production index

fs::path Table::indexPath(const fs::path& tableFile) {
    return ProductionIndex::pathFor(tableFile);
}

void Table::attachIndex(std::unique_ptr<ProductionIndex> index) {
    m_index = std::move(index);
    m_hook = m_index.get();
}

void Table::detachIndex() {
    if (m_index && m_hook == m_index.get())
        m_hook = nullptr;
    m_index.reset();
}

// Another program may have given the table its first tag, or removed its last one, since we
// opened it; writes must follow whatever the header says now.
void Table::followIndexChanges() {
    if (m_mode == OpenMode::Exclusive)
        return;
    char byte = 0;
    if (!io::readAt(m_fd, &byte, 1, layout::kProductionIndex))
        fail("the header cannot be read");
    m_headerBytes[layout::kProductionIndex] = byte;
    std::error_code ec;
    const bool present = byte == 0x01 && fs::exists(indexPath(m_path), ec);
    if (present && !m_index)
        attachIndex(ProductionIndex::open(*this));
    else if (!present && m_index && !m_tagOrder)
        detachIndex();
}

std::vector<IndexTag> Table::indexTags() {
    requireOpen("list the index tags");
    if (!m_index)
        return {};
    return m_index->tags();
}

void Table::addIndex(std::string_view tag, std::string_view expression,
                     std::string_view forCondition) {
    requireWritable("add an index tag");
    checkBrowseMode();
    followIndexChanges();
    if (m_index) {
        m_index->addTag(*this, tag, expression, forCondition);
        return;
    }
    attachIndex(ProductionIndex::create(*this, tag, expression, forCondition));
    setProductionIndexFlag(true);
}

void Table::deleteIndex(std::string_view tag) {
    requireWritable("delete an index tag");
    checkBrowseMode();
    followIndexChanges();
    if (!m_index || !m_index->findTag(tag))
        fail("the production index has no tag " + std::string(tag));
    if (m_tagOrder && ProductionIndex::sameTagName(m_indexName, tag))
        setIndex({});
    if (m_index->tags().size() > 1) {
        m_index->deleteTag(tag);
        return;
    }
    // The last tag: the index goes, and the header stops pointing at it first.
    const fs::path index = m_index->path();
    if (m_tagOrder)
        setIndex({});
    setProductionIndexFlag(false);
    m_index->file().retire();
    detachIndex();
    std::error_code ec;
    if (!fs::remove(index, ec) && ec)
        fail("the production index " + index.string() + " cannot be removed (" + ec.message() +
             ")");
}

void Table::setIndex(std::string_view tag) {
    requireOpen("select an index tag");
    if (tag.empty()) {
        setRecordOrder(nullptr);
        return;
    }
    if (!m_index)
        fail("the table has no production index, so there is no tag " + std::string(tag));
    const auto info = m_index->findTag(tag);
    if (!info)
        fail("the production index has no tag " + std::string(tag));
    const KeyExpression& expression = m_index->expression(*this, *info);
    auto order =
        std::make_unique<TagOrder>(m_index->file(), *info, expression, [this](bool reread) {
            return reread ? rereadRecordCount() : m_recordCount;
        });
    TagOrder* raw = order.get();
    checkBrowseMode();
    m_order = std::move(order);
    m_tagOrder = raw;
    m_indexName = info->name;
    forgetCachedRecords();
    try {
        first();
    } catch (const DatabaseError&) {
        // A tag that cannot be walked (it names records that are gone, say) leaves the table
        // in record order, open and usable, so that the indexes can be regenerated.
        m_tagOrder = nullptr;
        m_indexName.clear();
        m_order = std::make_unique<NaturalOrder>(
            [this](bool reread) { return reread ? rereadRecordCount() : m_recordCount; });
        try {
            first();
        } catch (const DatabaseError&) {
            makeEmpty();
        }
        throw;
    }
}

std::uint32_t Table::seekKey(std::string_view value, std::string& key) {
    requireOpen("look up a key");
    checkBrowseMode();
    if (!m_tagOrder)
        fail("no index tag is selected for a key lookup");
    key = m_index->keyFromValue(m_tagOrder->tag(), value);
    return m_tagOrder->seek(key);
}

bool Table::findKey(std::string_view value) {
    std::string key;
    std::uint32_t r = seekKey(value, key);
    const MdxTagInfo& tag = m_tagOrder->tag();
    auto sameKey = [&] {
        return compareKeys(tag.keyType, reinterpret_cast<const uint8_t*>(m_tagOrder->key().data()),
                           reinterpret_cast<const uint8_t*>(key.data()), tag.keyLength) == 0;
    };
    while (r != 0 && sameKey() && !candidateVisible(r))
        r = m_order->next();
    if (r != 0 && sameKey()) {
        m_recNo = r;
        loadRecord(r);
        m_bof = m_eof = false;
        notify(TableObserver::Change::Moved);
        return true;
    }
    // Not there: stay on the current record.
    if (m_recNo != 0) {
        loadRecord(m_recNo);
        m_order->setPosition(m_recNo, m_buffer);
    }
    return false;
}

void Table::findNearest(std::string_view value) {
    std::string key;
    const std::uint32_t r = skipInvisible(seekKey(value, key), true);
    if (r == 0) {
        last();
        if (m_recNo != 0)
            m_eof = true;
        return;
    }
    m_recNo = r;
    loadRecord(r);
    m_bof = m_eof = false;
    notify(TableObserver::Change::Moved);
}

std::vector<std::string> Table::regenerateIndexes() {
    requireWritable("regenerate the indexes");
    checkBrowseMode();
    followIndexChanges();
    std::vector<std::string> notes;
    std::error_code ec;
    const fs::path index = indexPath(m_path);
    if (!m_index && !hasProductionIndex())
        return notes;
    if (!m_index && !fs::exists(index, ec)) {
        // Nothing is left to say which tags there were; stop pointing at the missing file.
        setProductionIndexFlag(false);
        notes.push_back(m_path.string() + ": its production index " + index.string() +
                        " is missing, so its tags cannot be rebuilt; the table no longer "
                        "names one.  Add the tags again.");
        return notes;
    }
    if (m_index) {
        try {
            notes = m_index->regenerate(*this);
        } catch (const DatabaseError&) {
            // A tag header too damaged to read: start again from what the tag table names.
            notes.clear();
            if (m_tagOrder)
                setIndex({});
            detachIndex();
        }
    }
    if (!m_index)
        attachIndex(ProductionIndex::salvage(*this, notes));
    if (m_recNo != 0 && m_recNo <= m_recordCount)
        positionAt(m_recNo);
    else
        first();
    notify(TableObserver::Change::DataChanged);
    return notes;
}

std::vector<std::string> Table::checkIndexes() {
    requireOpen("check the indexes");
    if (!m_index)
        return {};
    return m_index->check(*this);
}

} // namespace dbase
