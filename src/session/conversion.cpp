#include "session/conversion.h"

#include "dbase/table.h"
#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <functional>
#include <span>

namespace F = item_field;

namespace {

// dBase field names are at most 10 characters: the old "Description" is stored "DESCRIPTIO".
constexpr int kFieldNameLength = 10;

// The fields of each old table after its first one, which neither version compared or copied.
constexpr std::array<const char*, 18> kVersion2Fields = {
    "Item",       "Brand",    "Model",    "Serial",    "Location", "Description",
    "BoughtFrom", "IDMarks",  "Quantity", "PurchDate", "Cost",     "Category",
    "RepCost",    "Warranty", "WarDate",  "WarNotes",  "Owner",    "Value"};
constexpr std::array<const char*, 14> kVersion1Fields = {
    "Item",    "Brand",    "Model",    "Serial",     "Room",      "Description", "BoughtFrom",
    "IDMarks", "Quantity", "PurchDay", "PurchMonth", "PurchYear", "Cost",        "Category"};

// Version 1: old field position (from 0, the first field being the one not copied) and the
// item field it goes to. The three purchase date parts are handled apart.
struct FieldMove {
    int oldIndex;
    int itemField;
};
constexpr std::array<FieldMove, 11> kVersion1Moves = {{{1, F::Item},
                                                       {2, F::Brand},
                                                       {3, F::Model},
                                                       {4, F::Serial},
                                                       {5, F::Location},
                                                       {6, F::Descriptio},
                                                       {7, F::BoughtFrom},
                                                       {8, F::IDMarks},
                                                       {9, F::Quantity},
                                                       {13, F::Cost},
                                                       {14, F::Category}}};
constexpr int kV1PurchDay = 10;
constexpr int kV1PurchMonth = 11;
constexpr int kV1PurchYear = 12;
constexpr int kV1DatePartLength = 4;

const std::array<QString, 12> kMonthNames = {
    QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
    QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
    QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};

std::filesystem::path fsPath(const QString& path) {
    return QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
}

bool hasOldFieldList(const QString& path, std::span<const char* const> expected) {
    const DatabasePaths paths = DatabasePaths::forTable(path);
    if (!QFileInfo::exists(paths.index))
        RemoveMDXByte(path);
    dbase::Table MyCheckTable;
    // Without its index: only the field list counts, and a damaged index must not hide it.
    MyCheckTable.openFile(fsPath(path), dbase::OpenMode::ReadOnly, false);
    if (MyCheckTable.fieldCount() != int(expected.size()) + 1)
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        const QString want = QString::fromLatin1(expected[i]).left(kFieldNameLength);
        if (QString::fromStdString(MyCheckTable.field(int(i) + 1).name)
                .compare(want, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

// A field of the old table as Unicode text, from the old table's own code page.
QString oldText(const dbase::Table& old, int index) {
    const std::string utf8 = dbase::toUtf8(old.fieldText(index), old.codePage());
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// A date field of version 2. A stored date is copied as it is; a date kept as text is read in
// the display format, as a typed date would be. False when something is there that makes no
// date (the field then stays empty).
bool copyVersion2Date(const dbase::Table& old, int index, ItemTable& items, int itemField,
                      const DateFormat& format) {
    if (old.isBlank(index))
        return true;
    std::optional<QDate> date;
    if (old.field(index).type == dbase::FieldType::Date) {
        try {
            if (const auto d = old.fieldDate(index))
                date = toQDate(*d);
        } catch (const dbase::DatabaseError&) {
        }
    } else {
        const QString text = oldText(old, index).trimmed();
        if (text.isEmpty())
            return true;
        date = format.parse(text);
    }
    items.setDate(itemField, date);
    return date.has_value();
}

// Version 1 kept the purchase date as three texts. Each is cut to 4 characters and a month
// name (exactly as version 1 wrote it) becomes its number; the parts are read as m/d/y.
std::optional<QDate> version1Date(const dbase::Table& old, const DateFormat& format) {
    const auto part = [&](int index) {
        return oldText(old, index).left(kV1DatePartLength).trimmed();
    };
    const QString day = part(kV1PurchDay);
    QString month = part(kV1PurchMonth);
    const QString year = part(kV1PurchYear);
    for (size_t m = 0; m < kMonthNames.size(); ++m)
        if (month == kMonthNames[m])
            month = QString::number(m + 1);
    const QChar sep = QLatin1Char('/');
    return format.parse(month + sep + day + sep + year);
}

// The user's date format comes back however the conversion ends.
class DateFormatOverride {
public:
    DateFormatOverride(DisplayFormats& formats, const DateFormat& fixed)
        : m_formats(formats), m_saved(formats.current()) {
        m_formats.setCurrent(fixed);
    }
    ~DateFormatOverride() { m_formats.setCurrent(m_saved); }
    DateFormatOverride(const DateFormatOverride&) = delete;
    DateFormatOverride& operator=(const DateFormatOverride&) = delete;

private:
    DisplayFormats& m_formats;
    DateFormat m_saved;
};

class SuspendedUpdates {
public:
    explicit SuspendedUpdates(dbase::Table& table) : m_table(table) { m_table.suspendUpdates(); }
    ~SuspendedUpdates() { m_table.resumeUpdates(); }
    SuspendedUpdates(const SuspendedUpdates&) = delete;
    SuspendedUpdates& operator=(const SuspendedUpdates&) = delete;

private:
    dbase::Table& m_table;
};

// Marks the appended records deleted again. Empty when all went; else why not.
QString removeAppended(ItemTable& items, const std::vector<std::uint32_t>& records) {
    QString problem;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        try {
            if (items.goToRecord(*it))
                items.table().deleteRecord();
        } catch (const std::exception& e) {
            if (problem.isEmpty())
                problem = QString::fromStdString(e.what());
        }
    }
    return problem;
}

// Copies one old record into a new item record; false when a date could not be stored.
using RecordCopy = std::function<bool(const dbase::Table& old, ItemTable& items)>;

struct Appended {
    ConversionResult result;
    std::vector<std::uint32_t> records;
};

Appended appendAll(InventorySession& s, const QString& path, const RecordCopy& copy) {
    Appended a;
    ItemTable& items = s.items;
    BusyCursor busy;
    SuspendedUpdates quiet(items.table());
    std::uint32_t oldRecord = 0;
    try {
        dbase::Table old;
        old.openFile(fsPath(path), dbase::OpenMode::ReadOnly, false);
        for (old.first(); !old.eof(); old.next()) {
            oldRecord = old.recordNumber();
            items.table().append();
            if (!copy(old, items))
                ++a.result.withoutDate;
            items.table().post();
            a.records.push_back(items.table().recordNumber());
        }
        old.close();
        a.result.completed = true;
        a.result.converted = int(a.records.size());
        return a;
    } catch (const std::exception& e) {
        if (items.isOpen())
            items.table().cancel();
        a.result.error = QString::fromStdString(e.what());
        if (oldRecord != 0)
            a.result.error = QStringLiteral("Record %1: %2").arg(oldRecord).arg(a.result.error);
    }
    const QString left = removeAppended(items, a.records);
    if (!left.isEmpty())
        a.result.error += QStringLiteral("  The records added so far could not all be removed "
                                         "again: %1")
                              .arg(left);
    a.records.clear();
    a.result.withoutDate = 0;
    return a;
}

Appended convertVersion2(InventorySession& s, const QString& path) {
    const DateFormat dates = s.formats.current();
    return appendAll(s, path, [&dates](const dbase::Table& old, ItemTable& items) {
        bool datesStored = true;
        for (int field = F::Item; field <= F::Value; ++field) {
            if (kItemFields[size_t(field - 1)].type == FieldType::Date)
                datesStored = copyVersion2Date(old, field, items, field, dates) && datesStored;
            else
                items.setText(field, oldText(old, field));
        }
        return datesStored;
    });
}

Appended convertVersion1(InventorySession& s, const QString& path) {
    DateFormat oldDates;
    oldDates.separator = QLatin1Char('/');
    oldDates.pattern = QStringLiteral("m/d/y");
    DateFormatOverride dates(s.formats, oldDates);
    DisplayFormats& formats = s.formats;
    return appendAll(s, path, [&formats](const dbase::Table& old, ItemTable& items) {
        for (const FieldMove& move : kVersion1Moves)
            items.setText(move.itemField, oldText(old, move.oldIndex));
        const std::optional<QDate> date = version1Date(old, formats.current());
        items.setDate(F::PurchDate, date);
        return date.has_value();
    });
}

// Asks, converts, and deletes the old table once its records are in.
void offer(InventorySession& s, Prompter& prompter, const QString& version, const QString& file,
           bool (*recognise)(const QString&),
           Appended (*convert)(InventorySession&, const QString&)) {
    // Copied over from Windows, the name may come in any letter case.
    const QDir programDir(s.paths.programDir);
    const QStringList found = programDir.entryList({file}, QDir::Files);
    if (found.isEmpty())
        return;
    const QString path = programDir.filePath(found.contains(file) ? file : found.first());
    bool recognised = false;
    try {
        recognised = recognise(path);
    } catch (const dbase::DatabaseError&) {
        // A file of that name that is no table of ours is left alone without a word.
    }
    if (!recognised)
        return;
    if (prompter.message({QStringLiteral("Convert"), conversionQuestion(version, file),
                          MsgIcon::Question, MsgButton::Yes | MsgButton::No, MsgButton::Yes}) !=
        MsgButton::Yes)
        return;

    Appended a = convert(s, path);
    if (!a.result.completed) {
        prompter.error(conversionFailedMessage(file, a.result.error));
    } else if (!QFile::remove(path)) {
        // Kept records and a kept file would be converted twice at the next start.
        {
            BusyCursor busy;
            SuspendedUpdates quiet(s.items.table());
            removeAppended(s.items, a.records);
        }
        prompter.error(oldFileNotDeletedMessage(file));
        a.result.converted = 0;
    } else if (a.result.withoutDate > 0) {
        prompter.notice(withoutDateMessage(file, a.result));
    }
    if (s.reapplyViewer)
        s.reapplyViewer();
}

} // namespace

bool CheckDBaseFormatV2(const QString& path) {
    return hasOldFieldList(path, kVersion2Fields);
}

bool CheckDBaseFormatV1(const QString& path) {
    return hasOldFieldList(path, kVersion1Fields);
}

ConversionResult ConvertV2(InventorySession& session, const QString& path) {
    return convertVersion2(session, path).result;
}

ConversionResult ConvertV1(InventorySession& session, const QString& path) {
    return convertVersion1(session, path).result;
}

void CheckForConversion(InventorySession& s, Prompter& prompter) {
    // Nothing can be appended to a database open read only; the offer comes again next time.
    if (s.readOnly || !s.items.isOpen())
        return;
    offer(s, prompter, QStringLiteral("2.X"), kVersion2File, CheckDBaseFormatV2, convertVersion2);
    offer(s, prompter, QStringLiteral("1.X"), kVersion1File, CheckDBaseFormatV1, convertVersion1);
}

QString conversionQuestion(const QString& version, const QString& file) {
    return QStringLiteral("A database from a previous version (%1) has been detected.  Would you "
                          "like to convert it now?  NOTE: After conversion the old file will be "
                          "deleted.  You may wish to make a copy of \"%2\" first.")
        .arg(version, file);
}

QString conversionFailedMessage(const QString& file, const QString& reason) {
    return QStringLiteral("The conversion of \"%1\" could not be finished.  %2  Nothing was "
                          "added to the database, and \"%1\" was kept.")
        .arg(file, reason);
}

QString withoutDateMessage(const QString& file, const ConversionResult& result) {
    if (result.withoutDate == 1)
        return QStringLiteral("%1 records of \"%2\" were converted.  1 record held a date that "
                              "makes no valid date; it was stored without that date.")
            .arg(result.converted)
            .arg(file);
    return QStringLiteral("%1 records of \"%2\" were converted.  %3 records held a date that "
                          "makes no valid date; they were stored without that date.")
        .arg(result.converted)
        .arg(file)
        .arg(result.withoutDate);
}

QString oldFileNotDeletedMessage(const QString& file) {
    return QStringLiteral("The records of \"%1\" were converted, but the file could not be "
                          "deleted afterwards.  The converted records were taken out again so "
                          "that they are not added twice; the conversion will be offered again "
                          "at the next start.")
        .arg(file);
}
