#include "mainwindow/viewer_model.h"

#include "dbase/code_page.h"
#include "items/item_schema.h"
#include "mainwindow/viewer_rows.h"
#include "ui/busy_cursor.h"

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

void ViewerModel::setDateFormat(DateFormatter formatter, DateReader reader,
                                DateFormatter editFormatter) {
    m_formatDate = std::move(formatter);
    m_readDate = std::move(reader);
    m_editDate = std::move(editFormatter);
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

void ViewerModel::endBatch() {
    if (--m_batchDepth == 0 && m_reloadWanted)
        reload();
}

void ViewerModel::reload() {
    beginResetModel();
    m_records.clear();
    m_cache.clear();
    m_syncPending = false;
    m_snapshot = {};
    // While a record is being edited the walk would post it: read the rows once it is done.
    m_reloadWanted = m_batchDepth > 0 || (m_table && m_table->isOpen() && !browsing());
    if (m_table && m_table->isOpen() && !m_reloadWanted) {
        try {
            BusyCursor wait;
            BusyFlag busy(m_busy);
            m_records = collectViewerRows(*m_table);
            takeSnapshot();
            m_lastError.clear();
            m_rowFailed = false;
            m_lastCurrent = m_table->recordNumber();
        } catch (const std::exception& e) {
            // The grid stays empty but usable: the menus, Rebuild Indexes among them, work.
            m_records.clear();
            report(e.what());
        }
    }
    endResetModel();
}

std::optional<std::uint32_t> ViewerModel::liveCount() const {
    if (!m_snapshot.open || m_reloadWanted || !m_table || !m_table->isOpen())
        return std::nullopt;
    return static_cast<std::uint32_t>(m_records.size());
}

void ViewerModel::takeSnapshot() {
    m_snapshot.open = m_table && m_table->isOpen();
    if (!m_snapshot.open)
        return;
    m_snapshot.tag = m_table->indexName();
    m_snapshot.filtered = m_table->hasFilter();
    m_snapshot.headerCount = m_table->recordCount();
}

void ViewerModel::report(const char* what) const {
    const QString message = QString::fromLocal8Bit(what);
    // The same fault met again (the next painted cell, the next reload) is not news.
    if (message == m_lastError)
        return;
    m_lastError = message;
    auto* self = const_cast<ViewerModel*>(this);
    // Never from inside a paint or a notice of the table: the receiver may open a modal box.
    QMetaObject::invokeMethod(
        self, [self, message] { emit self->viewerError(message); }, Qt::QueuedConnection);
}

bool ViewerModel::browsing() const {
    // Moving the cursor while a record is being edited would post it half-done.
    return m_table && m_table->isOpen() && m_table->state() == dbase::TableState::Browse;
}

int ViewerModel::rowOf(std::uint32_t rec) const {
    if (rec == 0)
        return -1;
    const auto it = std::find(m_records.begin(), m_records.end(), rec);
    return it == m_records.end() ? -1 : static_cast<int>(it - m_records.begin());
}

void ViewerModel::resyncRecord(std::uint32_t rec) {
    if (rec == 0 || !browsing())
        return;
    m_cache.remove(rec);
    const int oldRow = rowOf(rec);
    int newRow = -1; // the row it belongs at, counted without it
    try {
        BusyFlag busy(m_busy);
        CursorKeeper keep(*m_table);
        if (rec > m_table->recordCount())
            return;
        m_table->gotoBookmark({rec});
        if (m_table->recordNumber() == rec) {
            // Visible: it goes before the next visible record that already has a row.
            newRow = static_cast<int>(m_records.size()) - (oldRow >= 0 ? 1 : 0);
            for (;;) {
                m_table->next();
                if (m_table->eof())
                    break;
                const int next = rowOf(m_table->recordNumber());
                if (next >= 0 && m_table->recordNumber() != rec) {
                    newRow = next > oldRow && oldRow >= 0 ? next - 1 : next;
                    break;
                }
            }
        }
    } catch (const std::exception& e) {
        report(e.what());
        return;
    }
    if (oldRow >= 0 && oldRow == newRow) {
        if (columnCount() > 0)
            emit dataChanged(index(oldRow, 0), index(oldRow, columnCount() - 1));
        return;
    }
    if (oldRow >= 0 && newRow >= 0) {
        // A move, not a removal and an insertion: the grid's current cell and selection
        // follow the record, so the next edit goes to the row the user sees selected.
        const int destination = newRow < oldRow ? newRow : newRow + 1;
        if (beginMoveRows({}, oldRow, oldRow, {}, destination)) {
            m_records.erase(m_records.begin() + oldRow);
            m_records.insert(m_records.begin() + newRow, rec);
            endMoveRows();
        }
        return;
    }
    if (oldRow >= 0) {
        beginRemoveRows({}, oldRow, oldRow);
        m_records.erase(m_records.begin() + oldRow);
        endRemoveRows();
    }
    if (newRow >= 0) {
        beginInsertRows({}, newRow, newRow);
        m_records.insert(m_records.begin() + newRow, rec);
        endInsertRows();
    }
}

void ViewerModel::sync() {
    if (m_reloadWanted)
        return; // the batch's reload reads everything anyway
    if (!browsing()) {
        if (m_table && m_table->isOpen())
            m_syncPending = true;
        else if (!m_records.empty() || m_snapshot.open)
            reload();
        return;
    }
    m_syncPending = false;
    std::uint32_t header = 0;
    try {
        header = m_table->recordCount();
    } catch (const std::exception& e) {
        report(e.what());
        return;
    }
    if (!m_snapshot.open || m_snapshot.tag != m_table->indexName() ||
        m_snapshot.filtered != m_table->hasFilter() || header < m_snapshot.headerCount ||
        header - m_snapshot.headerCount > kResyncLimit) {
        reload();
        return;
    }
    // Records are only ever appended at the end of a dBase table.
    const std::uint32_t from = m_snapshot.headerCount + 1;
    m_snapshot.headerCount = header;
    for (std::uint32_t rec = from; rec <= header; ++rec)
        resyncRecord(rec);
    // A delete leaves the cursor on the next record: the one it was on before is checked.
    resyncRecord(m_lastCurrent);
    m_lastCurrent = m_table->recordNumber();
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

QString ViewerModel::dateEditText(int fieldIndex) const {
    if (fieldIndex < 0 || !m_editDate || m_table->field(fieldIndex).type != dbase::FieldType::Date)
        return {};
    const auto d = m_table->fieldDate(fieldIndex);
    return d ? m_editDate(*d) : QString();
}

// The display text of the 22 fields, then the edit text of the date fields.
const QStringList* ViewerModel::rowTexts(int row) const {
    const std::uint32_t rec = recordAt(row);
    if (rec == 0 || !m_table || !m_table->isOpen())
        return nullptr;
    if (const QStringList* hit = m_cache.object(rec))
        return hit;
    if (!browsing())
        return nullptr;
    auto* texts = new QStringList;
    try {
        auto* self = const_cast<ViewerModel*>(this);
        BusyFlag busy(self->m_busy);
        CursorKeeper keep(*m_table);
        m_table->gotoBookmark({rec});
        if (m_table->recordNumber() == rec) {
            for (int n = 1; n <= kItemFieldCount; ++n)
                texts->append(displayText(tableFieldIndex(n)));
            for (int n = 1; n <= kItemFieldCount; ++n)
                texts->append(dateEditText(tableFieldIndex(n)));
        }
    } catch (const std::exception& e) {
        texts->clear();
        // One message for a file that fails under many rows, not one per row painted.
        if (!m_rowFailed)
            report(e.what());
        m_rowFailed = true;
    }
    while (texts->size() < 2 * kItemFieldCount)
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
        if (def && def->type == FieldType::Date && m_editDate)
            return (*texts)[kItemFieldCount + field - 1];
        if (def && def->letter == 'N' && m_numberEditText)
            return m_numberEditText(field, text);
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
    // A cell left as it was offered is not written again: its edit form may round the value.
    if (role == Qt::EditRole && text == data(index, Qt::EditRole).toString().trimmed())
        return true;

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
    } else if (def->letter == 'N' && m_readNumber) {
        QString refusal;
        const auto stored = m_readNumber(field, text, refusal);
        if (!stored) {
            emit editRefused(refusal);
            return false;
        }
        bytes = stored->toStdString();
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
    } catch (const std::exception& e) {
        emit editRefused(QString::fromStdString(e.what()));
        return false;
    }
    m_cache.remove(rec);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    // A changed sort key or a value that leaves the search moves the row; not while the view
    // is still closing the cell editor.
    QMetaObject::invokeMethod(
        this, [this, rec] { resyncRecord(rec); }, Qt::QueuedConnection);
    return true;
}

int ViewerModel::currentRow() {
    if (!m_table || !m_table->isOpen())
        return -1;
    return rowOf(m_table->recordNumber());
}

bool ViewerModel::moveCursorToRow(int row) {
    const std::uint32_t rec = recordAt(row);
    if (rec == 0 || !m_table)
        return false;
    if (!browsing())
        return false;
    BusyFlag busy(m_busy);
    try {
        m_table->gotoBookmark({rec});
    } catch (const std::exception& e) {
        report(e.what());
        return false;
    }
    m_lastCurrent = m_table->recordNumber();
    return m_lastCurrent == rec;
}

void ViewerModel::tableChanged(const dbase::Table&, Change change) {
    if (m_busy)
        return;
    if (!m_table || !m_table->isOpen()) {
        if (change == Change::DataChanged && (!m_records.empty() || m_snapshot.open))
            reload();
        return;
    }
    switch (change) {
    case Change::Moved:
        m_lastCurrent = m_table->recordNumber();
        break;
    case Change::RecordChanged:
        // Edit and cancel come here too; only a posted record is looked at again.
        if (!browsing())
            break;
        if (m_reloadWanted && m_batchDepth == 0) {
            reload();
            break;
        }
        if (m_syncPending)
            sync();
        resyncRecord(m_table->recordNumber());
        m_lastCurrent = m_table->recordNumber();
        break;
    case Change::DataChanged:
        sync();
        break;
    }
}
