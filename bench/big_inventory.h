#pragma once

// A large database in a temporary directory for the benchmarks that work through the session:
// made with the program's own New Database, then its records written straight into the file,
// so that setting up a million items takes seconds, not minutes.

#include "dbase/table.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "session/inventory_session.h"
#include "silent_prompter.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Puts text into a field's cell of a raw record, left-aligned or right-aligned, cut to fit.
inline void putCell(std::string& record, const dbase::Field& f, const std::string& text,
                    bool right) {
    std::string cell(std::size_t(f.length), ' ');
    const std::size_t n = std::min(text.size(), cell.size());
    if (right)
        std::memcpy(cell.data() + cell.size() - n, text.data(), n);
    else
        std::memcpy(cell.data(), text.data(), n);
    std::memcpy(record.data() + f.offset, cell.data(), cell.size());
}

struct BigInventory {
    // Sets the cells of item i in a blank record; fields are indexed by item field number - 1.
    using Fill = std::function<void(std::string& record, const std::vector<dbase::Field>& fields,
                                    std::uint32_t i)>;

    QTemporaryDir dir;
    SilentPrompter prompter;
    InventorySession session;
    QString path;

    // sortKeys, when given, are selected (the sort index rebuilt) before the table is reopened.
    BigInventory(std::uint32_t items, const Fill& fill, std::array<int, 4> sortKeys = {}) {
        path = dir.filePath(QStringLiteral("BIG.DBF"));
        if (!MakeNewDB(path, prompter))
            std::abort();
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        const dbase::Table& t = session.items.table();
        std::vector<dbase::Field> fields;
        for (int n = 1; n <= kItemFieldCount; ++n)
            fields.push_back(t.field(t.fieldIndex(itemField(n)->name)));
        const std::size_t recordLength = std::size_t(t.recordLength());
        session.items.close();

        std::string records;
        records.reserve(recordLength * items + 1);
        std::string record(recordLength, ' ');
        for (std::uint32_t i = 0; i < items; ++i) {
            std::fill(record.begin(), record.end(), ' ');
            fill(record, fields, i);
            records += record;
        }
        records += char(0x1A);

        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            std::abort();
        const QByteArray header = file.read(12);
        const std::uint32_t headerBytes =
            std::uint8_t(header[8]) | std::uint32_t(std::uint8_t(header[9])) << 8;
        file.seek(headerBytes);
        file.write(records.data(), qint64(records.size()));
        file.seek(4);
        const char count[4] = {char(items & 0xff), char((items >> 8) & 0xff),
                               char((items >> 16) & 0xff), char((items >> 24) & 0xff)};
        file.write(count, 4);
        file.close();
        if (sortKeys[0] != 0) {
            session.items.open(dbase::OpenMode::Exclusive);
            session.db.sortKeys = sortKeys;
            session.sortExpression = BuildSortString(session.db.sortKeys);
            selectSortIndex(session.items, session.sortExpression, SortIndexUse::Rebuild);
            session.items.close();
        }
        session.items.open();
    }
};

} // namespace bench
