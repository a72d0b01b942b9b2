#include "mainwindow/viewer_model.h"

#include "items/item_schema.h"
#include "dbase/code_page.h"

#include <QColor>

namespace {

// Puts the table's cursor back where it was when a walk of ours ends, however it ends.
class CursorKeeper {
public:
    explicit CursorKeeper(dbase::Table& t) : m_table(t), m_mark(t.bookmark()) {
        m_table.suspendUpdates();
    }
    ~CursorKeeper() {
        try {
            if (m_mark.isValid())
                m_table.gotoBookmark(m_mark);
        } catch (const dbase::DatabaseError&) {
            // The record went away meanwhile; the cursor stays where the walk left it.
        }
        m_table.resumeUpdates();
    }
    CursorKeeper(const CursorKeeper&) = delete;
    CursorKeeper& operator=(const CursorKeeper&) = delete;

private:
    dbase::Table& m_table;
    dbase::Bookmark m_mark;
};

class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = m_was; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

bool isWarranty(int fieldNumber) {
    return fieldNumber == item_field::Warranty;
}

} // namespace

ViewerModel::ViewerModel(QObject* parent) : QAbstractTableModel(parent) {
    m_formatDate = [](const dbase::Date& d) {
        return QStringLiteral("%1/%2/%3").arg(d.month).arg(d.day).arg(d.year);
    };
}

ViewerModel::~ViewerModel() {
    setTable(nullptr);
}

void ViewerModel::setTable(dbase::Table* table) {
    if (m_table)
        m_table->detach(this);
    m_table = table;
    m_fieldIndexes.assign(kItemFieldCount, -1);
    if (m_table) {
        m_table->attach(this);
        for (const ItemField& f : kItemFields)
            m_fieldIndexes[static_cast<size_t>(f.number - 1)] =
                m_table->fieldIndex(std::string(f.name));
    }
    reload();
}

void ViewerModel::setColumns(std::vector<ViewerColumn> columns) {
    beginResetModel();
    m_columns = std::move(columns);
    endResetModel();
}

void ViewerModel::setDateFormat(DateFormatter formatter, DateReader reader) {
    m_formatDate = std::move(formatter);
    m_readDate = std::move(reader);
    m_cache.clear();
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ViewerModel::setEditable(bool editable) {
    if (m_editable == editable)
        return;
    beginResetModel();
    m_editable = editable;
    endResetModel();
}

int ViewerModel::tableFieldIndex(int fieldNumber) const {
    if (fieldNumber < 1 || fieldNumber > static_cast<int>(m_fieldIndexes.size()))
        return -1;
    return m_fieldIndexes[static_cast<size_t>(fieldNumber - 1)];
}

int ViewerModel::fieldAt(int column) const {
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return 0;
    return m_columns[static_cast<size_t>(column)].fieldNumber;
}

std::uint32_t ViewerModel::recordAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_records.size()))
        return 0;
    return m_records[static_cast<size_t>(row)];
}

void ViewerModel::reload() {
    beginResetModel();
    m_records.clear();
    m_cache.clear();
    m_atEnd = true;
    if (m_table && m_table->isOpen()) {
        m_atEnd = false;
        // Read at least the first screen, and far enough to show the current record.
        readRows(kBatch);
        const std::uint32_t current = m_table->recordNumber();
        if (current != 0) {
            while (!m_atEnd &&
                   std::find(m_records.begin(), m_records.end(), current) == m_records.end())
                readRows(kBatch * 10, current);
        }
    }
    endResetModel();
}

std::vector<std::uint32_t> ViewerModel::walkAfter(std::uint32_t after, int count,
                                                  std::uint32_t stopAt) {
    std::vector<std::uint32_t> rows;
    if (!m_table || !m_table->isOpen() || m_atEnd)
        return rows;
    BusyFlag busy(m_busy);
    CursorKeeper keep(*m_table);
    if (after == 0) {
        m_table->first();
    } else {
        m_table->gotoBookmark({after});
        if (m_table->recordNumber() != after) {
            // The last row we read has gone; the next reload starts afresh.
            m_atEnd = true;
            return rows;
        }
        m_table->next();
        if (m_table->eof()) {
            m_atEnd = true;
            return rows;
        }
    }
    while (static_cast<int>(rows.size()) < count) {
        const std::uint32_t rec = m_table->recordNumber();
        if (rec == 0 || rec == after || (!rows.empty() && rec == rows.back()))
            break;
        rows.push_back(rec);
        if (rec == stopAt)
            return rows;
        m_table->next();
        if (m_table->eof())
            break;
    }
    if (static_cast<int>(rows.size()) < count)
        m_atEnd = true;
    return rows;
}

void ViewerModel::readRows(int count, std::uint32_t stopAt) {
    const auto rows = walkAfter(m_records.empty() ? 0 : m_records.back(), count, stopAt);
    m_records.insert(m_records.end(), rows.begin(), rows.end());
}

bool ViewerModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd;
}

void ViewerModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || m_atEnd)
        return;
    const auto rows = walkAfter(m_records.empty() ? 0 : m_records.back(), kBatch, 0);
    if (rows.empty())
        return;
    const int first = static_cast<int>(m_records.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_records.insert(m_records.end(), rows.begin(), rows.end());
    endInsertRows();
}

int ViewerModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int ViewerModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QString ViewerModel::displayText(int fieldIndex) const {
    if (fieldIndex < 0)
        return {};
    const dbase::Field& f = m_table->field(fieldIndex);
    if (f.type == dbase::FieldType::Date) {
        const auto d = m_table->fieldDate(fieldIndex);
        return d ? m_formatDate(*d) : QString();
    }
    return QString::fromStdString(
        dbase::toUtf8(m_table->fieldText(fieldIndex), m_table->codePage()));
}

const QStringList* ViewerModel::rowTexts(int row) const {
    const std::uint32_t rec = recordAt(row);
    if (rec == 0 || !m_table || !m_table->isOpen())
        return nullptr;
    if (const QStringList* hit = m_cache.object(rec))
        return hit;
    auto* texts = new QStringList;
    try {
        auto* self = const_cast<ViewerModel*>(this);
        BusyFlag busy(self->m_busy);
        CursorKeeper keep(*m_table);
        m_table->gotoBookmark({rec});
        if (m_table->recordNumber() == rec) {
            for (int n = 1; n <= kItemFieldCount; ++n)
                texts->append(displayText(tableFieldIndex(n)));
        }
    } catch (const dbase::DatabaseError&) {
        texts->clear();
    }
    while (texts->size() < kItemFieldCount)
        texts->append(QString());
    m_cache.insert(rec, texts);
    return m_cache.object(rec);
}

QVariant ViewerModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int field = fieldAt(index.column());
    const QStringList* texts = rowTexts(index.row());
    if (!texts || field < 1)
        return {};
    const QString& text = (*texts)[field - 1];
    const ItemField* def = itemField(field);
    switch (role) {
    case Qt::DisplayRole:
        return isWarranty(field) ? QVariant() : QVariant(text);
    case Qt::EditRole:
        return text;
    case Qt::CheckStateRole:
        if (isWarranty(field))
            return text.compare(QLatin1String("Yes"), Qt::CaseInsensitive) == 0 ? Qt::Checked
                                                                                : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        if (def && def->letter == 'N')
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ViewerModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < static_cast<int>(m_columns.size()))
        return m_columns[static_cast<size_t>(section)].title;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ViewerModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid() || !m_editable || !m_table ||
        m_table->openMode() == dbase::OpenMode::ReadOnly)
        return f;
    if (isWarranty(fieldAt(index.column())))
        return f | Qt::ItemIsUserCheckable;
    return f | Qt::ItemIsEditable;
}

bool ViewerModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || !m_editable || !m_table)
        return false;
    const int field = fieldAt(index.column());
    const ItemField* def = itemField(field);
    const int fi = tableFieldIndex(field);
    const std::uint32_t rec = recordAt(index.row());
    if (!def || fi < 0 || rec == 0)
        return false;

    QString text;
    if (role == Qt::CheckStateRole && isWarranty(field))
        text = value.toInt() == Qt::Checked ? QStringLiteral("Yes") : QStringLiteral("No");
    else if (role == Qt::EditRole)
        text = value.toString().trimmed();
    else
        return false;

    std::string bytes;
    if (def->type == FieldType::Date) {
        if (!text.isEmpty()) {
            const auto d = m_readDate ? m_readDate(text) : std::nullopt;
            if (!d) {
                emit editRefused(QStringLiteral("'%1' is not a valid date.").arg(text));
                return false;
            }
            bytes = QStringLiteral("%1%2%3")
                        .arg(d->year, 4, 10, QLatin1Char('0'))
                        .arg(d->month, 2, 10, QLatin1Char('0'))
                        .arg(d->day, 2, 10, QLatin1Char('0'))
                        .toStdString();
        }
    } else {
        const auto encoded = dbase::fromUtf8(text.toStdString(), m_table->codePage());
        if (!encoded.ok) {
            emit editRefused(QStringLiteral("The character \"%1\" cannot be stored in this "
                                            "database.")
                                 .arg(QString::fromUcs4(&encoded.badCharacter, 1)));
            return false;
        }
        bytes = encoded.bytes;
    }

    try {
        BusyFlag busy(m_busy);
        m_table->gotoBookmark({rec});
        if (m_table->recordNumber() != rec)
            return false;
        m_table->edit();
        try {
            m_table->setFieldText(fi, bytes);
            m_table->post();
        } catch (...) {
            m_table->cancel();
            throw;
        }
    } catch (const dbase::DatabaseError& e) {
        emit editRefused(QString::fromStdString(e.what()));
        return false;
    }
    m_cache.remove(rec);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    return true;
}

int ViewerModel::currentRow() {
    if (!m_table || !m_table->isOpen())
        return -1;
    const std::uint32_t current = m_table->recordNumber();
    if (current == 0)
        return -1;
    const auto it = std::find(m_records.begin(), m_records.end(), current);
    return it == m_records.end() ? -1 : static_cast<int>(it - m_records.begin());
}

bool ViewerModel::moveCursorToRow(int row) {
    const std::uint32_t rec = recordAt(row);
    if (rec == 0 || !m_table)
        return false;
    BusyFlag busy(m_busy);
    try {
        m_table->gotoBookmark({rec});
    } catch (const dbase::DatabaseError&) {
        return false;
    }
    return m_table->recordNumber() == rec;
}

void ViewerModel::tableChanged(const dbase::Table&, Change change) {
    if (m_busy)
        return;
    switch (change) {
    case Change::Moved:
        break;
    case Change::RecordChanged: {
        const int row = currentRow();
        if (row >= 0) {
            m_cache.remove(recordAt(row));
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        }
        break;
    }
    case Change::DataChanged:
        reload();
        break;
    }
}
