#pragma once

#include "ui/window_services.h"

#include <QDialog>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
struct InventorySession;
struct WindowContext;

// "Sort Order": four drop-down lists, primary to fourth level, each "<NONE>" followed by the
// field display names. Ok rebuilds the viewer's order from them. Created for one use.
class TMySortOrder : public QDialog {
    Q_OBJECT
public:
    // reapplyViewer re-applies the viewer set-up whenever the item table was reopened.
    TMySortOrder(InventorySession& session, WindowContext& context,
                 std::function<void()> reapplyViewer, QWidget* parent = nullptr);

    // The main window's Sort Order command: creates the window, shows it modally, frees it.
    // True when a new order was applied.
    static bool run(InventorySession& session, WindowContext& context,
                    std::function<void()> reapplyViewer, QWidget* owner);

    void FormShow();
    void OkButtonClick();
    void CancelButtonClick();

    QComboBox* levelList(int level) const { return m_lists[size_t(level)]; } // 0-3
    bool applied() const { return m_applied; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    InventorySession& m_session;
    WindowContext& m_context;
    std::function<void()> m_reapplyViewer;
    DesignGeometry m_design;
    std::array<QComboBox*, 4> m_lists{};
    std::array<QLabel*, 4> m_headings{};
    bool m_applied = false;
};
