#pragma once

#include "find/locate.h"
#include "ui/window_services.h"

#include <QDialog>
#include <QObject>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct InventorySession;
struct WindowContext;

class TMyLocateDialog;

// "Locate Field Value": the search type, the field and the value, and the buttons that run
// the value search from the first record or from the record after the current one. Closes
// with Accepted when a record matched.
class TMyLocateDlg : public QDialog {
    Q_OBJECT
public:
    TMyLocateDlg(TMyLocateDialog& owner, WindowContext& context, QWidget* parent);

    void FindFirst();
    void FindNextBtnClick();
    // The field list's text changed by the user: the value box empties and takes the focus.
    void FieldNameComboBoxChange();

    QCheckBox* caseBox() const { return m_case; }
    QRadioButton* matchRadio(TMyLocateMatchType type) const { return m_match[type]; }
    QComboBox* fieldList() const { return m_fields; }
    QLineEdit* valueBox() const { return m_value; }
    QPushButton* firstButton() const { return m_first; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* cancelButton() const { return m_cancel; }
    TMyLocateMatchType matchType() const;
    // Lays the dialog out for the current preset, centres and paints it.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void search(bool fromBeginning);

    TMyLocateDialog& m_owner;
    WindowContext& m_context;
    DesignGeometry m_design;
    QCheckBox* m_case = nullptr;
    QRadioButton* m_match[3] = {};
    QComboBox* m_fields = nullptr;
    QLineEdit* m_value = nullptr;
    QPushButton* m_first = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_defaultButton = nullptr;
};

// The locate component the main window creates at start-up and keeps for the run. It
// remembers the last search (field, value, match type, case) between openings.
class TMyLocateDialog : public QObject {
    Q_OBJECT
public:
    TMyLocateDialog(WindowContext& context, QWidget* owner);
    ~TMyLocateDialog() override;

    // Published properties.
    QString Caption;
    InventorySession* DataSource = nullptr;
    QString SearchField; // table field name of the last search
    TMyLocateMatchType MatchType = mtPartialMatchStart;
    bool CaseSensitive = false;
    TMyFieldSortType SortFields = fsSortByFieldName;
    TMyDefaultButtonType DefaultButton = dbFindNext;
    TMyFieldSelection FieldSelection = fsAllFields;
    bool ShowMessages = true;

    const QString& lastValue() const { return m_lastValue; }

    // Shows the dialog modally; true when it closed on a match (the table is positioned there).
    bool execute();
    // Locate Next: repeats the last search from the record after the current one, or opens
    // the dialog when nothing was searched yet.
    bool DoFindNext();

    // execute() in parts, for tests: the dialog as it opens, and storing back what it holds.
    // prepare() answers nullptr (after the message) when there is no open table.
    std::unique_ptr<TMyLocateDlg> prepare();
    void storeBack(const TMyLocateDlg& dialog);

    // The value search over the data source, with the busy cursor. Shows the message for a
    // missing field.
    LocateOutcome runSearch(const QString& fieldName, const QString& value, bool fromBeginning,
                            bool caseSensitive, TMyLocateMatchType matchType);
    // The table field name behind a label of the list; empty when none.
    QString fieldForLabel(const QString& label) const;

private:
    bool tableOpen() const;
    // (label, table field name) of the fields the list offers, in list order.
    std::vector<std::pair<QString, QString>> offeredFields() const;

    WindowContext& m_context;
    QWidget* m_owner;
    QString m_lastValue;
    std::vector<std::pair<QString, QString>> m_offered; // of the dialog being shown
};
