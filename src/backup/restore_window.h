#pragma once

#include "backup/restore_ops.h"
#include "ui/window_services.h"

#include <QDialog>

class QPushButton;
class QRadioButton;
struct InventorySession;
struct WindowContext;

// "Restore": copies back one kind of file saved by Backup, picked with a file-open dialog.
// Stays open afterwards. Created for one use.
class TMyRestore : public QDialog {
    Q_OBJECT
public:
    // services carries what the main window does after the table reopens, after the open
    // database changed, after its settings were read again and after the report definitions
    // were replaced; its kind and chosen file are the window's.
    TMyRestore(InventorySession& session, WindowContext& context, RestoreJob services,
               QWidget* parent = nullptr);

    static void run(InventorySession& session, WindowContext& context, RestoreJob services,
                    QWidget* owner);

    void FormShow();
    void StartButtonClick();
    void HelpButtonClick();

    QRadioButton* kindButton(RestoreKind kind) const;
    RestoreKind selectedKind() const;
    QPushButton* startButton() const { return m_start; }
    QPushButton* cancelButton() const { return m_cancel; }
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_services.freeSpace = std::move(probe); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    InventorySession& m_session;
    WindowContext& m_context;
    RestoreJob m_services;
    DesignGeometry m_design;
    QString m_lastDirectory;
    QRadioButton* m_kinds[4] = {};
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
};
