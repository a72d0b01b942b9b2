#include "ui/help_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const QString kHelpRoot = QStringLiteral("qrc:/help/");

// Keyword and page file. Windows name their keyword on their Help button; the main window's
// Contents command uses "Contents".
const std::pair<const char*, const char*> kTopics[] = {
    {"Contents", "index.html"},
    {"Main Window", "main_window.html"},
    {"Menu Commands", "commands.html"},
    {"Inventory Viewer", "viewer.html"},
    {"Button Bar", "button_bar.html"},
    {"Screen Size", "screen_and_fonts.html"},
    {"Fonts", "screen_and_fonts.html"},
    {"Color Configuration", "colors.html"},
    {"Pack Database", "maintenance.html"},
    {"Rebuild Indexes", "maintenance.html"},
    {"Browse Mode", "browse_mode.html"},
    {"Tip of the Day", "tips.html"},
    {"Database Files", "databases.html"},
    {"Input Window", "record_editor.html"},
    {"List Maintenance", "list_maintenance.html"},
    {"Search Window", "search.html"},
    {"Search Options", "search_options.html"},
    {"Sort Order", "sort_order.html"},
    {"Import Window", "import.html"},
    {"Export Window", "export.html"},
    {"Backup and Restore", "backup_restore.html"},
    {"Locate", "locate.html"},
    {"Search and Replace", "search_replace.html"},
    {"Report Window", "reports.html"},
    {"Report Preview", "reports.html#preview"},
    {"Page Printing", "reports.html#range"},
    {"Printer Selection", "reports.html#printer"},
    {"Insurance Information", "reports.html#insurance"},
    {"User Defined Reports", "report_designer.html#definition"},
    {"Report Fonts", "report_designer.html#fonts"},
    {"Specify Report Layout", "report_designer.html#layout"},
    {"Select Report Part", "report_designer.html#part"},
    {"Viewer Configuration Title", "viewer_config.html#title"},
    {"Viewer Configuration Look", "viewer_config.html#look"},
    {"Viewer Configuration Show", "viewer_config.html#show"},
    {"Viewer Configuration Widths", "viewer_config.html#widths"},
    {"Viewer Configuration Order", "viewer_config.html#order"},
    {"Viewer Configuration Names", "viewer_config.html#names"},
};

} // namespace

// The pages live in a static library; naming the resource keeps the linker from dropping
// them. (Q_INIT_RESOURCE must stand outside any namespace.)
static void initHelpResources() {
    Q_INIT_RESOURCE(help);
}

QUrl helpContentsPage() {
    return QUrl(kHelpRoot + QStringLiteral("index.html"));
}

QUrl helpPageForKeyword(const QString& keyword) {
    const QString wanted = keyword.trimmed();
    for (const auto& [name, page] : kTopics) {
        if (wanted.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QUrl(kHelpRoot + QLatin1String(page));
    }
    return helpContentsPage();
}

QStringList helpKeywords() {
    QStringList result;
    for (const auto& topic : kTopics)
        result << QLatin1String(topic.first);
    return result;
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    initHelpResources();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Tallywick Inventory 97 Help"));
    resize(600, 460);

    m_contents = new QPushButton(QStringLiteral("&Contents"), this);
    m_contents->setObjectName(QStringLiteral("ContentsButton"));
    m_back = new QPushButton(QStringLiteral("&Back"), this);
    m_back->setObjectName(QStringLiteral("BackButton"));
    m_forward = new QPushButton(QStringLiteral("&Forward"), this);
    m_forward->setObjectName(QStringLiteral("ForwardButton"));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpText"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    m_browser->document()->setDefaultStyleSheet(
        QStringLiteral("th { text-align: left; } td, th { padding: 1px 6px 1px 0px; }"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);

    connect(m_contents, &QPushButton::clicked, this, &THelpWindow::showContents);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);

    showContents();
}

void THelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void THelpWindow::showContents() {
    m_browser->setSource(helpContentsPage());
}

void THelpWindow::showKeyword(const QString& keyword) {
    m_browser->setSource(helpPageForKeyword(keyword));
}

QUrl THelpWindow::currentPage() const {
    return m_browser->source();
}

namespace {
// Over the middle of the window that asked, wholly on its screen. move() places the frame,
// which the window manager adds later: allow for a title bar and borders.
void placeOver(QWidget* help, const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    constexpr int kTitleBar = 40;
    constexpr int kBorder = 8;
    const QRect room = screen->availableGeometry();
    QRect frame({0, 0}, help->size() + QSize(2 * kBorder, kTitleBar + kBorder));
    frame.moveCenter(owner ? owner->frameGeometry().center() : room.center());
    frame.moveLeft(std::clamp(frame.left(), room.left(),
                              std::max(room.left(), room.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), room.top(),
                             std::max(room.top(), room.bottom() + 1 - frame.height())));
    help->move(frame.topLeft());
}
} // namespace

THelpWindow* openHelp(const QString& keyword, QWidget* owner) {
    static QPointer<THelpWindow> help;
    QWidget* top = owner ? owner->window() : nullptr;
    if (!help) {
        help = new THelpWindow(top);
        placeOver(help, top);
    } else if (help->parentWidget() != top) {
        // A modal dialog blocks every window but its own children, so the help window moves
        // under whichever window asked for it.
        const QRect place = help->geometry();
        help->setParent(top, Qt::Window);
        help->setGeometry(place);
    }
    help->showKeyword(keyword);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}

void setHelpKeyword(QWidget* window, const QString& keyword) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window,
                     [window, keyword] { openHelp(keyword, window); });
}
