#include "mainwindow/viewer_rows.h"

std::vector<std::uint32_t> collectViewerRows(dbase::Table& table) {
    if (!table.isOpen())
        return {};
    // The engine reads the tag's leaf pages and the records in bulk, not a seek per record.
    return table.visibleRecordNumbers();
}
