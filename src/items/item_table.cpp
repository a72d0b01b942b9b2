#include "items/item_table.h"

#include "formats/date_format.h"
#include "items/item_schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>

namespace {
std::string fileText(const QString& s) {
    return QDir::toNativeSeparators(s).toStdString();
}
} // namespace

QDate toQDate(const dbase::Date& date) {
    return QDate(date.year, date.month, date.day);
}

dbase::Date toDbaseDate(const QDate& date) {
    return {date.year(), date.month(), date.day()};
}

ItemTable::ItemTable() : m_table(std::make_unique<dbase::Table>()) {
    m_index.fill(-1);
}

ItemTable::~ItemTable() = default;

void ItemTable::open(dbase::OpenMode mode) {
    m_indexProblem.clear();
    // The chosen file itself, not directory + NAME: for MY.DATA.DBF that would be MY.DBF.
    m_table->openFile(
        QFile::encodeName(QFileInfo(m_paths.current).absoluteFilePath()).toStdString(), mode);
    for (const ItemField& f : kItemFields)
        m_index[size_t(f.number - 1)] = m_table->fieldIndex(f.name);
    if (m_indexName.isEmpty())
        return;
    // Another database (opened while someone else held it, so its index was not rebuilt) may
    // not have the tag; it then reads in record order rather than failing to open.
    bool present = false;
    if (m_table->hasIndex())
        for (const dbase::IndexTag& tag : m_table->indexTags())
            present = present || QString::fromStdString(tag.name).compare(m_indexName,
                                                                          Qt::CaseInsensitive) == 0;
    if (!present) {
        m_indexName.clear();
        return;
    }
    try {
        m_table->setIndex(m_indexName.toStdString());
    } catch (const dbase::DatabaseError& e) {
        // A damaged tag must not keep the table shut: Rebuild Indexes needs it open. Read in
        // record order, keep the tag's name for the reopening after the rebuild, and let the
        // caller say what is wrong.
        m_table->setIndex({});
        m_indexProblem = QString::fromStdString(e.what());
    }
}

void ItemTable::setIndex(const QString& tag) {
    if (m_table->isOpen())
        m_table->setIndex(tag.toStdString());
    m_indexName = tag;
    m_indexProblem.clear();
}

void ItemTable::close() {
    m_table->close();
    m_index.fill(-1);
}

int ItemTable::index(int number) const {
    const ItemField* f = itemField(number);
    if (!f)
        throw dbase::DatabaseError("There is no item field number " + std::to_string(number) + ".");
    const int i = m_index[size_t(number - 1)];
    if (i < 0)
        throw dbase::DatabaseError("The table " + fileText(m_paths.current) + " has no field " +
                                   std::string(f->name) + ".");
    return i;
}

int ItemTable::fieldNumber(QStringView name) const {
    if (const auto n = itemFieldNumber(name))
        return *n;
    throw dbase::DatabaseError("The item table has no field " + name.toString().toStdString() +
                               ".");
}

std::string ItemTable::encode(const QString& value) const {
    const QByteArray utf8 = value.toUtf8();
    const dbase::EncodeResult r = dbase::fromUtf8(
        std::string_view(utf8.constData(), size_t(utf8.size())), m_table->codePage());
    if (!r.ok) {
        const QString bad = QString::fromUcs4(&r.badCharacter, 1);
        throw dbase::DatabaseError(
            QStringLiteral("The character \"%1\" (U+%2) cannot be stored in the table %3.")
                .arg(bad)
                .arg(uint(r.badCharacter), 4, 16, QLatin1Char('0'))
                .arg(QDir::toNativeSeparators(m_paths.current))
                .toStdString());
    }
    return r.bytes;
}

QString ItemTable::decode(std::string_view bytes) const {
    const std::string utf8 = dbase::toUtf8(bytes, m_table->codePage());
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QString ItemTable::text(int number) const {
    return decode(m_table->fieldText(index(number)));
}

std::optional<qint64> ItemTable::integer(int number) const {
    const auto v = m_table->fieldInteger(index(number));
    return v ? std::optional<qint64>(*v) : std::nullopt;
}

std::optional<double> ItemTable::floating(int number) const {
    return m_table->fieldDouble(index(number));
}

std::optional<QDate> ItemTable::date(int number) const {
    const auto d = m_table->fieldDate(index(number));
    if (!d)
        return std::nullopt;
    const QDate q = toQDate(*d);
    return q.isValid() ? std::optional<QDate>(q) : std::nullopt;
}

bool ItemTable::isBlank(int number) const {
    return m_table->isBlank(index(number));
}

QString ItemTable::displayText(int number, const DateFormat& format) const {
    const ItemField* f = itemField(number);
    if (f && f->type == FieldType::Date) {
        const auto d = date(number);
        return d ? format.format(*d) : QString();
    }
    return text(number);
}

void ItemTable::setText(int number, const QString& value) {
    m_table->setFieldText(index(number), encode(value));
}

void ItemTable::setInteger(int number, qint64 value) {
    m_table->setFieldInteger(index(number), value);
}

void ItemTable::setFloating(int number, double value) {
    m_table->setFieldDouble(index(number), value);
}

void ItemTable::setDate(int number, const std::optional<QDate>& value) {
    if (value && value->isValid())
        m_table->setFieldDate(index(number), toDbaseDate(*value));
    else
        m_table->clearField(index(number));
}

void ItemTable::clear(int number) {
    m_table->clearField(index(number));
}
