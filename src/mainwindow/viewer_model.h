#pragma once

#include "dbase/table.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QStringList>

#include <functional>
#include <vector>

// One column of the Inventory Viewer: which item field, its title and its width.
struct ViewerColumn {
    int fieldNumber = 0; // 1-22
    QString title;
    int widthChars = 15;
};

// The Inventory Viewer's rows: the item table as its cursor walks it (sort index, search
// filter, deleted records skipped). Rows are read on demand, a batch at a time, and the text
// of a row is cached only while it is likely to be shown again, so a table of any size opens
// at once and the memory used does not follow the table's size.
class ViewerModel : public QAbstractTableModel, private dbase::TableObserver {
    Q_OBJECT
public:
    using DateFormatter = std::function<QString(const dbase::Date&)>;
    using DateReader = std::function<std::optional<dbase::Date>(const QString&)>;

    explicit ViewerModel(QObject* parent = nullptr);
    ~ViewerModel() override;

    // nullptr detaches. The table must outlive the model or be detached first.
    void setTable(dbase::Table* table);
    dbase::Table* table() const { return m_table; }
    void setColumns(std::vector<ViewerColumn> columns);
    const std::vector<ViewerColumn>& columns() const { return m_columns; }
    void setDateFormat(DateFormatter formatter, DateReader reader);
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    // Reads the rows again from the table (after a search, a new order, a switch...).
    void reload();
    // The row of the table's current record, or -1.
    int currentRow();
    // Makes the record of this row the table's current record.
    bool moveCursorToRow(int row);
    std::uint32_t recordAt(int row) const;
    // The field number shown in a column.
    int fieldAt(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    static constexpr int kBatch = 200;

signals:
    // A value typed into the grid could not be stored; the text is fit to show the user.
    void editRefused(const QString& message);

private:
    void tableChanged(const dbase::Table& table, Change change) override;
    // The record numbers of up to `count` rows after record `after` (0: from the first),
    // stopping early at `stopAt` when given. Sets m_atEnd when the walk ran out.
    std::vector<std::uint32_t> walkAfter(std::uint32_t after, int count, std::uint32_t stopAt);
    void readRows(int count, std::uint32_t stopAt = 0);
    const QStringList* rowTexts(int row) const;
    QString displayText(int fieldIndex) const;
    int tableFieldIndex(int fieldNumber) const;

    dbase::Table* m_table = nullptr;
    std::vector<ViewerColumn> m_columns;
    std::vector<int> m_fieldIndexes; // table field index of each item field, by number - 1
    DateFormatter m_formatDate;
    DateReader m_readDate;
    bool m_editable = false;

    std::vector<std::uint32_t> m_records;
    bool m_atEnd = true;
    bool m_busy = false; // our own walks move the cursor: ignore the notices they cause
    mutable QCache<std::uint32_t, QStringList> m_cache{2000};
};
