#pragma once

#include "ui/window_services.h"
#include "edit/record_editor_rules.h"

#include <QDialog>
#include <QHash>
#include <QMap>

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTabWidget;
struct InventorySession;
struct WindowContext;

// "Edit": the record editor. One window for the whole run, shown modally in one of three
// modes: New adds a record, Edit changes the current record, Copy adds a new record filled in
// from the current one. It works on the current record of the session's item table, checks
// what was typed and writes it back with one insert or edit and a post; its drop-down lists
// are the session's lookup lists and learn every new value that is saved.
class TMyEdit : public QDialog {
    Q_OBJECT
public:
    TMyEdit(InventorySession& session, WindowContext& context, QWidget* parent = nullptr);
    ~TMyEdit() override;

    // Sets the mode and shows the editor modally; returns when it has closed.
    int showModal(EditorMode mode);

    EditorMode editorMode() const { return m_mode; }
    void setEditorMode(EditorMode mode) { m_mode = mode; }

    // What showing does every time: fonts, geometry, labels, colours, then the record (Edit
    // and Copy) or empty boxes (New), and a fresh entry snapshot.
    void FormShow();

    void LoadInData();
    void DoClear();
    bool ValuesChanged() const;
    // The checks, the lookup lists and the write; false when something was refused.
    bool DoUpdate();
    void DoAnUpdate();      // Update and stay
    void DoUpdateAndExit(); // Update and close
    void DoExit();          // asks first when something was typed
    void DoPrevious();
    void DoNext();
    void MenuNewClick();
    void MenuCopyRecordClick();
    void MenuPrintRecordClick();
    void MenuHelpClick();
    void BlankWarDateClick();
    void BlankPurchDateClick();

    // Leaving a box.
    void ItemExit();
    void CostExit();
    void ValueExit();
    void RepCostExit();
    void QuantityExit();
    void CalcTotals();

    // The controls' contents, and setting them as if typed.
    EditorValues values() const;
    void setValues(const EditorValues& values);
    QString controlText(EditorControl control) const;
    void setControlText(EditorControl control, const QString& text);

    QWidget* control(EditorControl control) const { return m_controls[size_t(control)]; }
    // The line edit that holds a control's text (a drop-down's own edit part).
    QLineEdit* lineEdit(EditorControl control) const;
    QComboBox* combo(EditorControl control) const;
    QCheckBox* warrantyBox() const { return m_warranty; }
    QLabel* label(const QString& name) const;
    QPushButton* button(const QString& name) const;
    QAction* action(const QString& name) const; // by the menu item's name, e.g. "MenuNew"
    QTabWidget* notebook() const { return m_notebook; }
    QMenuBar* menuBar() const { return m_menuBar; }

    // Turns to the control's page and gives it the focus.
    void focusControl(EditorControl control);
    // The editing control that has the focus, if any.
    std::optional<EditorControl> focusedControl() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void done(int result) override;

private:
    void createControls();
    void createMenu();
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption,
                        const QKeySequence& shortcut, void (TMyEdit::*handler)());
    void applyBrowseMode();
    void applyDisplayNames();
    void applyDateMasks();
    void refillLists();
    void takeSnapshot();
    void updateItemCaptions();
    bool askBeforeLeaving(const QString& question);
    void moveToRecord(bool forward);
    enum class SelectionEdit { Cut, Copy, Paste, Delete };
    void editSelection(SelectionEdit operation);
    void showDatabaseError(const std::exception& error);

    InventorySession& m_session;
    WindowContext& m_context;
    EditorMode m_mode = EditorMode::New;
    EntrySnapshot m_snapshot;
    DateBoxFormat m_dateBox;
    DesignGeometry m_design;

    QMenuBar* m_menuBar = nullptr;
    QTabWidget* m_notebook = nullptr;
    std::array<QWidget*, kEditorControlCount> m_controls{};
    QCheckBox* m_warranty = nullptr;
    QLabel* m_totLabel = nullptr;
    QLabel* m_totValue = nullptr;
    QLabel* m_totCost = nullptr;
    QLabel* m_totRepCost = nullptr;
    std::array<QLabel*, 3> m_itemCaptions{}; // WorthItem, WarrantyItem, OtherItem
    QHash<QObject*, EditorControl> m_controlOf;
    QMap<QString, QAction*> m_actions;
};
