#pragma once

#include <QString>

class ItemTable;

// The viewer's order is the tag "NewIndex" of NAME.MDX, built from the sort expression.
inline const QString kSortTagName = QStringLiteral("NewIndex");

enum class SortIndexUse {
    Rebuild, // opening or creating a database: the tag is built afresh
    Reuse,   // start-up: a tag that still matches the expression is used as it stands
    Keep,    // a table another copy holds open: use its tag if it has one, never build
};

// Selects the sort order on the open item table: record order for an empty expression,
// otherwise the tag "NewIndex" with that expression. Engine errors rise to the caller.
void selectSortIndex(ItemTable& items, const QString& expression, SortIndexUse use);
