#include "find/search_session.h"

#include "session/inventory_session.h"

bool applySearch(InventorySession& session, const SearchItems& items,
                 const std::function<void()>& reapplyViewer) {
    if (session.searchOn)
        session.endSearch(reapplyViewer);
    // Compiled against the table as it is open now, so the field places are right.
    session.startSearch(BuildFilter(items, session.items));
    if (session.items.table().bof() && session.items.table().eof()) {
        session.endSearch(reapplyViewer);
        return false;
    }
    return true;
}

void endSearch(InventorySession& session, const std::function<void()>& reapplyViewer) {
    session.endSearch(reapplyViewer);
}

void switchSearchOff(InventorySession& session) {
    session.switchSearchOff();
}
