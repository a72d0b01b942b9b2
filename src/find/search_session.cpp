#include "find/search_session.h"

#include "session/inventory_session.h"

namespace {
// The item table selects its sort index again as it opens.
void reopen(InventorySession& session, const std::function<void()>& reapplyViewer) {
    session.items.close();
    session.items.open(dbase::OpenMode::Shared);
    if (reapplyViewer)
        reapplyViewer();
}
} // namespace

bool applySearch(InventorySession& session, const SearchItems& items,
                 const std::function<void()>& reapplyViewer) {
    ItemTable& table = session.items;
    if (session.searchOn)
        reopen(session, reapplyViewer);
    // Compiled against the table as it is open now, so the field places are right.
    table.table().setFilter(BuildFilter(items, table));
    session.searchOn = true;
    table.table().refresh();
    if (table.table().bof() && table.table().eof()) {
        endSearch(session, reapplyViewer);
        return false;
    }
    return true;
}

void endSearch(InventorySession& session, const std::function<void()>& reapplyViewer) {
    switchSearchOff(session);
    reopen(session, reapplyViewer);
}

void switchSearchOff(InventorySession& session) {
    session.searchOn = false;
    session.items.table().clearFilter();
}
