#pragma once

#include "find/search_criteria.h"

#include <functional>

struct InventorySession;

// Switching a search on and off over the session's item table. reapplyViewer re-applies the
// viewer set-up after the table was reopened.

// Applies saved criteria: a search already on is ended first (table closed and reopened),
// then the predicate becomes the item table's filter, the search-on state is set and the
// table re-read. When no record passes, the search is ended again and the answer is false.
bool applySearch(InventorySession& session, const SearchItems& items,
                 const std::function<void()>& reapplyViewer);

// End Search: the search-on state off, the filter gone, the table closed and reopened shared
// so every record shows again.
void endSearch(InventorySession& session, const std::function<void()>& reapplyViewer);

// The search-on state off and the filter gone, without touching the table: for a database
// switch, before the old table is closed. (The filter would otherwise stay on the table
// object and judge the next database's records.)
void switchSearchOff(InventorySession& session);
