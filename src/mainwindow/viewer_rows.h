#pragma once

#include "dbase/table.h"

#include <cstdint>
#include <string>
#include <vector>

// The records a walk of the table visits (its selected tag or record order, its filter,
// deleted records skipped), in walk order: the viewer's row map. The cursor is left where it
// was; observers get one DataChanged at the end (updates are suspended during the walk). Throws
// DatabaseError when the table or its index cannot be read.
std::vector<std::uint32_t> collectViewerRows(dbase::Table& table);

// The record numbers of a tag in key order, deleted and filtered records included.
std::vector<std::uint32_t> tagRecordsInKeyOrder(dbase::Table& table, const std::string& tag);
