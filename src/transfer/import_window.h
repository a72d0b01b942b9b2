#pragma once

#include "transfer/item_import.h"
#include "ui/window_services.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
struct InventorySession;
struct WindowContext;

// The import window: the item fields beside the source's fields, lined up with Up and Down,
// each switched on or off in the "USE" column, and the import itself.
class TMyImport : public QDialog {
    Q_OBJECT
public:
    // For a text source `text` is the decoded file; for a dBase source `path` names the table.
    TMyImport(InventorySession& session, WindowContext& context, ImportFileType type,
              QStringList importFields, QString path, QString text, QWidget* parent = nullptr);

    void FormShow();
    void UpButtonClick();
    void DownButtonClick();
    void ImportGridDblClick();
    void SkipFirstClick();
    void StartButtonClick();
    void ExitButtonClick();

    QTableWidget* grid() const { return m_grid; }
    QCheckBox* skipFirst() const { return m_skipFirst; }
    QLabel* countLabel() const { return m_count; }
    bool importing() const { return m_importing; }
    // Asks a running import to stop after the record it is on (what Escape does).
    void cancelImport() { m_cancel = true; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void setBusy(bool busy);

    InventorySession& m_session;
    WindowContext& m_context;
    ImportFileType m_type;
    QStringList m_fields;
    QString m_path;
    QString m_text;
    DesignGeometry m_design;
    QTableWidget* m_grid = nullptr;
    QCheckBox* m_skipFirst = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_exit = nullptr;
    bool m_importing = false;
    bool m_cancel = false;
};

// "Import Format": the kind of source and the file.
class TImportFormat : public QDialog {
    Q_OBJECT
public:
    TImportFormat(InventorySession& session, WindowContext& context, QWidget* parent = nullptr);

    // The main window's Import command: shows the window modally and frees it.
    static void run(InventorySession& session, WindowContext& context, QWidget* owner);

    void FormShow();
    void SelectFileClick();

    QRadioButton* textButton() const { return m_text; }
    QRadioButton* dbaseButton() const { return m_dbase; }
    // The import window while it is open (for tests that drive it).
    TMyImport* importWindow() const { return m_import; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    // Opens the import window over the chosen source; false when the source was refused.
    bool openImport(ImportFileType type, const QString& path);

    InventorySession& m_session;
    WindowContext& m_context;
    DesignGeometry m_design;
    QRadioButton* m_text = nullptr;
    QRadioButton* m_dbase = nullptr;
    TMyImport* m_import = nullptr;
};
