#pragma once

#include "reports/report_generator.h"
#include "ui/window_services.h"

#include <QDialog>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class TMyPreview;
class TPrintSelect;
struct InventorySession;
struct WindowContext;

// "Reports": the report definitions of TWKINV.URP, what to print (the search result or the
// whole table), and the runs to the preview, the printer and a text or PDF file.
class TMyReport : public QDialog {
    Q_OBJECT
public:
    TMyReport(InventorySession& session, WindowContext& context, TPrintSelect& printers,
              QWidget* parent = nullptr);

    // Fills the list from the report definitions file; an unreadable file leaves it empty.
    void loadList();

    void ViewClick();
    void PrintClick();
    void FileClick();
    void NewClick();
    void ModifyClick();
    void InsuranceClick();
    void PrinterSetupClick();

    // Tests look at the preview while it is shown.
    void setPreviewHook(std::function<void(TMyPreview&)> hook) { m_previewHook = std::move(hook); }

    QListWidget* reportBox() const { return m_list; }
    QRadioButton* exportSearch() const { return m_search; }
    QRadioButton* exportEntire() const { return m_entire; }
    QLabel* sortOrderLabel() const { return m_sortOrder; }
    QPushButton* button(const char* name) const;
    QAction* action(const QString& path) const; // "&File/Printer &Setup"

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void run(ReportDestination destination);
    std::optional<QString> targetProblem(const QString& fileName) const;
    bool haveSelection();
    // Opens the designer on m_current; record is nullopt for a new definition.
    void design(std::optional<int> record);

    InventorySession& m_session;
    WindowContext& m_context;
    TPrintSelect& m_printers;
    DesignGeometry m_design;
    QRadioButton* m_search = nullptr;
    QRadioButton* m_entire = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_sortOrder = nullptr;
    std::function<void(TMyPreview&)> m_previewHook;
    // The definition the designer edits in place.
    ReportDefinition m_current;
};
