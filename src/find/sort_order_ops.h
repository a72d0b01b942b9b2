#pragma once

#include <QString>

#include <array>
#include <functional>

class Prompter;
struct InventorySession;

// Ordering the viewer by up to four fields: the tag "NewIndex" of the production index holds
// the order, built from the sort levels (field numbers, 0 for none).

extern const QString kSortOrderInUseMessage;
extern const QString kSortOrderFailedMessage;

enum class SortOrderOutcome {
    Applied, // the new order is in force and the settings file written
    InUse,   // another program holds the table: nothing changed (the message has been shown)
    Failed,  // the index or the settings file failed: the old levels and order are back
};

// The Sort Order window's Ok. Needs sole use of the table for the rebuild; the table is open
// shared again afterwards in every case, and reapplyViewer has run after each reopening.
SortOrderOutcome applySortOrder(InventorySession& session, const std::array<int, 4>& levels,
                                Prompter& prompter, const std::function<void()>& reapplyViewer);
