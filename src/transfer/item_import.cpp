#include "transfer/item_import.h"

#include "formats/value_format.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "transfer/delimited_text.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <charconv>

namespace {
// Where an item field sits in the open table, looked up once per import.
struct Target {
    int number = 0;
    int index = -1;
    FieldType type = FieldType::Character;
    int width = 0;
};

Target targetFor(const dbase::Table& table, int number) {
    Target t;
    const ItemField* f = itemField(number);
    if (!f)
        return t;
    t.number = number;
    t.index = table.fieldIndex(f->name);
    t.type = f->type;
    t.width = t.index >= 0 ? table.field(t.index).length : 0;
    if (t.index < 0)
        throw dbase::DatabaseError("The item table has no field " + std::string(f->name) + ".");
    return t;
}

qsizetype skipBlanks(const QString& s, qsizetype i) {
    while (i < s.size() && s[i] == QLatin1Char(' '))
        ++i;
    return i;
}

QString withoutTrailingBlanks(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == QLatin1Char(' '))
        --n;
    return s.left(n);
}

// An amount is no wider than the item field's own width (12: 999999999.99), however much room
// the table's numeric field leaves; the record editor, the viewer and the reports take no more.
bool amountFits(const dbase::Table& table, const Target& target, double value) {
    const dbase::Field& field = table.field(target.index);
    const ItemField* f = itemField(target.number);
    const int width = f ? std::min(int(field.length), f->width) : int(field.length);
    return fixedPointText(value, 0, field.decimals).size() <= width;
}

ValueFate storeValue(dbase::Table& table, const Target& target, const QString& text,
                     const DateFormat& format, const QDate& today) {
    if (target.type == FieldType::Character) {
        const QByteArray utf8 = text.toUtf8();
        const std::string_view view(utf8.constData(), size_t(utf8.size()));
        dbase::EncodeResult r = dbase::fromUtf8(view, table.codePage());
        bool cut = false;
        if (!r.ok) {
            // Keep what comes before the character the table cannot hold.
            r = dbase::fromUtf8(view.substr(0, r.badOffset), table.codePage());
            cut = true;
        }
        std::string bytes = std::move(r.bytes);
        while (!bytes.empty() && bytes.back() == ' ')
            bytes.pop_back(); // the table does not keep them; nothing is lost
        if (bytes.size() > size_t(target.width)) {
            bytes.resize(size_t(target.width));
            cut = true;
        }
        table.setFieldText(target.index, bytes);
        return cut ? ValueFate::Cut : ValueFate::Stored;
    }
    table.clearField(target.index);
    if (text.trimmed().isEmpty())
        return ValueFate::Stored;
    try {
        switch (target.type) {
        case FieldType::Integer:
            if (const auto v = readImportInteger(text)) {
                table.setFieldInteger(target.index, *v);
                return ValueFate::Stored;
            }
            break;
        case FieldType::Float:
            if (const auto v = readImportFloat(text); v && amountFits(table, target, *v)) {
                table.setFieldDouble(target.index, *v);
                return ValueFate::Stored;
            }
            break;
        case FieldType::Date:
            if (const auto d = readImportDate(text, format, today)) {
                table.setFieldDate(target.index, toDbaseDate(*d));
                return ValueFate::Stored;
            }
            break;
        case FieldType::Character:
            break;
        }
    } catch (const dbase::DatabaseError&) {
        // A number too large for the field.
        table.clearField(target.index);
    }
    return ValueFate::Emptied;
}

// Counts what happened to the values of one source record.
class RecordTally {
public:
    explicit RecordTally(ImportReport& report) : m_report(report) {}
    void add(ValueFate fate) {
        if (fate == ValueFate::Emptied)
            ++m_report.emptied;
        else if (fate == ValueFate::Cut)
            ++m_report.cut;
        m_problem = m_problem || fate != ValueFate::Stored;
    }
    void finish(qint64 sourceRecord) {
        if (!m_problem)
            return;
        ++m_report.problemRecordCount;
        if (m_report.problemRecords.size() < size_t(kListedProblems))
            m_report.problemRecords.push_back(sourceRecord);
    }

private:
    ImportReport& m_report;
    bool m_problem = false;
};

// Appends in bulk batches (see dbase::Table::beginBatch). A batch ends once it has added as
// many records as the table had when it began (at least kBatchRecords), so the index is
// brought up to date a handful of times however long the import, and whatever ends the
// import (the end, Cancel, an error) ends the batch and keeps every record posted so far.
class ImportBatch {
public:
    explicit ImportBatch(dbase::Table& table) : m_table(table) {}
    ~ImportBatch() {
        try {
            finish();
        } catch (const dbase::DatabaseError&) {
            // finish() was called on every path that can report it; this one cannot.
        }
    }
    void start() {
        m_table.beginBatch();
        m_size = std::max<qint64>(kBatchRecords, m_table.recordCount());
        m_added = 0;
    }
    // After each record posted.
    void posted() {
        if (++m_added < m_size)
            return;
        finish();
        start();
    }
    void finish() { m_table.endBatch(); }

private:
    static constexpr qint64 kBatchRecords = 1000;
    dbase::Table& m_table;
    qint64 m_size = 0;
    qint64 m_added = 0;
};

// Ends the batch; an error doing so (the disk filled up) is the import's error unless it
// already stopped on one.
void finishBatch(ImportBatch& batch, ImportReport& report) {
    try {
        batch.finish();
    } catch (const dbase::DatabaseError& e) {
        if (report.stopError.isEmpty())
            report.stopError = QString::fromStdString(e.what());
    }
}

std::vector<Target> targetsFor(const dbase::Table& table, const std::vector<int>& mapping) {
    std::vector<Target> targets;
    targets.reserve(mapping.size());
    for (const int number : mapping)
        targets.push_back(number > 0 ? targetFor(table, number) : Target{});
    return targets;
}

// Text of a dBase source value, as the source gives it.
QString sourceText(const dbase::Table& source, int index, const DateFormat& format) {
    const dbase::Field& f = source.field(index);
    switch (f.type) {
    case dbase::FieldType::Date: {
        const auto d = source.fieldDate(index);
        return d && d->isValid() ? format.format(toQDate(*d)) : QString();
    }
    case dbase::FieldType::Logical: {
        const auto b = source.fieldLogical(index);
        return b ? (*b ? QStringLiteral("True") : QStringLiteral("False")) : QString();
    }
    default: {
        const std::string utf8 = dbase::toUtf8(source.fieldText(index), source.codePage());
        return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).left(kMaxImportFieldText);
    }
    }
}
} // namespace

std::optional<qint64> readImportInteger(const QString& text) {
    qsizetype i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (i < text.size() && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    }
    const QString rest = withoutTrailingBlanks(text.mid(i));
    if (rest.isEmpty())
        return std::nullopt;
    const QByteArray ascii = rest.toLatin1();
    qint64 value = 0;
    const auto [end, ec] =
        std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value, base);
    if (ec != std::errc() || end != ascii.constData() + ascii.size() || rest.contains(u'-') ||
        rest.contains(u'+'))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> readImportFloat(const QString& text) {
    return parseFloatText(withoutTrailingBlanks(text.mid(skipBlanks(text, 0))));
}

std::optional<QDate> readImportDate(const QString& text, const DateFormat& format,
                                    const QDate& today) {
    if (!text.contains(format.separator))
        return std::nullopt;
    for (const QChar c : text)
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))
            return std::nullopt;
    return format.parse(text.trimmed(), today);
}

ValueFate storeImportValue(ItemTable& items, int number, const QString& text,
                           const DateFormat& format, const QDate& today) {
    return storeValue(items.table(), targetFor(items.table(), number), text, format, today);
}

std::optional<QStringList> dbaseImportFields(const QString& path) {
    dbase::Table source;
    source.openFile(QFile::encodeName(path).toStdString(), dbase::OpenMode::ReadOnly, false);
    if (source.fieldCount() > kMaxImportFields)
        return std::nullopt;
    QStringList names;
    for (const dbase::Field& f : source.fields()) {
        const std::string utf8 = dbase::toUtf8(f.name, source.codePage());
        names << QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).left(kImportNameLength);
    }
    return names;
}

std::vector<int> buildImportMapping(const QStringList& importNames, const QStringList& rowImport,
                                    const QStringList& rowUse) {
    std::vector<int> mapping(size_t(importNames.size()), 0);
    const qsizetype rows = std::min<qsizetype>(kItemFieldCount, rowImport.size());
    for (qsizetype i = 0; i < importNames.size(); ++i) {
        for (qsizetype r = 0; r < rows; ++r) {
            if (rowImport[r] != importNames[i])
                continue;
            if (r < rowUse.size() && rowUse[r] == QLatin1String("Yes"))
                mapping[size_t(i)] = int(r + 1);
            break;
        }
    }
    return mapping;
}

ImportReport importText(const ImportRun& run, const QString& text, bool skipFirst) {
    ImportReport report;
    dbase::Table& table = run.items->table();
    const std::vector<Target> targets = targetsFor(table, run.mapping);
    const int fieldCount = int(run.mapping.size());
    DelimitedReader reader(text);
    table.suspendUpdates();
    const auto resume = qScopeGuard([&table] { table.resumeUpdates(); });
    if (skipFirst && !reader.atEnd())
        reader.read(fieldCount);
    ImportBatch batch(table);
    try {
        batch.start();
    } catch (const dbase::DatabaseError& e) {
        report.stopError = QString::fromStdString(e.what());
        return report;
    }
    while (!reader.atEnd()) {
        const DelimitedReader::Record record = reader.read(fieldCount);
        if (record.blank)
            continue;
        RecordTally tally(report);
        try {
            table.append();
            for (qsizetype i = 0; i < record.values.size(); ++i)
                if (targets[size_t(i)].number > 0)
                    tally.add(storeValue(table, targets[size_t(i)], record.values[i], run.dates,
                                         run.today));
            table.post();
            tally.finish(record.line);
            ++report.imported;
            batch.posted();
        } catch (const dbase::DatabaseError& e) {
            if (table.state() == dbase::TableState::Insert)
                table.cancel();
            report.stopError = QString::fromStdString(e.what());
            finishBatch(batch, report);
            return report;
        }
        if (run.progress && !run.progress(report.imported) && !reader.atEnd()) {
            report.cancelled = true;
            break;
        }
    }
    finishBatch(batch, report);
    return report;
}

ImportReport importDbase(const ImportRun& run, const QString& path) {
    ImportReport report;
    dbase::Table& table = run.items->table();
    const std::vector<Target> targets = targetsFor(table, run.mapping);
    dbase::Table source;
    source.openFile(QFile::encodeName(path).toStdString(), dbase::OpenMode::ReadOnly, false);
    // Records appended from here on (the source may be this very table) are not read again.
    const std::uint32_t lastRecord = source.recordCount();
    const int fields = std::min(source.fieldCount(), int(targets.size()));
    table.suspendUpdates();
    const auto resume = qScopeGuard([&table] { table.resumeUpdates(); });
    ImportBatch batch(table);
    try {
        batch.start();
    } catch (const dbase::DatabaseError& e) {
        report.stopError = QString::fromStdString(e.what());
        return report;
    }
    for (source.first(); !source.eof() && source.recordNumber() <= lastRecord; source.next()) {
        RecordTally tally(report);
        try {
            table.append();
            for (int i = 0; i < fields; ++i) {
                const Target& target = targets[size_t(i)];
                if (target.number == 0)
                    continue;
                // A date goes across as a date: through text a two-digit year could land in
                // the wrong century.
                const dbase::FieldType sourceType = source.field(i).type;
                if (target.type == FieldType::Date && (sourceType == dbase::FieldType::Date ||
                                                       sourceType == dbase::FieldType::DateTime)) {
                    const auto d = source.fieldDate(i);
                    if (d && d->isValid())
                        table.setFieldDate(target.index, *d);
                    else
                        table.clearField(target.index);
                    continue;
                }
                if (dbase::isBinaryType(sourceType)) {
                    // A picture or an OLE object has no text to store: say so rather than
                    // store nothing silently.
                    table.clearField(target.index);
                    if (!source.isBlank(i))
                        tally.add(ValueFate::Emptied);
                    continue;
                }
                tally.add(storeValue(table, target, sourceText(source, i, run.dates), run.dates,
                                     run.today));
            }
            table.post();
            tally.finish(source.recordNumber());
            ++report.imported;
            batch.posted();
        } catch (const dbase::DatabaseError& e) {
            if (table.state() == dbase::TableState::Insert)
                table.cancel();
            report.stopError = QString::fromStdString(e.what());
            finishBatch(batch, report);
            return report;
        }
        if (run.progress && !run.progress(report.imported)) {
            source.next();
            if (!source.eof() && source.recordNumber() <= lastRecord)
                report.cancelled = true;
            break;
        }
    }
    finishBatch(batch, report);
    return report;
}

namespace {
QString recordsImported(qint64 n) {
    return n == 1 ? QStringLiteral("1 record was imported.")
                  : QStringLiteral("%1 records were imported.").arg(n);
}

QString problemText(const ImportReport& report, ImportFileType type) {
    if (report.emptied == 0 && report.cut == 0)
        return {};
    QStringList where;
    for (const qint64 r : report.problemRecords)
        where << QString::number(r);
    QString list = where.join(QStringLiteral(", "));
    const qint64 more = report.problemRecordCount - qint64(report.problemRecords.size());
    if (more > 0)
        list += QStringLiteral(" and %1 more").arg(more);
    const bool one = report.problemRecordCount == 1;
    const QString noun = type == ImportFileType::Text
                             ? (one ? QStringLiteral("line") : QStringLiteral("lines"))
                             : (one ? QStringLiteral("record") : QStringLiteral("records"));
    return QStringLiteral("  Values the fields cannot hold: %1 left empty, %2 cut, in %3 %4 of "
                          "the file.")
        .arg(report.emptied)
        .arg(report.cut)
        .arg(noun, list);
}
} // namespace

QString importSummary(const ImportReport& report, ImportFileType type) {
    const QString problems = problemText(report, type);
    if (!report.stopError.isEmpty())
        return QStringLiteral("The import stopped: %1  %2")
                   .arg(report.stopError, recordsImported(report.imported)) +
               problems;
    if (report.cancelled)
        return QStringLiteral("Import cancelled.  ") + recordsImported(report.imported) + problems;
    if (problems.isEmpty())
        return QStringLiteral("Import Complete.");
    return QStringLiteral("Import Complete.  ") + recordsImported(report.imported) + problems;
}

QString importCaption(const ImportReport& report) {
    if (!report.stopError.isEmpty())
        return QStringLiteral("Error");
    return report.cancelled ? QStringLiteral("Notice") : QStringLiteral("Ok");
}
