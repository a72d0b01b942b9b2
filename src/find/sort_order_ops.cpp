#include "find/sort_order_ops.h"

#include "session/inventory_session.h"
#include "ui/prompter.h"
#include "items/database_ops.h"
#include "items/sort_index.h"
#include "items/sort_string.h"

const QString kSortOrderInUseMessage = QStringLiteral(
    "Creating a new sort order requires exclusive use of the DBase File.  Make sure that the "
    "DBase File is not in use by another program  or that no other users are running the "
    "software or that no other copies of the software are in use.");
const QString kSortOrderFailedMessage =
    QStringLiteral("Error in implementing sort order.  New sort order not implemented.");

namespace {

// The expression "NewIndex" is built on now; empty when the table has no such tag.
QString sortTagExpression(dbase::Table& table) {
    if (!table.hasIndex())
        return {};
    for (const dbase::IndexTag& t : table.indexTags())
        if (QString::fromStdString(t.name).compare(kSortTagName, Qt::CaseInsensitive) == 0)
            return QString::fromStdString(t.expression);
    return {};
}

// The table remembers its index name, so opening it selects the order again.
void reopenShared(ItemTable& items, const std::function<void()>& reapplyViewer) {
    if (items.isOpen())
        items.close();
    items.open(dbase::OpenMode::Shared);
    if (reapplyViewer)
        reapplyViewer();
}

} // namespace

SortOrderOutcome applySortOrder(InventorySession& session, const std::array<int, 4>& levels,
                                Prompter& prompter, const std::function<void()>& reapplyViewer) {
    ItemTable& items = session.items;
    items.close();
    if (DBaseInUse(items.paths().current)) {
        prompter.error(kSortOrderInUseMessage);
        reopenShared(items, reapplyViewer);
        return SortOrderOutcome::InUse;
    }

    const std::array<int, 4> oldLevels = session.db.sortKeys;
    const QString oldExpression = session.sortExpression;
    try {
        items.open(dbase::OpenMode::Exclusive);
        session.db.sortKeys = levels;
        session.sortExpression = BuildSortString(levels);
        // An empty expression leaves the tag alone and walks in record order.
        selectSortIndex(items, session.sortExpression, SortIndexUse::Rebuild);
        QString error;
        if (!saveDatabaseSettings(session.db, items.paths().settings, &error))
            throw dbase::DatabaseError(error.toStdString());
        reopenShared(items, reapplyViewer);
        return SortOrderOutcome::Applied;
    } catch (const dbase::DatabaseError&) {
    }

    prompter.error(kSortOrderFailedMessage);
    session.db.sortKeys = oldLevels;
    session.sortExpression = oldExpression;
    // The old tag may be gone or rebuilt already: while sole use lasts, build it again, so the
    // viewer and the next start keep the order the levels name.
    try {
        if (items.isOpen() && items.openMode() == dbase::OpenMode::Exclusive &&
            sortTagExpression(items.table()).compare(oldExpression, Qt::CaseInsensitive) != 0)
            selectSortIndex(items, oldExpression, SortIndexUse::Rebuild);
    } catch (const dbase::DatabaseError&) {
        // Nothing more to be done here; see below.
    }
    // Follow the tag only when it holds the old order; a tag that is missing altogether is
    // dropped by the table as it opens.
    QString follow;
    if (items.isOpen()) {
        if (!oldExpression.isEmpty() &&
            sortTagExpression(items.table()).compare(oldExpression, Qt::CaseInsensitive) == 0)
            follow = kSortTagName;
        items.close();
    } else if (!oldExpression.isEmpty()) {
        follow = kSortTagName;
    }
    items.setIndex(follow);
    try {
        reopenShared(items, reapplyViewer);
    } catch (const dbase::DatabaseError& e) {
        // The table would not open again: say why, as the engine puts it.
        prompter.error(QString::fromStdString(e.what()));
    }
    return SortOrderOutcome::Failed;
}
