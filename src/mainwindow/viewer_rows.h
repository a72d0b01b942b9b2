#pragma once

#include "dbase/table.h"

#include <cstdint>
#include <vector>

// The records a walk of the table visits (its selected tag or record order, its filter,
// deleted records skipped), in walk order: the viewer's row map. The cursor is left where it
// was. Throws DatabaseError when the table or its index cannot be read.
std::vector<std::uint32_t> collectViewerRows(dbase::Table& table);
