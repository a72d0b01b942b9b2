#pragma once

#include "items/database_paths.h"
#include "dbase/table.h"

#include <QDate>
#include <QString>

#include <array>
#include <memory>
#include <optional>

struct DateFormat;

// The item table as the program sees it: the engine's table plus field access by field number
// (1-22) or name in Unicode text, numbers and dates. Text crosses into the table's code page
// here; a character the code page cannot hold is refused with a DatabaseError naming it,
// never stored as something else.
class ItemTable {
public:
    ItemTable();
    ~ItemTable();

    // Where the table lives. Set while it is closed; open() uses it.
    void setPaths(const DatabasePaths& paths) { m_paths = paths; }
    const DatabasePaths& paths() const { return m_paths; }

    // Opens the table and follows the remembered index tag again. A tag that cannot be read
    // leaves the table open in record order; indexProblem() then says why.
    void open(dbase::OpenMode mode = dbase::OpenMode::Shared);
    const QString& indexProblem() const { return m_indexProblem; }
    void close();
    bool isOpen() const { return m_table->isOpen(); }
    dbase::OpenMode openMode() const { return m_table->openMode(); }

    // The index tag the walk follows ("" for record order). Kept across close and open, so
    // work that reopens the table (pack, rebuild) leaves the viewer's order as it was.
    void setIndex(const QString& tag);
    const QString& indexName() const { return m_indexName; }

    dbase::Table& table() { return *m_table; }
    const dbase::Table& table() const { return *m_table; }

    // Field values of the current record. Blank numbers and dates give nullopt. As text,
    // numbers are plain decimal text and dates YYYYMMDD, and setText takes them that way, so
    // a value copied as text between tables arrives unchanged.
    QString text(int number) const;
    std::optional<qint64> integer(int number) const;
    std::optional<double> floating(int number) const;
    std::optional<QDate> date(int number) const;
    bool isBlank(int number) const;
    // What the viewer and reports show: dates in the given format, everything else as text.
    QString displayText(int number, const DateFormat& format) const;

    // Need the table in edit or insert state. An invalid or absent date clears the field.
    void setText(int number, const QString& value);
    void setInteger(int number, qint64 value);
    void setFloating(int number, double value);
    void setDate(int number, const std::optional<QDate>& value);
    void clear(int number);

    // By dBase field name, any letter case.
    int fieldNumber(QStringView name) const; // throws DatabaseError for an unknown name
    QString text(QStringView name) const { return text(fieldNumber(name)); }
    void setText(QStringView name, const QString& value) { setText(fieldNumber(name), value); }

    // Unicode to the table's code page; throws DatabaseError naming the character that does not
    // fit. Also used for search texts compared against raw field bytes.
    std::string encode(const QString& value) const;
    QString decode(std::string_view bytes) const;

private:
    int index(int number) const;

    DatabasePaths m_paths;
    std::unique_ptr<dbase::Table> m_table;
    std::array<int, 22> m_index{}; // engine field index of each field number, -1 if missing
    QString m_indexName;
    QString m_indexProblem;
};

// dBase dates and QDate.
QDate toQDate(const dbase::Date& date);
dbase::Date toDbaseDate(const QDate& date);
