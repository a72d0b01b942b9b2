#include "reports/report_preview.h"

#include "appearance/set_colors.h"
#include "output/page_output.h"
#include "output/page_stream.h"
#include "output/printer_sink.h"
#include "reports/print_dialogs.h"
#include "settings/settings.h"
#include "ui/busy_cursor.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMinZoom = 10.0;
constexpr double kMaxZoom = 200.0;
constexpr double kZoomStep = 10.0;
constexpr double kMarginShare = 0.025; // of the page size, on every side
const QString kBusy = QStringLiteral("Previous print job has not yet finished.  Try again later.");

QString zoomText(double zoom) {
    return QString::number(zoom, 'f', 1);
}
} // namespace

// The page at the zoom factor, on a margin of the scroll box's colour.
class TMyPreview::PageView : public QWidget {
public:
    explicit PageView(TMyPreview& owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setObjectName(QStringLiteral("PageView"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const PageStream& pages = m_owner.m_pages;
        if (m_owner.m_page < 1 || m_owner.m_page > pages.pageCount())
            return;
        const QSizeF page = m_owner.pagePixels(m_owner.m_zoom);
        p.translate(page.width() * kMarginShare / (1 + 2 * kMarginShare),
                    page.height() * kMarginShare / (1 + 2 * kMarginShare));
        pages.drawAtZoom(p, m_owner.m_page - 1, m_owner.m_zoom, logicalDpiX(),
                         m_owner.m_monochrome);
    }

private:
    TMyPreview& m_owner;
};

TMyPreview::TMyPreview(const PageStream& pages, const QString& title, ReportSettings& settings,
                       const ColorSet& colors, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_pages(pages), m_settings(settings), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TMyPreview"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    m_print = [this](int first, int last, QString* error) {
        if (!anyPrinterInstalled()) {
            *error = kNoPrinters;
            return false;
        }
        return printRecordedPages(m_pages, TPrintSelect::storedChoice(m_settings), first, last,
                                  windowTitle(), error);
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QMenuBar(this);
    layout->setMenuBar(bar);
    auto item = [this](QMenu* menu, const QString& text, QKeySequence key, auto slot) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto ctrl = [](Qt::Key k) { return QKeySequence(Qt::CTRL | k); };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    item(file, QStringLiteral("&Print Page"), ctrl(Qt::Key_P), [this] { printPage(); });
    item(file, QStringLiteral("Print &Report"), ctrl(Qt::Key_R), [this] { printReport(); });
    item(file, QStringLiteral("Print Ran&ge"), ctrl(Qt::Key_G), [this] { printRange(); });
    item(file, QStringLiteral("Save as P&DF..."), ctrl(Qt::Key_D), [this] { saveAsPdf(); });
    file->addSeparator();
    item(file, QStringLiteral("E&xit"), ctrl(Qt::Key_X), [this] { close(); });
    QMenu* nav = bar->addMenu(QStringLiteral("&Navigate"));
    item(nav, QStringLiteral("&Previous Page"), ctrl(Qt::Key_E), [this] { goToPage(m_page - 1); });
    item(nav, QStringLiteral("&Next Page"), ctrl(Qt::Key_N), [this] { goToPage(m_page + 1); });
    item(nav, QStringLiteral("&First Page"), ctrl(Qt::Key_F), [this] { goToPage(1); });
    item(nav, QStringLiteral("&Last Page"), ctrl(Qt::Key_L),
         [this] { goToPage(m_pages.pageCount()); });
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    QAction* color = item(view, QStringLiteral("Use Color"), ctrl(Qt::Key_C), [this] {
        m_monochrome = !m_monochrome;
        action(QStringLiteral("&View/Use Color"))->setChecked(!m_monochrome);
        m_view->update();
    });
    color->setCheckable(true);
    color->setChecked(true); // pages start in colour
    QMenu* in = view->addMenu(QStringLiteral("Zoom &In"));
    in->menuAction()->setShortcut(ctrl(Qt::Key_I));
    item(in, QStringLiteral("&1 : 1"), {}, [this] { setZoom(100); });
    item(in, QStringLiteral("&2 : 1"), {}, [this] { setZoom(200); });
    QMenu* out = view->addMenu(QStringLiteral("Zoom &Out"));
    out->menuAction()->setShortcut(ctrl(Qt::Key_O));
    item(out, QStringLiteral("1 : &1"), {}, [this] { setZoom(100); });
    item(out, QStringLiteral("1 : &2"), {}, [this] { setZoom(50); });
    item(out, QStringLiteral("1 : &3"), {}, [this] { setZoom(100.0 / 3.0); });
    item(out, QStringLiteral("1 : &4"), {}, [this] { setZoom(25); });
    item(out, QStringLiteral("1 : &5"), {}, [this] { setZoom(20); });
    item(view, QStringLiteral("Zoom &Page Width"), ctrl(Qt::Key_Z), [this] { zoomPageWidth(); });
    item(view, QStringLiteral("Zoom &Whole Page"), ctrl(Qt::Key_W), [this] { zoomWholePage(); });

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("ToolPanel"));
    auto* tools = new QHBoxLayout(panel);
    tools->setContentsMargins(4, 2, 4, 2);
    auto tool = [this, panel, tools](const char* name, const QString& hint,
                                     QStyle::StandardPixmap icon, auto slot) {
        auto* b = new QToolButton(panel);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, slot);
        tools->addWidget(b);
        return b;
    };
    auto text = [panel, tools](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, panel);
        l->setObjectName(QString::fromLatin1(name));
        markHeading(l, Heading::Minor);
        tools->addWidget(l);
        return l;
    };
    QToolButton* zoomIn = tool("SBZoomIn", QStringLiteral("Zoom In"), QStyle::SP_ArrowUp,
                               [this] { setZoom(m_zoom + kZoomStep); });
    zoomIn->setText(QStringLiteral("+"));
    tool("SBZoomOut", QStringLiteral("Zoom Out"), QStyle::SP_ArrowDown,
         [this] { setZoom(m_zoom - kZoomStep); });
    text("Label1", QStringLiteral("Zoom %"));
    m_zoomEdit = new QLineEdit(panel);
    m_zoomEdit->setObjectName(QStringLiteral("ZoomEdit"));
    m_zoomEdit->setFixedWidth(56);
    tools->addWidget(m_zoomEdit);
    connect(m_zoomEdit, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const double z = m_zoomEdit->text().trimmed().toDouble(&ok);
        if (ok && z != m_zoom)
            setZoom(z);
        else
            m_zoomEdit->setText(zoomText(m_zoom));
    });
    tools->addSpacing(12);
    tool("SBPrevPage", QStringLiteral("Prev Page"), QStyle::SP_ArrowLeft,
         [this] { goToPage(m_page - 1); });
    tool("SBNextPage", QStringLiteral("Next Page"), QStyle::SP_ArrowRight,
         [this] { goToPage(m_page + 1); });
    text("Label2", QStringLiteral("Page #"));
    m_pageEdit = new QLineEdit(panel);
    m_pageEdit->setObjectName(QStringLiteral("PageEdit"));
    m_pageEdit->setFixedWidth(48);
    tools->addWidget(m_pageEdit);
    connect(m_pageEdit, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const int n = m_pageEdit->text().trimmed().toInt(&ok);
        if (ok && n != m_page)
            goToPage(n);
        m_pageEdit->setText(QString::number(m_page));
    });
    m_pageLabel = text("PageLabel", QStringLiteral("Page 1 of 1"));
    tools->addSpacing(12);
    tool("SBPrint", QStringLiteral("Print Page"), QStyle::SP_DialogSaveButton,
         [this] { printPage(); });
    tool("SBZoomPageWidth", QStringLiteral("Zoom Page Width"), QStyle::SP_TitleBarMaxButton,
         [this] { zoomPageWidth(); });
    tool("SBZoomPage", QStringLiteral("Zoom Whole Page"), QStyle::SP_TitleBarNormalButton,
         [this] { zoomWholePage(); });
    tool("SBDone", QStringLiteral("Done"), QStyle::SP_DialogCloseButton, [this] { close(); });
    tools->addStretch();
    layout->addWidget(panel);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScrollBox"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_view = new PageView(*this, m_scroll);
    m_scroll->setWidget(m_view);
    layout->addWidget(m_scroll, 1);

    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Report Preview"), this); });

    SetColors(this, m_colors);
    move(m_settings.viewingWindowLeft, m_settings.viewingWindowTop);
    resize(std::max(m_settings.viewingWindowWidth, 200),
           std::max(m_settings.viewingWindowHeight, 150));
    showPage();
}

QAction* TMyPreview::action(const QString& path) const {
    const QStringList parts = path.split(QLatin1Char('/'));
    auto* bar = findChild<QMenuBar*>();
    QList<QAction*> actions = bar ? bar->actions() : QList<QAction*>{};
    QAction* found = nullptr;
    for (const QString& part : parts) {
        found = nullptr;
        for (QAction* a : actions)
            if (a->text() == part)
                found = a;
        if (!found)
            return nullptr;
        actions = found->menu() ? found->menu()->actions() : QList<QAction*>{};
    }
    return found;
}

QToolButton* TMyPreview::toolButton(const char* name) const {
    return findChild<QToolButton*>(QString::fromLatin1(name));
}

QSizeF TMyPreview::pagePixels(double zoom) const {
    const double dpi = m_view ? m_view->logicalDpiX() : 96.0;
    const QSizeF inches = m_pages.pageSize();
    const double f = dpi * zoom / 100.0 * (1 + 2 * kMarginShare);
    return {inches.width() * f, inches.height() * f};
}

void TMyPreview::setZoom(double percent) {
    m_zoom = std::clamp(percent, kMinZoom, kMaxZoom);
    m_zoomEdit->setText(zoomText(m_zoom));
    showPage();
}

void TMyPreview::goToPage(int page) {
    if (page < 1 || page > m_pages.pageCount() || page == m_page)
        return;
    m_page = page;
    showPage();
}

void TMyPreview::showPage() {
    m_zoomEdit->setText(zoomText(m_zoom));
    m_pageEdit->setText(QString::number(m_page));
    m_pageLabel->setText(QStringLiteral("Page %1 of %2").arg(m_page).arg(m_pages.pageCount()));
    m_view->setFixedSize(pagePixels(m_zoom).toSize());
    m_view->update();
}

void TMyPreview::zoomPageWidth() {
    const QSize box = m_scroll->maximumViewportSize();
    const QSizeF at100 = pagePixels(100);
    double width = box.width();
    double zoom = 100.0 * width / at100.width();
    if (at100.height() * zoom / 100.0 > box.height()) {
        width -= m_scroll->verticalScrollBar()->sizeHint().width();
        zoom = 100.0 * width / at100.width();
    }
    setZoom(zoom);
}

void TMyPreview::zoomWholePage() {
    const QSize box = m_scroll->maximumViewportSize();
    const QSizeF at100 = pagePixels(100);
    setZoom(std::min(100.0 * (box.width() - 4) / at100.width(),
                     100.0 * (box.height() - 4) / at100.height()));
}

void TMyPreview::print(int first, int last) {
    if (m_printing) {
        m_context.prompter.error(kBusy);
        return;
    }
    m_printing = true;
    QString error;
    bool ok = false;
    {
        BusyCursor busy;
        ok = m_print(first, last, &error);
    }
    m_printing = false;
    if (!ok && !error.isEmpty())
        m_context.prompter.error(error);
}

void TMyPreview::printPage() {
    if (m_printing) {
        m_context.prompter.error(kBusy);
        return;
    }
    print(m_page, m_page);
}

void TMyPreview::printReport() {
    if (m_printing) {
        m_context.prompter.error(kBusy);
        return;
    }
    print(1, m_pages.pageCount());
}

void TMyPreview::printRange() {
    if (m_printing) {
        m_context.prompter.error(kBusy);
        return;
    }
    TPrintRange range(m_pages.pageCount(), m_colors, m_context, this);
    range.exec();
    if (range.requested())
        print(range.first(), range.last());
}

void TMyPreview::saveAsPdf() {
    const auto name = m_context.prompter.saveFileName({QStringLiteral("Save Report As a PDF File"),
                                                       QString(),
                                                       QString(),
                                                       {QStringLiteral("PDF Files (*.PDF *.pdf)")},
                                                       QStringLiteral("PDF"),
                                                       false,
                                                       true});
    if (!name)
        return;
    if (m_targetCheck) {
        if (const auto problem = m_targetCheck(*name)) {
            m_context.prompter.error(*problem);
            return;
        }
    }
    QString error;
    bool ok = false;
    {
        BusyCursor busy;
        ok = writePdf(m_pages, *name, 1, m_pages.pageCount(), &error);
    }
    if (!ok)
        m_context.prompter.error(
            QStringLiteral("The report could not be saved as %1.  %2").arg(*name, error));
}

// Done, Exit and the close box all end here: the window's place is kept for the next preview.
void TMyPreview::done(int result) {
    m_settings.viewingWindowLeft = x();
    m_settings.viewingWindowTop = y();
    m_settings.viewingWindowWidth = width();
    m_settings.viewingWindowHeight = height();
    QDialog::done(result);
}

QWidget* TMyPreview::pageView() const {
    return m_view;
}
