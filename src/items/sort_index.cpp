#include "items/sort_index.h"

#include "items/item_table.h"

#include <QFileInfo>

namespace {
// The tag "NewIndex" of the attached index, if there is one.
std::optional<dbase::IndexTag> sortTag(dbase::Table& table) {
    if (!table.hasIndex())
        return std::nullopt;
    for (const dbase::IndexTag& tag : table.indexTags())
        if (QString::fromStdString(tag.name).compare(kSortTagName, Qt::CaseInsensitive) == 0)
            return tag;
    return std::nullopt;
}
} // namespace

void selectSortIndex(ItemTable& items, const QString& expression, SortIndexUse use) {
    dbase::Table& table = items.table();
    const std::string tagName = kSortTagName.toStdString();
    if (expression.isEmpty()) {
        items.setIndex({});
        return;
    }
    const bool indexFile = QFileInfo::exists(items.paths().index);
    const auto existing = indexFile ? sortTag(table) : std::nullopt;
    // A tag built from another expression (settings edited elsewhere, another program) would
    // show an order the settings do not describe, so start-up rebuilds it too.
    if (use == SortIndexUse::Reuse && existing &&
        QString::fromStdString(existing->expression).compare(expression, Qt::CaseInsensitive) ==
            0) {
        try {
            items.setIndex(kSortTagName);
            return;
        } catch (const dbase::DatabaseError&) {
            items.setIndex({}); // a damaged tag is built afresh below
        }
    }
    if (use == SortIndexUse::Keep) {
        // Rebuilding under another copy's feet is not ours to do.
        try {
            items.setIndex(existing ? kSortTagName : QString());
        } catch (const dbase::DatabaseError&) {
            items.setIndex({});
        }
        return;
    }
    if (indexFile) {
        items.setIndex({});
        // An index file the table does not point at is left over from a replaced table;
        // adding the tag writes a new one over it.
        if (existing)
            table.deleteIndex(tagName);
    }
    table.addIndex(tagName, expression.toStdString());
    items.setIndex(kSortTagName);
}
