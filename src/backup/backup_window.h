#pragma once

#include "backup/backup_ops.h"
#include "ui/window_services.h"

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;
class QRadioButton;
struct InventorySession;
struct WindowContext;

// "Backup": copies one kind of file of the open database, or the report definitions file, to
// a directory the user chooses. Stays open afterwards for the next kind. Created for one use.
class TMyBackup : public QDialog {
    Q_OBJECT
public:
    // reapplyViewer re-applies the viewer set-up whenever the item table was reopened.
    TMyBackup(InventorySession& session, WindowContext& context,
              std::function<void()> reapplyViewer, QWidget* parent = nullptr);

    // The main window's command: creates the window, shows it modally, frees it.
    static void run(InventorySession& session, WindowContext& context,
                    std::function<void()> reapplyViewer, QWidget* owner);

    void FormShow();
    void StartButtonClick();
    void ChooseButtonClick();
    void HelpButtonClick();

    QRadioButton* kindButton(BackupKind kind) const;
    BackupKind selectedKind() const;
    QString destination() const;
    void setDestination(const QString& directory);
    QLineEdit* dirBox() const { return m_dirBox; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Where free space is read; tests pass their own.
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    InventorySession& m_session;
    WindowContext& m_context;
    std::function<void()> m_reapplyViewer;
    FreeSpaceProbe m_freeSpace;
    DesignGeometry m_design;
    QRadioButton* m_kinds[4] = {};
    QLineEdit* m_dirBox = nullptr;
    QPushButton* m_choose = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
};
