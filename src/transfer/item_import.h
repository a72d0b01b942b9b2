#pragma once

#include "formats/date_format.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class ItemTable;
namespace dbase {
class Table;
}

// Import: the source's fields are mapped onto item fields and every source record becomes a
// new item record, appended through the shared table so the index stays right.

enum class ImportFileType { Text = 1, Dbase = 2 };

// What became of one value on its way into an item field.
enum class ValueFate {
    Stored,  // stored as it was (or the source was empty)
    Emptied, // no date, no number, or no number the field can hold: the field stays empty
    Cut,     // text longer than the field, or with a character the table cannot hold: the part
             // before is stored
};

// Readers of the import's number texts. The integer reader: leading blanks, an optional sign,
// decimal digits, or "$" and hexadecimal digits. The decimal reader: leading blanks, sign,
// digits, optional fraction and exponent. Trailing blanks are allowed; anything else is no
// number.
std::optional<qint64> readImportInteger(const QString& text);
std::optional<double> readImportFloat(const QString& text);

// A date text is read only when it holds the date separator and no letter; then strictly in
// the current date format.
std::optional<QDate> readImportDate(const QString& text, const DateFormat& format,
                                    const QDate& today);

// Stores text in item field `number` of the record being inserted, converting it by the
// field's type.
ValueFate storeImportValue(ItemTable& items, int number, const QString& text,
                           const DateFormat& format, const QDate& today);

// Import field names of a dBase table (the first 20 characters of each); more than 32 fields
// give nullopt. Damage that keeps the table from opening throws DatabaseError.
std::optional<QStringList> dbaseImportFields(const QString& path);

// Step 1 of Start Import: import field i follows the first of grid rows 1-22 whose import
// column holds exactly its name; it maps to that row's item field when the row's use column
// is "Yes". rowImport and rowUse hold rows 1-22; the answer is an item field number or 0.
std::vector<int> buildImportMapping(const QStringList& importNames, const QStringList& rowImport,
                                    const QStringList& rowUse);

struct ImportReport {
    qint64 imported = 0;
    int emptied = 0; // values left empty
    int cut = 0;     // values cut
    // Source records (text: the line each starts on; dBase: the record's position) with a
    // value left empty or cut, in order; at most kListedProblems of them kept.
    std::vector<qint64> problemRecords;
    qint64 problemRecordCount = 0;
    bool cancelled = false;
    QString stopError; // the engine's report when the import stopped on an error
};
inline constexpr int kListedProblems = 20;

struct ImportRun {
    ItemTable* items = nullptr;
    std::vector<int> mapping; // for each import field, the item field or 0
    DateFormat dates;
    QDate today = QDate::currentDate();
    // Called after every record with the count so far; false cancels before the next record.
    std::function<bool(qint64)> progress;
};

// Text source: the decoded file text; with skipFirst the first record is read and dropped.
ImportReport importText(const ImportRun& run, const QString& text, bool skipFirst);
// dBase source, opened read-only without its index; its records in file order.
ImportReport importDbase(const ImportRun& run, const QString& path);

// What the user is told at the end: "Import Complete." or the cancellation, with the count and
// the values that could not be stored as they were.
QString importSummary(const ImportReport& report, ImportFileType type);
QString importCaption(const ImportReport& report);
