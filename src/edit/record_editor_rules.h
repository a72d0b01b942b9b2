#pragma once

#include "dbase/database_error.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

class ItemTable;
class LookupLists;
class NumberFormatter;
class QPainter;
struct DateFormat;

// The rules behind the record editor: which control edits which field, how a record gets into
// the controls and back, the entry snapshot that tells whether anything was typed, the checks
// an update makes before it writes, the value boxes' totals and the printed record.

enum class EditorMode { New = 1, Edit = 2, Copy = 3 };

// The editing controls, in the order of the editor's pages.
enum class EditorControl {
    Item,
    Brand,
    Model,
    Serial,
    IDMarks,
    Comments,
    Category,
    Location,
    TheOwner,
    Quantity,
    Value,
    Cost,
    RepCost,
    Warranty,
    WarDate,
    WarNotes,
    PurchDate,
    Bought,
    UserDef1,
    UserDef2,
    UserDef3,
    UserDef4,
};
inline constexpr int kEditorControlCount = 22;

enum class EditorControlKind { Edit, Combo, Check, Date };

struct EditorControlInfo {
    EditorControl control;
    const char* name;      // the control's object name
    const char* labelName; // its label's object name; the check box is its own label
    const char* designCaption;
    EditorControlKind kind;
    int page;        // notebook page 0-3
    int fieldNumber; // item table field (1-22)
    int maxLength;   // 0: no limit
    int snapshotLength;
    int lookupList; // 1-5 for the drop-down lists, else 0
};

const EditorControlInfo& editorControlInfo(EditorControl control);
const std::array<EditorControlInfo, kEditorControlCount>& editorControls();

// What the controls hold: every text as the control shows it (a date box as its raw text, the
// blank form "  /  /    " when empty) and the check state of Warranty.
struct EditorValues {
    std::array<QString, kEditorControlCount> texts;
    bool warranty = false;

    QString& operator[](EditorControl c) { return texts[size_t(c)]; }
    const QString& operator[](EditorControl c) const { return texts[size_t(c)]; }
    bool operator==(const EditorValues&) const = default;
};

// ---------------------------------------------------------------------------------------
// Date boxes. A date box shows two-digit day and month and a four-digit year in the order of
// the current date format, split by its separator, so every date fits the box's mask.

struct DateBoxFormat {
    QString inputMask; // for QLineEdit, e.g. "00/00/0000;_"
    QString blankText; // what an empty box reads, e.g. "  /  /    "
    QChar separator;
    std::array<QChar, 3> order{}; // 'm', 'd' and 'y' in the order they appear

    QString format(const QDate& date) const;
};

DateBoxFormat dateBoxFormat(const DateFormat& current);
// The trimmed raw text of a date box counts as no date when it is empty or nothing but the
// two separators.
bool isBlankDateText(const QString& rawText);

// ---------------------------------------------------------------------------------------
// Loading and clearing.

// The current record as the controls show it: money by the money formatter, the quantity by
// the number formatter with no decimals, a blank number as an empty box.
EditorValues loadEditorValues(const ItemTable& items, const DateBoxFormat& dates,
                              const NumberFormatter& numbers);
// Empty boxes, "0" in the money boxes, "1" in Quantity, Warranty unchecked.
EditorValues clearedEditorValues(const DateBoxFormat& dates);

// ---------------------------------------------------------------------------------------
// The entry snapshot, taken after a load, a clear and each successful update.

class EntrySnapshot {
public:
    void take(const EditorValues& values);
    // True as soon as one control differs from the snapshot (dates compared trimmed).
    bool changed(const EditorValues& values) const;
    const EditorValues& values() const { return m_values; }

private:
    EditorValues m_values;
};

// ---------------------------------------------------------------------------------------
// Update.

// Everything the checks turned into values, ready to be written.
struct CheckedEntry {
    std::optional<QDate> warDate;
    std::optional<QDate> purchDate;
    double cost = 0;
    double value = 0;
    double repCost = 0;
    qint64 quantity = 0;
};

// The first check that failed: its message, the page to turn to and the control to focus.
struct EntryProblem {
    QString message;
    int page = 0;
    EditorControl focus = EditorControl::Item;
};

extern const QString kInvalidWarDateMessage;
extern const QString kInvalidPurchDateMessage;
extern const QString kInvalidCostMessage;
extern const QString kInvalidValueMessage;
extern const QString kInvalidRepCostMessage;
extern const QString kInvalidQuantityMessage;

// The checks in their order: warranty date, purchase date, cost, value, replacement cost,
// quantity. An amount that the table's field cannot hold fails like text that is no number.
std::variant<CheckedEntry, EntryProblem> checkEntry(const EditorValues& values,
                                                    const DateFormat& dateFormat,
                                                    const NumberFormatter& numbers,
                                                    const ItemTable& items, const QDate& today);

// Whether the value, rounded to the decimals of the item field, fits its width in the open
// table, and for an amount also the item field's own width of 12 (999,999,999.99 at most).
// A field the table lacks holds anything.
bool fitsNumberField(const ItemTable& items, int fieldNumber, double value);

// A number typed into a cell of the viewer, read like the editor's value boxes (grouping and
// the regional decimal character allowed, a quantity rounded as on leaving its box): the text
// the field stores, empty for an empty cell, or nullopt when it is no number the field can
// hold; invalidNumberMessage names the field's refusal as the editor words it.
std::optional<QString> storedNumberText(int fieldNumber, const QString& typed,
                                        const NumberFormatter& numbers, const ItemTable& items);
// A stored amount or quantity as a cell of the viewer offers it for editing: as the editor's
// value boxes show it, so that storedNumberText reads it back to the same number whatever
// the regional decimal and grouping characters. Text that is no number is left as it is.
QString typedNumberText(int fieldNumber, const QString& stored, const NumberFormatter& numbers);
QString invalidNumberMessage(int fieldNumber);

// The five drop-down texts, trimmed, offered to their lookup lists (both copies) in the
// order Brand, Location, Category, Owner, Purchased From. Returns how many were added.
int learnListValues(LookupLists& lists, const EditorValues& values);

// The table refused the write. control is the box whose value it refused, when it was a
// value (a character the code page cannot hold) rather than the record itself.
class EntryRefused : public dbase::DatabaseError {
public:
    EntryRefused(const std::string& message, std::optional<EditorControl> control)
        : dbase::DatabaseError(message), m_control(control) {}
    std::optional<EditorControl> control() const { return m_control; }

private:
    std::optional<EditorControl> m_control;
};

// Inserts a new record (New and Copy, or Edit on no record: recNo 0) or edits record recNo,
// writes every field and posts; returns the number of the record written. Record recNo is
// found whatever the search and the sort order have done since it was loaded, so a write
// never lands on another record. Observers hear of the change once, after the post. When the
// table refuses anything the insert or edit is cancelled, so nothing is half written, and
// EntryRefused rises.
std::uint32_t writeEntry(ItemTable& items, EditorMode mode, std::uint32_t recNo,
                         const EditorValues& values, const CheckedEntry& entry);

// ---------------------------------------------------------------------------------------
// Value boxes.

// Leaving a money box: typed text reformatted by the money formatter; text that is no number,
// or an amount the field cannot hold (fits says no), stays as typed for the update to report.
QString leftMoneyBox(const QString& text, const NumberFormatter& numbers,
                     const std::function<bool(double)>& fits = {});
// Leaving Quantity: reformatted as a whole number (2.6 becomes 3), unless fits says no.
QString leftQuantityBox(const QString& text, const NumberFormatter& numbers,
                        const std::function<bool(double)>& fits = {});

// Quantity times each amount, by the money formatter, followed by one space. Text that is no
// number counts as 0.
struct EditorTotals {
    QString cost;
    QString repCost;
    QString value;
};
EditorTotals computeTotals(const EditorValues& values, const NumberFormatter& numbers);

// ---------------------------------------------------------------------------------------
// Navigation and captions.

// The control the Enter key moves to; nullopt for controls outside the chain (Warranty).
std::optional<EditorControl> nextInEnterChain(EditorControl control);

// "<display name of Item>: " cut to 22 characters, then the Item text.
QString itemCaptionLine(const QString& itemDisplayName, const QString& itemText);

// ---------------------------------------------------------------------------------------
// Print Record.

inline constexpr int kPrintLinesPerCopy = 22;
extern const QString kPrintJobTitle;
extern const QString kPrintJobBusyMessage;

// The 22 printed lines: display name and ": " cut to 22 characters, then the text as shown;
// the last line is the Warranty line with ": Yes" or ": No".
// displayNames are indexed by field number - 1.
QStringList printRecordLines(const EditorValues& values,
                             const std::array<QString, 22>& displayNames);

// Paints the lines once per copy in Arial 10 on the painter's device, one page per copy;
// newPage starts the next page and may refuse (false stops). Returns the pages painted.
int paintRecordCopies(QPainter& painter, const QStringList& lines, int copies,
                      const std::function<bool()>& newPage);

// One print job at a time for the whole program: while a guard lives, active() is true.
class PrintJobGuard {
public:
    PrintJobGuard();
    ~PrintJobGuard();
    PrintJobGuard(const PrintJobGuard&) = delete;
    PrintJobGuard& operator=(const PrintJobGuard&) = delete;
    static bool active();
};
