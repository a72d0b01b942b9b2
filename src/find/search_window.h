#pragma once

#include "ui/window_services.h"
#include "find/search_criteria.h"

#include <QDialog>

#include <array>
#include <functional>

class QLineEdit;
class QPushButton;
class QTableWidget;
struct InventorySession;
struct WindowContext;

// "Search": one grid row per item field with a criterion cell beside it, up to ten levels of
// criteria. Created once for the run; each showing starts again at level 1 with no items,
// while the row operators chosen in Search Options stay for the run. The criteria typed here
// are a working copy: an active search keeps its own items until Ok applies new ones.
class TMySearch : public QDialog {
    Q_OBJECT
public:
    // reapplyViewer re-applies the viewer set-up whenever the item table was reopened.
    TMySearch(InventorySession& session, WindowContext& context,
              std::function<void()> reapplyViewer, QWidget* parent = nullptr);

    // The main window's Search command: shows the window modally. True when Ok applied a
    // search (the search is on); the caller then refreshes its search controls and count
    // from session.searchOn either way.
    bool execute();

    // Show handler; tests call it instead of showing the window.
    void FormShow();
    void OkButtonClick();
    void ExitButtonClick();
    void ClearSearch();
    void MoreButtonClick();
    void HelpButtonClick();
    // A click on a grid cell (row 1-22, column 0-2) released where it was pressed.
    void GridCellClick(int row, int column);

    // Used by Search Options.
    RowOperator rowOperator(int row) const { return m_operators[size_t(row - 1)]; }
    void setRowOperator(int row, RowOperator op);
    QString criterion(int row) const;
    void setCriterion(int row, const QString& text);
    QLineEdit* criterionEdit(int row) const { return m_edits[size_t(row - 1)]; }
    void makeRowCurrent(int row);
    int currentRow() const;

    const SearchCriteria& criteria() const { return m_criteria; }
    int level() const { return m_criteria.level; }
    QTableWidget* grid() const { return m_grid; }
    QPushButton* moreButton() const { return m_more; }
    QString criteriaHeader() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool SaveFields();
    bool Doit();
    void emptyCriteria();
    void setLevelHeader();
    void applyMask(int row);
    void scaleGrid();

    InventorySession& m_session;
    WindowContext& m_context;
    std::function<void()> m_reapplyViewer;
    DesignGeometry m_design;
    SearchCriteria m_criteria;
    std::array<RowOperator, kSearchRows> m_operators{};
    bool m_applied = false;

    QTableWidget* m_grid = nullptr;
    std::array<QLineEdit*, kSearchRows> m_edits{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_exit = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_more = nullptr;
    QPushButton* m_help = nullptr;
};
