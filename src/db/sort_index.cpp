#include "db/sort_index.h"

#include "db/item_table.h"

#include <algorithm>
#include <cctype>

namespace {
bool hasTag(dbase::Table& table, const QString& name) {
    if (!table.hasIndex())
        return false;
    const std::string wanted = name.toUpper().toStdString();
    for (const auto& tag : table.indexTags()) {
        std::string n = tag.name;
        std::transform(n.begin(), n.end(), n.begin(),
                       [](unsigned char c) { return char(std::toupper(c)); });
        if (n == wanted)
            return true;
    }
    return false;
}
} // namespace

void selectSortIndex(ItemTable& items, const QString& expression, SortIndexChoice choice) {
    dbase::Table& table = items.table();
    if (expression.isEmpty()) {
        items.setIndexName({});
        table.setIndex("");
        return;
    }
    if (choice != SortIndexChoice::Rebuild && hasTag(table, kSortTag)) {
        items.setIndexName(kSortTag);
        table.setIndex(kSortTag.toStdString());
        return;
    }
    if (choice == SortIndexChoice::Keep) {
        items.setIndexName({});
        table.setIndex("");
        return;
    }
    table.setIndex("");
    items.setIndexName({});
    if (hasTag(table, kSortTag))
        table.deleteIndex(kSortTag.toStdString());
    table.addIndex(kSortTag.toStdString(), expression.toStdString());
    items.setIndexName(kSortTag);
    table.setIndex(kSortTag.toStdString());
}
