#pragma once

#include "dbase/table.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// One column of the Inventory Viewer: which item field, its title and its width.
struct ViewerColumn {
    int fieldNumber = 0; // 1-22
    QString title;
    int widthChars = 15;
};

// The Inventory Viewer's rows: the item table as its cursor walks it (sort index, search
// filter, deleted records skipped). The model holds the record number of every row (four
// bytes a row), built once per reload, so the grid knows the whole count and any row, the
// last or the middle one, is found at once; only the rows on screen are read, and their text
// is cached only while it is likely to be shown again. Appends, posts and deletes move single
// rows instead of reading everything again. Every error the table raises becomes one
// viewerError() signal, never an exception out of the model.
class ViewerModel : public QAbstractTableModel, private dbase::TableObserver {
    Q_OBJECT
public:
    using DateFormatter = std::function<QString(const dbase::Date&)>;
    using DateReader = std::function<std::optional<dbase::Date>(const QString&)>;
    // A number cell's typed text: the field text to store, or nullopt with the refusal to show.
    using NumberReader = std::function<std::optional<QString>(int fieldNumber, const QString& text,
                                                              QString& refusal)>;
    // A number cell's stored text as it is offered for editing: in the form the reader reads
    // back to the same number.
    using NumberEditText = std::function<QString(int fieldNumber, const QString& stored)>;

    explicit ViewerModel(QObject* parent = nullptr);
    ~ViewerModel() override;

    // nullptr detaches. The table must outlive the model or be detached first.
    void setTable(dbase::Table* table);
    dbase::Table* table() const { return m_table; }
    void setColumns(std::vector<ViewerColumn> columns);
    const std::vector<ViewerColumn>& columns() const { return m_columns; }
    // editFormatter: a date cell as it is offered for editing (all four year digits, so that
    // the reader gives back the same century); the display form when none is given.
    void setDateFormat(DateFormatter formatter, DateReader reader,
                       DateFormatter editFormatter = {});
    void setNumberReader(NumberReader reader) { m_readNumber = std::move(reader); }
    void setNumberEditText(NumberEditText editText) { m_numberEditText = std::move(editText); }
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    // Reads the rows again from the table (after a search, a new order, a switch...).
    void reload();

    // Commands that close, reopen and re-filter the table ask for several reloads on the way;
    // inside a batch the rows are only emptied, and read once when the last batch ends.
    class Batch {
    public:
        explicit Batch(ViewerModel& model) : m_model(model) { ++m_model.m_batchDepth; }
        ~Batch() { m_model.endBatch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ViewerModel& m_model;
    };
    // Puts one record's row where the table's order and filter now want it (removing it when
    // it is no longer visible).
    void resyncRecord(std::uint32_t rec);
    // The number of rows when they were read from the table as it is open now (none while a
    // batch waits for its reload or after a failed reading): the record count to show.
    std::optional<std::uint32_t> liveCount() const;
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

    // More new records than this at once (an import) are cheaper to read again in one pass.
    static constexpr std::uint32_t kResyncLimit = 500;

signals:
    // A value typed into the grid could not be stored; the text is fit to show the user.
    void editRefused(const QString& message);
    // Reading the table failed; the text names what went wrong. Sent once per failure, never
    // from inside a paint (connect it queued to show a message box).
    void viewerError(const QString& message);

private:
    void tableChanged(const dbase::Table& table, Change change) override;
    // After DataChanged: new records and the last current one move to their rows; a new
    // order, filter or file is read again whole.
    void sync();
    void endBatch();
    void takeSnapshot();
    void report(const char* what) const;
    int rowOf(std::uint32_t rec) const;
    bool browsing() const;
    const QStringList* rowTexts(int row) const;
    QString displayText(int fieldIndex) const;
    QString dateEditText(int fieldIndex) const;
    int tableFieldIndex(int fieldNumber) const;

    dbase::Table* m_table = nullptr;
    std::vector<ViewerColumn> m_columns;
    std::vector<int> m_fieldIndexes; // table field index of each item field, by number - 1
    DateFormatter m_formatDate;
    DateFormatter m_editDate;
    DateReader m_readDate;
    NumberReader m_readNumber;
    NumberEditText m_numberEditText;
    bool m_editable = false;

    std::vector<std::uint32_t> m_records; // record number of each row
    // What the rows were read from; a change of any of these needs a full reload.
    struct Snapshot {
        bool open = false;
        std::string tag;
        bool filtered = false;
        std::uint32_t headerCount = 0;
    } m_snapshot;
    std::uint32_t m_lastCurrent = 0; // the record the cursor was last seen on
    bool m_syncPending = false;      // a change came while a record was being edited
    int m_batchDepth = 0;
    bool m_reloadWanted = false; // asked for inside a batch
    bool m_busy = false;         // our own walks move the cursor: ignore the notices they cause
    mutable QString m_lastError; // reported already; cleared by a reading that succeeds
    mutable bool m_rowFailed = false; // a row could not be read since the last reading
    mutable QCache<std::uint32_t, QStringList> m_cache{2000};
};
