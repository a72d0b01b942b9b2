#pragma once

#include "table.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dbase {

// Called now and then during long runs with the records done and the records in the table.
using Progress = std::function<void(std::uint32_t done, std::uint32_t total)>;

// Writes the records a walk of the table sees as CSV in UTF-8: a header row of field names,
// then one row per record. Text (field names included) is converted from the table's code page;
// memo fields give their text; numbers are written as stored, dates as YYYY-MM-DD, logicals as
// T or F, blanks and nulls as empty cells, other values as Table::fieldText reads them. Returns
// the number of records written; a write error, or a memo that cannot be read, throws
// DatabaseError.
std::uint64_t dumpCsv(Table& table, std::FILE* out, const std::string& outputName,
                      const Progress& progress = {});

struct CheckReport {
    std::uint32_t records = 0; // in the header
    std::uint32_t live = 0;
    std::uint32_t deleted = 0;
    std::vector<std::string> problems; // the table holds something a reader would trip over
    std::vector<std::string> notes;    // harmless oddities worth knowing
    std::uint64_t problemCount = 0;    // problems may be more than the list keeps
};

// Opens the table read-only and reads every record and field. A table that cannot be opened
// at all throws DatabaseError.
CheckReport checkTable(const std::filesystem::path& file, const Progress& progress = {});

} // namespace dbase
