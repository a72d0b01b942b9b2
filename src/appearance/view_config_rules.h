#pragma once

#include "settings/settings.h"

#include <QString>

#include <array>
#include <optional>

// What the Viewer Configuration window holds when it closes, row by row in field order
// (index 0 = field 1), and the rules that turn it into the viewer settings.
struct ViewConfigCells {
    std::array<QString, kFieldCount> names;   // "NAME TO USE"
    std::array<QString, kFieldCount> shown;   // "DISPLAY IT": "Yes" or "No"
    std::array<QString, kFieldCount> widths;  // "WIDTH"
    std::array<QString, kFieldCount> ordered; // the order list, position 1 first
};

// The cells as the window shows them for these settings.
ViewConfigCells viewConfigCells(const DatabaseSettings& db);

constexpr int kFieldNameLength = 20;

// A "NAME TO USE" cell as the settings keep it: cut to 20 characters, without the blanks
// around it that the settings file drops anyway.
QString storedFieldName(const QString& cell);

// The first name used by two rows, compared as they are stored (exact comparison otherwise;
// two empty names are alike): "Cost " and "Cost" would read back as one name.
std::optional<QString> duplicateFieldName(const std::array<QString, kFieldCount>& names);
QString duplicateFieldNameMessage(const QString& name);

// A width cell as closing reads it: a whole number 1-255, anything else 10.
int closingFieldWidth(const QString& cell);
constexpr int kFallbackFieldWidth = 10;

// Closing: widths, shown flags, order and names into db. The order list names fields by the
// names they had when the window opened (db.fieldNames before this call), so a field renamed
// and moved in one visit keeps its move. Names are stored as storedFieldName gives them.
void applyViewConfig(DatabaseSettings& db, const ViewConfigCells& cells);

// "Re-Order" defaults: the names in field order.
std::array<QString, kFieldCount> defaultFieldOrderRows(const DatabaseSettings& db);
