#pragma once

#include "ui/window_services.h"

#include <QDialog>

class QCheckBox;
class QProgressBar;
class QRadioButton;
class QTableWidget;
struct InventorySession;
struct WindowContext;

// "Export": which fields go out and in which order, all records or the search's, to delimited
// text or a new dBase table.
class TMyExport : public QDialog {
    Q_OBJECT
public:
    TMyExport(InventorySession& session, WindowContext& context, QWidget* parent = nullptr);

    // The main window's Export command: shows the window modally and frees it.
    static void run(InventorySession& session, WindowContext& context, QWidget* owner);

    void FormShow();
    void UpButtonClick();
    void DownButtonClick();
    void DefaultsButtonClick();
    void ExportGridDblClick();
    void FirstRowClick();
    void StartButtonClick();

    QTableWidget* grid() const { return m_grid; }
    QRadioButton* entireButton() const { return m_entire; }
    QRadioButton* searchButton() const { return m_search; }
    QRadioButton* textButton() const { return m_text; }
    QRadioButton* dbaseButton() const { return m_dbase; }
    QCheckBox* firstRow() const { return m_firstRow; }
    QProgressBar* gauge() const { return m_gauge; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void fillGrid();
    // Grid rows back into the stored export order and flags.
    void storeGrid();
    void followFileType();
    void exportTo(bool dbase);

    InventorySession& m_session;
    WindowContext& m_context;
    DesignGeometry m_design;
    QTableWidget* m_grid = nullptr;
    QRadioButton* m_entire = nullptr;
    QRadioButton* m_search = nullptr;
    QRadioButton* m_text = nullptr;
    QRadioButton* m_dbase = nullptr;
    QCheckBox* m_firstRow = nullptr;
    QProgressBar* m_gauge = nullptr;
};
