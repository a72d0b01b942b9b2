#pragma once

#include <QString>

class ItemTable;

// The tag that carries the viewer's sort order.
inline const QString kSortTag = QStringLiteral("NewIndex");

enum class SortIndexChoice {
    Rebuild, // a database opened or created: the tag is built afresh from the expression
    Reuse,   // start-up: an existing NAME.MDX keeps its tag as it stands
    Keep,    // a table another copy holds open: use its tag if it has one, never build
};

// Selects the sort index on the open item table: none for an empty expression, otherwise the
// tag "NewIndex" on the expression (deleting an old one first when rebuilding). The choice is
// remembered, so reopening the table selects it again.
void selectSortIndex(ItemTable& items, const QString& expression, SortIndexChoice choice);
