#include "find/sort_order_ops.h"

#include "app/inventory_session.h"
#include "app/prompter.h"
#include "db/database_ops.h"
#include "db/sort_string.h"

#include <QFileInfo>

const QString kSortOrderInUseMessage = QStringLiteral(
    "Creating a new sort order requires exclusive use of the DBase File.  Make sure that the "
    "DBase File is not in use by another program  or that no other users are running the "
    "software or that no other copies of the software are in use.");
const QString kSortOrderFailedMessage =
    QStringLiteral("Error in implementing sort order.  New sort order not implemented.");

namespace {

const std::string kTag = kSortIndexTag.toStdString();

bool hasSortTag(dbase::Table& table) {
    if (!table.hasIndex())
        return false;
    for (const dbase::IndexTag& t : table.indexTags())
        if (QString::fromStdString(t.name).compare(kSortIndexTag, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Replaces "NewIndex" with a tag for the expression. A production index without the tag
// (made by other software, or left from an order of no fields) simply gets it added.
void rebuildSortTag(dbase::Table& table, const QString& expression) {
    table.setIndex({});
    if (hasSortTag(table))
        table.deleteIndex(kTag);
    table.addIndex(kTag, expression.toStdString());
    table.setIndex(kTag);
}

void reopenShared(ItemTable& items, const QString& expression,
                  const std::function<void()>& reapplyViewer) {
    items.close();
    items.open(dbase::OpenMode::Shared);
    selectSortIndex(items, expression);
    if (reapplyViewer)
        reapplyViewer();
}

} // namespace

void selectSortIndex(ItemTable& items, const QString& sortExpression) {
    dbase::Table& table = items.table();
    if (!sortExpression.isEmpty() && hasSortTag(table))
        table.setIndex(kTag);
    else
        table.setIndex({});
}

SortOrderOutcome applySortOrder(InventorySession& session, const std::array<int, 4>& levels,
                                Prompter& prompter, const std::function<void()>& reapplyViewer) {
    ItemTable& items = session.items;
    items.close();
    if (DBaseInUse(items.paths().current)) {
        prompter.error(kSortOrderInUseMessage);
        reopenShared(items, session.sortExpression, reapplyViewer);
        return SortOrderOutcome::InUse;
    }

    const std::array<int, 4> oldLevels = session.db.sortKeys;
    const QString oldExpression = session.sortExpression;
    try {
        items.open(dbase::OpenMode::Exclusive);
        session.db.sortKeys = levels;
        session.sortExpression = BuildSortString(levels);
        if (session.sortExpression.isEmpty())
            items.table().setIndex({});
        else
            rebuildSortTag(items.table(), session.sortExpression);
        QString error;
        if (!saveDatabaseSettings(session.db, items.paths().settings, &error))
            throw dbase::DatabaseError(error.toStdString());
        reopenShared(items, session.sortExpression, reapplyViewer);
        return SortOrderOutcome::Applied;
    } catch (const dbase::DatabaseError&) {
    }

    prompter.error(kSortOrderFailedMessage);
    session.db.sortKeys = oldLevels;
    session.sortExpression = oldExpression;
    // The old tag may be gone already: while sole use lasts, build it again so the viewer and
    // the next start keep the order the settings name.
    try {
        if (items.isOpen() && items.openMode() == dbase::OpenMode::Exclusive &&
            !oldExpression.isEmpty()) {
            dbase::Table& table = items.table();
            table.setIndex({});
            bool current = false;
            for (const dbase::IndexTag& t :
                 table.hasIndex() ? table.indexTags() : std::vector<dbase::IndexTag>{})
                if (QString::fromStdString(t.name).compare(kSortIndexTag, Qt::CaseInsensitive) ==
                        0 &&
                    QString::fromStdString(t.expression) == oldExpression)
                    current = true;
            if (!current)
                rebuildSortTag(table, oldExpression);
        }
    } catch (const dbase::DatabaseError&) {
        // Nothing more to be done; the table opens in record order below.
    }
    try {
        reopenShared(items, oldExpression, reapplyViewer);
    } catch (const dbase::DatabaseError& e) {
        // The table could not be opened again: say why, as the engine puts it.
        prompter.error(QString::fromStdString(e.what()));
    }
    return SortOrderOutcome::Failed;
}
