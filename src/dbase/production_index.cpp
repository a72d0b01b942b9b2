#include "dbase/production_index.h"

#include "dbase/bcd.h"
#include "dbase/database_error.h"
#include "dbase/file_io.h"
#include "dbase/table.h"
#include "dbase/text.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <unordered_set>

namespace dbase {

namespace fs = std::filesystem;

namespace {

constexpr char kDeletedFlag = '*';
constexpr std::size_t kReadChunk = 1 << 20;

std::vector<FieldLayout> layoutOf(const Table& table) {
    std::vector<FieldLayout> out;
    for (const Field& f : table.fields())
        out.push_back({f.name, static_cast<char>(f.type), static_cast<uint16_t>(f.length),
                       static_cast<uint8_t>(f.decimals), static_cast<uint32_t>(f.offset)});
    return out;
}

using text::upper;

// A name from a damaged file, fit to show: anything but printable ASCII becomes '?'.
std::string printable(std::string_view name) {
    std::string out;
    for (char c : name)
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out.empty() ? "(no name)" : out;
}

// Reads records straight from the table file (not through the cursor's read-ahead, which may
// be older than what another process wrote) in large chunks, calling fn for each.
void forEachRecord(Table& table, const std::function<void(uint32_t, const uint8_t*)>& fn,
                   uint32_t from = 1) {
    const uint32_t count = table.recordCount();
    const std::size_t length = std::size_t(table.recordLength());
    const std::size_t perChunk = std::max<std::size_t>(1, kReadChunk / length);
    std::vector<uint8_t> buffer;
    for (uint32_t first = from; first <= count;) {
        const uint32_t n = uint32_t(std::min<std::size_t>(perChunk, count - first + 1));
        buffer.resize(n * length);
        const off_t offset = off_t(table.headerLength()) + off_t(first - 1) * off_t(length);
        if (!io::readAt(table.fileDescriptor(), buffer.data(), buffer.size(), uint64_t(offset)))
            throw DatabaseError(table.path().string() + ": records " + std::to_string(first) +
                                " to " + std::to_string(first + n - 1) + " cannot be read.");
        for (uint32_t i = 0; i < n; ++i)
            fn(first + i, buffer.data() + i * length);
        first += n;
    }
}

} // namespace

fs::path ProductionIndex::pathFor(const fs::path& tableFile) {
    const std::string name = tableFile.filename().string();
    return tableFile.parent_path() / (name.substr(0, name.find('.')) + ".MDX");
}

bool ProductionIndex::sameTagName(std::string_view a, std::string_view b) {
    return upper(a) == upper(b);
}

ProductionIndex::ProductionIndex(fs::path path, std::unique_ptr<MdxFile> file)
    : m_path(std::move(path)), m_file(std::move(file)) {}

std::unique_ptr<ProductionIndex> ProductionIndex::open(Table& table) {
    const fs::path path = pathFor(table.path());
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw DatabaseError(table.path().string() + ": its production index " + path.string() +
                            " is missing.");
    const bool writable = table.openMode() != OpenMode::ReadOnly;
    auto file = MdxFile::open(path.string(), writable);
    std::unique_ptr<ProductionIndex> index(new ProductionIndex(path, std::move(file)));
    if (writable)
        index->repairIfInterrupted(table);
    return index;
}

std::unique_ptr<ProductionIndex> ProductionIndex::create(Table& table, std::string_view tag,
                                                         std::string_view expression,
                                                         std::string_view forCondition) {
    const fs::path path = pathFor(table.path());
    std::vector<MdxTagBuild> builds;
    builds.push_back(buildTag(table, tag, expression, forCondition));
    const std::string base = path.stem().string();
    auto file =
        MdxFile::create(path.string(), upper(base), table.languageDriver(), std::move(builds));
    return std::unique_ptr<ProductionIndex>(new ProductionIndex(path, std::move(file)));
}

std::unique_ptr<ProductionIndex> ProductionIndex::salvage(Table& table,
                                                          std::vector<std::string>& skipped) {
    const fs::path path = pathFor(table.path());
    auto builds = buildAll(table, MdxFile::salvageTags(path.string()), path, skipped);
    if (builds.empty())
        throw DatabaseError("The index \"" + path.string() +
                            "\" is damaged beyond repair: none of its tags can be rebuilt.  "
                            "Delete it and add its tags again.");
    auto file = MdxFile::create(path.string(), upper(path.stem().string()), table.languageDriver(),
                                std::move(builds));
    return std::unique_ptr<ProductionIndex>(new ProductionIndex(path, std::move(file)));
}

std::vector<IndexTag> ProductionIndex::tags() {
    std::vector<IndexTag> out;
    for (const MdxTagInfo& t : m_file->tags())
        out.push_back(
            {t.name, t.expression, t.forExpression, static_cast<char>(t.keyType), t.keyLength});
    return out;
}

namespace {

// A key whose width depends on the record (TRIM and the like) takes the length the tag's
// writer chose.
void adoptKeyLength(KeyExpression& e, const MdxTagInfo& tag) {
    if (e.variableWidth() && tag.keyType == KeyType::Character && tag.keyLength >= 1 &&
        tag.keyLength <= kMaxCharacterKeyLength)
        e.useKeyLength(tag.keyLength);
}

} // namespace

const KeyExpression& ProductionIndex::expression(Table& table, const MdxTagInfo& tag) {
    const auto cacheKey = std::make_pair(tag.expression, tag.keyLength);
    auto it = m_expressions.find(cacheKey);
    if (it == m_expressions.end()) {
        auto parsed = std::make_unique<KeyExpression>(tag.expression, layoutOf(table),
                                                      table.languageDriver());
        adoptKeyLength(*parsed, tag);
        it = m_expressions.emplace(cacheKey, std::move(parsed)).first;
    }
    const KeyExpression& e = *it->second;
    if (e.keyType() != tag.keyType || e.keyLength() != tag.keyLength)
        throw DatabaseError(m_path.string() + ": the keys of tag " + tag.name +
                            " do not match its expression " + tag.expression +
                            " for this table.  Regenerate the indexes to repair it.");
    return e;
}

const ForCondition* ProductionIndex::condition(Table& table, const MdxTagInfo& tag) {
    if (tag.forExpression.empty())
        return nullptr;
    auto it = m_conditions.find(tag.forExpression);
    if (it == m_conditions.end()) {
        auto parsed = std::make_unique<ForCondition>(tag.forExpression, layoutOf(table),
                                                     table.languageDriver());
        it = m_conditions.emplace(tag.forExpression, std::move(parsed)).first;
    }
    return it->second.get();
}

std::string ProductionIndex::keyFromValue(const MdxTagInfo& tag, std::string_view value) const {
    switch (tag.keyType) {
    case KeyType::Character: {
        std::string key(value.substr(0, tag.keyLength));
        key.resize(tag.keyLength, ' ');
        return key;
    }
    case KeyType::Numeric: {
        std::string_view v = value;
        while (!v.empty() && v.front() == ' ')
            v.remove_prefix(1);
        while (!v.empty() && v.back() == ' ')
            v.remove_suffix(1);
        double check = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), check);
        if (ec != std::errc() || end != v.data() + v.size())
            throw DatabaseError("\"" + std::string(value) + "\" is not a number for tag " +
                                tag.name + ".");
        const BcdKey k = bcdFromDecimal(v);
        return std::string(k.begin(), k.end());
    }
    case KeyType::Date:
        return dateKey(value);
    }
    return {};
}

std::vector<MdxTagBuild> ProductionIndex::buildAll(Table& table,
                                                   const std::vector<MdxTagInfo>& tags,
                                                   const fs::path& path,
                                                   std::vector<std::string>& skipped) {
    std::vector<MdxTagBuild> builds;
    std::vector<std::unique_ptr<KeyExpression>> expressions;
    std::vector<std::unique_ptr<ForCondition>> conditions;
    const uint32_t count = table.recordCount();
    for (const MdxTagInfo& t : tags) {
        // One garbled tag must not cost the others: it is left out and named.
        try {
            // The expression decides the key layout; a damaged tag header may say otherwise.
            auto e = std::make_unique<KeyExpression>(t.expression, layoutOf(table),
                                                     table.languageDriver());
            adoptKeyLength(*e, t);
            std::unique_ptr<ForCondition> condition;
            if (!t.forExpression.empty())
                condition = std::make_unique<ForCondition>(t.forExpression, layoutOf(table),
                                                           table.languageDriver());
            MdxTagInfo info = t;
            info.keyType = e->keyType();
            info.keyLength = e->keyLength();
            MdxFile::checkTagInfo(info);
            expressions.push_back(std::move(e));
            conditions.push_back(std::move(condition));
            builds.push_back({info, MdxKeySet(info.keyLength)});
            builds.back().keys.reserve(count);
        } catch (const DatabaseError& error) {
            skipped.push_back(path.string() + ": tag " + printable(t.name) +
                              " could not be rebuilt (" + error.what() + ")");
        }
    }
    std::string key;
    forEachRecord(table, [&](uint32_t recno, const uint8_t* record) {
        for (std::size_t i = 0; i < builds.size(); ++i) {
            if (conditions[i] && !conditions[i]->matches(record))
                continue;
            key.clear();
            expressions[i]->evaluate(record, key);
            builds[i].keys.add(key, recno);
        }
    });
    return builds;
}

// The keys of a new tag over every record; an expression that cannot be used throws.
MdxTagBuild ProductionIndex::buildTag(Table& table, std::string_view tag,
                                      std::string_view expression, std::string_view forCondition) {
    MdxFile::checkNewTagName(tag);
    MdxTagInfo info;
    info.name = std::string(tag);
    info.expression = std::string(expression);
    info.forExpression = std::string(forCondition);
    const KeyExpression parsed(expression, layoutOf(table), table.languageDriver());
    std::optional<ForCondition> condition;
    if (!forCondition.empty())
        condition.emplace(forCondition, layoutOf(table), table.languageDriver());
    info.keyType = parsed.keyType();
    info.keyLength = parsed.keyLength();
    MdxTagBuild build{info, MdxKeySet(info.keyLength)};
    std::string key;
    forEachRecord(table, [&](uint32_t recno, const uint8_t* record) {
        if (condition && !condition->matches(record))
            return;
        key.clear();
        parsed.evaluate(record, key);
        build.keys.add(key, recno);
    });
    return build;
}

void ProductionIndex::addTag(Table& table, std::string_view tag, std::string_view expression,
                             std::string_view forCondition) {
    // Reading the records under the index's write lock: a writer elsewhere either finished
    // before (its record is read here) or updates the new tag after.
    m_file->withWriteLock([&] { m_file->addTag(buildTag(table, tag, expression, forCondition)); });
}

void ProductionIndex::deleteTag(std::string_view tag) {
    m_file->deleteTag(tag);
}

std::vector<std::string> ProductionIndex::regenerate(Table& table) {
    std::vector<std::string> skipped;
    m_file->withWriteLock([&] {
        auto builds = buildAll(table, m_file->tags(), m_path, skipped);
        const std::string base = m_path.stem().string();
        m_file->rebuild(upper(base), table.languageDriver(), std::move(builds));
    });
    return skipped;
}

std::vector<std::string> ProductionIndex::check(Table& table) {
    std::vector<std::string> problems;
    std::vector<MdxTagInfo> tags;
    try {
        tags = m_file->tags();
    } catch (const DatabaseError& e) {
        problems.push_back(e.what());
        return problems;
    }
    const uint32_t count = table.recordCount();
    for (const MdxTagInfo& tag : tags) {
        std::vector<std::pair<std::string, uint32_t>> entries;
        const KeyExpression* e = nullptr;
        const ForCondition* condition = nullptr;
        try {
            e = &expression(table, tag);
            condition = this->condition(table, tag);
            entries = m_file->verifyTag(tag.name, count);
        } catch (const DatabaseError& error) {
            problems.push_back("tag " + tag.name + ": " + error.what());
            continue;
        }
        // Where each record's key sits; deleted records may keep theirs until a pack.
        std::vector<uint32_t> seen(std::size_t(count) + 1, 0);
        std::vector<std::string> keyOf(std::size_t(count) + 1);
        // A unique tag holds each key once, for one of the records that have it; the others
        // are rightly absent.
        std::unordered_set<std::string> uniqueKeys;
        for (auto& [key, recno] : entries) {
            if (tag.unique && !uniqueKeys.insert(key).second)
                problems.push_back("tag " + tag.name + " is unique but holds a key twice (record " +
                                   std::to_string(recno) + ")");
            if (seen[recno]++ == 0)
                keyOf[recno] = std::move(key);
        }
        std::size_t reported = 0;
        auto report = [&](const std::string& text) {
            if (++reported <= 20)
                problems.push_back("tag " + tag.name + ": " + text);
        };
        std::string key;
        forEachRecord(table, [&](uint32_t recno, const uint8_t* record) {
            const bool deleted = record[0] == uint8_t(kDeletedFlag);
            const bool meets = !condition || condition->matches(record);
            if (seen[recno] > 1) {
                report("record " + std::to_string(recno) + " is in the tag " +
                       std::to_string(seen[recno]) + " times");
            } else if (seen[recno] == 0) {
                if (deleted || !meets)
                    return;
                if (tag.unique) {
                    key.clear();
                    e->evaluate(record, key);
                    if (uniqueKeys.count(key) == 0)
                        report("the key of record " + std::to_string(recno) + " is missing");
                    return;
                }
                report("record " + std::to_string(recno) + " is missing");
                return;
            } else if (!meets && !deleted) {
                report("record " + std::to_string(recno) +
                       " is in the tag although it does not meet the FOR condition");
                return;
            }
            key.clear();
            e->evaluate(record, key);
            const auto* a = reinterpret_cast<const uint8_t*>(key.data());
            const auto* b = reinterpret_cast<const uint8_t*>(keyOf[recno].data());
            if (compareKeys(tag.keyType, a, b, tag.keyLength) != 0)
                report("the key of record " + std::to_string(recno) +
                       " differs from its expression's value");
        });
        if (reported > 20)
            problems.push_back("tag " + tag.name + ": ... and " + std::to_string(reported - 20) +
                               " more problems");
    }
    return problems;
}

bool ProductionIndex::repairIfInterrupted(Table& table) {
    bool repaired = false;
    m_file->withWriteLock([&] {
        if (m_file->pendingWrite() == 0)
            return;
        // A writer died between a record and its keys (or a pack between the new table and
        // its index): the tags may miss that record or name records that are gone.
        regenerate(table);
        repaired = true;
    });
    return repaired;
}

void ProductionIndex::write(Table& table, std::uint32_t recNo, std::string_view before,
                            std::string_view after, const std::function<void()>& store) {
    // Repairing replaces the file, and the lock goes with the old one: take it again.
    for (bool repaired = true; repaired;) {
        repaired = false;
        m_file->withWriteLock([&] {
            if (m_file->pendingWrite() != 0) {
                regenerate(table);
                repaired = true;
                return;
            }
            writeLocked(table, recNo, before, after, store);
        });
    }
}

void ProductionIndex::writeLocked(Table& table, std::uint32_t recNo, std::string_view before,
                                  std::string_view after, const std::function<void()>& store) {
    // Refuse the write when some tag could not follow it.
    const std::vector<MdxTagInfo> tags = m_file->tags();
    std::vector<const KeyExpression*> expressions;
    std::vector<const ForCondition*> conditions;
    for (const MdxTagInfo& tag : tags) {
        expressions.push_back(&expression(table, tag));
        conditions.push_back(condition(table, tag));
    }
    m_file->setPendingWrite(recNo);
    store();
    std::string oldKey, newKey;
    const auto* oldRecord = reinterpret_cast<const uint8_t*>(before.data());
    const auto* newRecord = reinterpret_cast<const uint8_t*>(after.data());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const KeyExpression& e = *expressions[i];
        const ForCondition* c = conditions[i];
        // A FOR condition decides whether the record is in the tag before and after.
        const bool wasIn = !before.empty() && (!c || c->matches(oldRecord));
        const bool isIn = !c || c->matches(newRecord);
        newKey.clear();
        e.evaluate(newRecord, newKey);
        if (wasIn) {
            oldKey.clear();
            e.evaluate(oldRecord, oldKey);
            if (isIn && oldKey == newKey)
                continue;
            m_file->removeKey(tags[i].name, oldKey, recNo);
        }
        if (isIn)
            m_file->insertKey(tags[i].name, newKey, recNo);
    }
    m_file->setPendingWrite(0);
}

void ProductionIndex::beginBatch(Table& table) {
    m_file->holdWriteLock();
    try {
        if (m_file->pendingWrite() != 0)
            regenerate(table);
        // Refuse the batch up front when some tag could not follow its records.
        for (const MdxTagInfo& tag : m_file->tags()) {
            expression(table, tag);
            condition(table, tag);
        }
        m_file->setPendingWrite(kMdxWholeIndex);
    } catch (...) {
        m_file->releaseWriteLock();
        throw;
    }
}

void ProductionIndex::endBatch(Table& table, std::uint32_t firstNew, bool complete) {
    struct Release {
        MdxFile& file;
        ~Release() { file.releaseWriteLock(); }
    } release{*m_file};
    if (!complete)
        return;
    const uint32_t count = table.recordCount();
    const uint64_t added = count >= firstNew ? uint64_t(count) - firstNew + 1 : 0;
    // A bulk build reads every record once; adding keys one by one costs a descent and page
    // writes each. Past an eighth of the table the build is the cheaper.
    if (added * 8 >= count && added > 0) {
        regenerate(table);
        return;
    }
    if (added > 0) {
        const std::vector<MdxTagInfo> tags = m_file->tags();
        std::vector<const KeyExpression*> expressions;
        std::vector<const ForCondition*> conditions;
        for (const MdxTagInfo& tag : tags) {
            expressions.push_back(&expression(table, tag));
            conditions.push_back(condition(table, tag));
        }
        std::string key;
        forEachRecord(
            table,
            [&](uint32_t recno, const uint8_t* record) {
                for (std::size_t i = 0; i < tags.size(); ++i) {
                    if (conditions[i] && !conditions[i]->matches(record))
                        continue;
                    key.clear();
                    expressions[i]->evaluate(record, key);
                    m_file->insertKey(tags[i].name, key, recno);
                }
            },
            firstNew);
    }
    m_file->setPendingWrite(0);
}

void ProductionIndex::aboutToPack(Table&) {
    m_file->setPendingWrite(kMdxWholeIndex);
}

void ProductionIndex::packed(Table& table) {
    regenerate(table);
}

// ---------------------------------------------------------------------------------------------

TagOrder::TagOrder(MdxFile& file, const MdxTagInfo& tag, const KeyExpression& expression,
                   CountFn count)
    : m_file(file), m_tag(tag), m_expression(expression), m_cursor(file.cursor(tag.name)),
      m_count(std::move(count)) {}

std::uint32_t TagOrder::checked(bool ok) {
    return ok ? checkedRecno(m_cursor.recno()) : 0;
}

std::uint32_t TagOrder::checkedRecno(std::uint32_t recno) {
    if (recno > m_count(false) && recno > m_count(true))
        m_file.damaged("tag " + m_tag.name + " names record " + std::to_string(recno) +
                       ", past the end of the table");
    return recno;
}

void TagOrder::clearAhead() {
    m_serving = false;
    m_aheadKeys.clear();
    m_aheadRecnos.clear();
    m_aheadPos = 0;
    ++m_aheadBatch;
}

void TagOrder::forgetAhead(bool resume) {
    m_forwardRun = 0;
    if (!m_serving)
        return;
    // The cursor stands on the last entry read ahead; the walk resumes from the one served.
    if (resume) {
        m_pending = true;
        m_pendingKey = key();
        m_pendingRecno = m_currentRecno;
    }
    clearAhead();
}

std::uint32_t TagOrder::first() {
    forgetAhead(false);
    m_pending = false;
    return checked(m_cursor.first());
}

std::uint32_t TagOrder::last() {
    forgetAhead(false);
    m_pending = false;
    return checked(m_cursor.last());
}

std::uint32_t TagOrder::step(bool forward) {
    if (m_pending) {
        m_pending = false;
        if (!m_cursor.find(m_pendingKey, m_pendingRecno)) {
            // Not in the tag (any more, or its FOR condition leaves it out): the entry after
            // the place it would have is already the next one.
            if (forward)
                return m_cursor.valid() ? checked(true) : 0;
            if (!m_cursor.valid())
                return checked(m_cursor.last());
        }
    }
    return checked(forward ? m_cursor.next() : m_cursor.prior());
}

std::uint32_t TagOrder::next() {
    if (m_serving) {
        const bool more = m_aheadPos < m_aheadRecnos.size();
        if (more && m_cursor.unchanged()) {
            // The key is copied out only when asked for: most walks never ask.
            m_currentKeyStale = true;
            m_currentRecno = m_aheadRecnos[m_aheadPos++];
            return checkedRecno(m_currentRecno);
        }
        if (more)
            forgetAhead(true); // another writer changed the tag: find the place again
        else
            clearAhead(); // all served: the cursor stands on the last one, where the walk goes on
    }
    const std::uint32_t recno = step(true);
    // A long walk forward (a report, an export) reads entries ahead in batches, one lock for
    // each, growing the batch as the walk goes on.
    if (recno != 0 && ++m_forwardRun >= kFirstBatch) {
        const std::size_t batch = std::min<std::size_t>(m_forwardRun, kLargestBatch);
        m_currentKey = m_cursor.key();
        m_currentKeyStale = false;
        m_currentRecno = m_cursor.recno();
        clearAhead();
        if (m_cursor.readAhead(batch, m_aheadKeys, m_aheadRecnos) > 0) {
            m_serving = true;
            ++m_aheadBatch;
        }
        m_forwardRun = static_cast<std::uint32_t>(std::min<std::size_t>(batch * 2, kLargestBatch));
    }
    return recno;
}

std::uint32_t TagOrder::prior() {
    forgetAhead(true);
    return step(false);
}

void TagOrder::setPosition(std::uint32_t recNo, std::string_view record) {
    forgetAhead(false);
    m_pendingKey = m_expression.evaluate(reinterpret_cast<const uint8_t*>(record.data()));
    m_pendingRecno = recNo;
    m_pending = true;
}

std::uint32_t TagOrder::seek(std::string_view key) {
    forgetAhead(false);
    m_pending = false;
    return checked(m_cursor.seek(key));
}

const std::string& TagOrder::key() const {
    if (!m_serving)
        return m_cursor.key();
    if (m_currentKeyStale) {
        const std::size_t length = m_tag.keyLength;
        m_currentKey.assign(m_aheadKeys, (m_aheadPos - 1) * length, length);
        m_currentKeyStale = false;
    }
    return m_currentKey;
}

void TagOrder::upcoming(std::vector<std::uint32_t>& recNos) const {
    if (m_serving)
        recNos.insert(recNos.end(), m_aheadRecnos.begin() + long(m_aheadPos), m_aheadRecnos.end());
}

} // namespace dbase
