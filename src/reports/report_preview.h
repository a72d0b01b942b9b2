#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class PageStream;
class QAction;
class QLabel;
class QLineEdit;
class QScrollArea;
class QToolButton;
struct ColorSet;
struct ReportSettings;
struct WindowContext;

// The preview of a view run: the recorded pages one at a time, zoomed from 10 to 200 percent,
// and printed (a page, all of them, a range) or saved as PDF from the same recorded pages.
class TMyPreview : public QDialog {
    Q_OBJECT
public:
    // Sends pages first..last (from 1) to the printer; false with the reason.
    using PrintFunction = std::function<bool(int first, int last, QString* error)>;

    TMyPreview(const PageStream& pages, const QString& title, ReportSettings& settings,
               const ColorSet& colors, WindowContext& context, QWidget* parent = nullptr);

    void setPrintFunction(PrintFunction print) { m_print = std::move(print); }
    // Why a file may not be saved over (the program's own files); nullopt when it may.
    using TargetCheck = std::function<std::optional<QString>(const QString& path)>;
    void setTargetCheck(TargetCheck check) { m_targetCheck = std::move(check); }

    double zoom() const { return m_zoom; }
    int currentPage() const { return m_page; }
    bool colorInUse() const { return !m_monochrome; }
    void setZoom(double percent);
    void goToPage(int page);

    void zoomPageWidth();
    void zoomWholePage();
    void printPage();
    void printReport();
    void printRange();
    void saveAsPdf();

    QAction* action(const QString& path) const; // "&View/Use Color"
    QToolButton* toolButton(const char* name) const;
    QLineEdit* zoomEdit() const { return m_zoomEdit; }
    QLineEdit* pageEdit() const { return m_pageEdit; }
    QLabel* pageLabel() const { return m_pageLabel; }
    QScrollArea* scrollBox() const { return m_scroll; }
    QWidget* pageView() const;

protected:
    void done(int result) override;

private:
    class PageView;
    void showPage();
    void print(int first, int last);
    QSizeF pagePixels(double zoom) const; // the page with its margins

    const PageStream& m_pages;
    ReportSettings& m_settings;
    const ColorSet& m_colors;
    WindowContext& m_context;
    PrintFunction m_print;
    TargetCheck m_targetCheck;
    double m_zoom = 100.0;
    int m_page = 1;
    bool m_monochrome = false;
    bool m_printing = false;
    QScrollArea* m_scroll = nullptr;
    PageView* m_view = nullptr;
    QLineEdit* m_zoomEdit = nullptr;
    QLineEdit* m_pageEdit = nullptr;
    QLabel* m_pageLabel = nullptr;
};
