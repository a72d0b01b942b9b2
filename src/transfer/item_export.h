#pragma once

#include "formats/date_format.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct DatabasePaths;
struct DatabaseSettings;
namespace dbase {
class Table;
}

// Export: the records a walk of the item table sees, written to delimited text or to a new
// dBase table, with the fields of the export list in its order.

enum class ExportFileType { Text = 1, Dbase = 2 };

// The export list: field numbers whose flag is set, walking export positions 1 to 22. A field
// with a position outside 1-22 or shared with another field is still written once, after the
// ordered ones, when flagged.
std::vector<int> exportList(const std::array<int, 22>& order, const std::array<bool, 22>& flags);

// Header labels: the display name of a field shown in the viewer, the table's own field name
// (as the table stores it) for a hidden one.
QStringList exportHeader(const dbase::Table& table, const std::vector<int>& fields,
                         const DatabaseSettings& settings);

// Called now and then with the records done and the records in the table.
using ExportProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

struct ExportResult {
    std::uint64_t records = 0;
    QString error; // empty when the file was written
};

// Delimited text in UTF-8: every value in double quotes with inner quotes doubled and blanks
// trimmed, commas between, one line per record. Character fields as stored, numbers as plain
// decimal text, dates in the given format's order and separator with four-digit years. The file is
// written beside its final name and renamed over it only when complete. Walks the table from its
// first record and puts its cursor back afterwards.
ExportResult exportText(dbase::Table& table, const std::vector<int>& fields,
                        const QStringList* header, const DateFormat& dates, const QString& path,
                        const ExportProgress& progress = {});

// A new dBase table with one field per export field, named and typed as the item field,
// no index. Built under a temporary name and renamed over `path` when complete; an old
// NAME.MDX beside it is removed, since it belonged to the table replaced.
ExportResult exportDbase(dbase::Table& table, const std::vector<int>& fields, const QString& path,
                         const ExportProgress& progress = {});

// An export must not replace a file of the open database: the text of the refusal, or nullopt.
std::optional<QString> exportTargetProblem(const QString& target, const DatabasePaths& open,
                                           const QString& programDir);
