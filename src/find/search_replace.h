#pragma once

#include "find/search_replace_ops.h"
#include "ui/window_services.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct InventorySession;
struct WindowContext;

// "Search and Replace": a field, the value to find and the new value; Start Search changes
// every record of the item table whose field holds the value, counting as it goes. Created for
// one use; closes itself after a completed pass.
class TSearchAndReplace : public QDialog {
    Q_OBJECT
public:
    // reapplyViewer re-applies the viewer set-up whenever the item table was reopened.
    TSearchAndReplace(InventorySession& session, WindowContext& context,
                      std::function<void()> reapplyViewer, QWidget* parent = nullptr);

    // The main window's command: creates the window, shows it modally, frees it.
    static void run(InventorySession& session, WindowContext& context,
                    std::function<void()> reapplyViewer, QWidget* owner);

    void FormShow();
    void FieldBoxChange(int index);
    void StartButtonClick();

    QComboBox* fieldBox() const { return m_fieldBox; }
    QLineEdit* searchText() const { return m_search; }
    QLineEdit* replaceText() const { return m_replace; }
    QCheckBox* confirmBox() const { return m_confirm; }
    QPushButton* startButton() const { return m_start; }
    const ReplaceCounters& counters() const { return m_counters; }
    bool completed() const { return m_completed; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawCounters(const ReplaceCounters& counters);

    InventorySession& m_session;
    WindowContext& m_context;
    std::function<void()> m_reapplyViewer;
    DesignGeometry m_design;
    int m_field = 0;
    ReplaceCounters m_counters;
    QElapsedTimer m_sinceDrawn;
    bool m_completed = false;
    QComboBox* m_fieldBox = nullptr;
    QLineEdit* m_search = nullptr;
    QLineEdit* m_replace = nullptr;
    QCheckBox* m_confirm = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
};
