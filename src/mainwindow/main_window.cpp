#include "mainwindow/main_window.h"

#include "ui/prompter.h"
#include "mainwindow/speed_glyphs.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <QToolButton>

#include <algorithm>

namespace {

// Design pixels of the main window's fixed controls.
constexpr int kSpeedPanelHeight = 31;
constexpr int kSpeedButtonSize = 23;
constexpr int kLetteredWidth = 69;
constexpr int kLetteredHeight = 33;
constexpr int kNavigatorHeight = 25;

struct SpeedButtonDef {
    const char* name;
    const char* hint;
    bool gapBefore; // a little space between groups of buttons
};

const SpeedButtonDef kSpeedButtons[] = {
    {"NewSpeed", "New Database", false},
    {"OpenSpeed", "Open Database", false},
    {"AddSpeed", "Add Record", true},
    {"EditSpeed", "Edit Record", false},
    {"CopySpeed", "Copy Record", false},
    {"DeleteSpeed", "Delete Record", false},
    {"ImportSpeed", "Import Records", true},
    {"ExportSpeed", "Export Records", false},
    {"SearchSpeed", "Search Records", true},
    {"EndSearchSpeed", "End Search", false},
    {"LocateSpeed", "Locate Record", false},
    {"LocateNextSpeed", "Locate Next Record", false},
    {"ReportSpeed", "Reports", true},
    {"ViewerSpeed", "Viewer Configuration", false},
    {"ColorSpeed", "Color Setup", false},
    {"SpeedSetOrder", "Set Sorting Order", false},
    {"HelpSpeed", "Help", true},
};

// Lettered buttons: frame, column, row within the frame.
struct LetteredDef {
    const char* name;
    const char* caption;
    int bevel; // index into Bevel1..Bevel4
    int column;
    int row;
};

const LetteredDef kLettered[] = {
    {"AddButton", "&Add", 0, 0, 0},        {"CopyButton", "&Copy", 0, 1, 0},
    {"EditButton", "&Edit", 0, 0, 1},      {"DeleteButton", "&Delete", 0, 1, 1},
    {"SearchButton", "&Search", 2, 0, 0},  {"EndSearchButton", "E&nd Srch", 2, 0, 1},
    {"ReportButton", "&Reports", 1, 0, 0}, {"ViewerButton", "&Viewer", 1, 0, 1},
    {"HelpButton", "He&lp", 3, 0, 0},      {"ButtonExit", "E&xit", 3, 0, 1},
};

// Frames stand left to right as Bevel1, Bevel3, Bevel2, Bevel4.
constexpr int kBevelOrder[4] = {0, 2, 1, 3};
constexpr int kBevelColumns[4] = {2, 1, 1, 1};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, bool bold) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

QFrame* makeBevel(QWidget* parent, const char* name, QFrame::Shadow shadow) {
    auto* f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setProperty("bevel", true);
    f->setFrameShape(QFrame::Box);
    f->setFrameShadow(shadow);
    return f;
}

} // namespace

// ---------------------------------------------------------------------------------------

RecordNavigator::RecordNavigator(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MyNavigator"));
    static const char* const hints[Count] = {
        "First record",  "Prior record", "Next record", "Last record", "Insert record",
        "Delete record", "Edit record",  "Post edit",   "Cancel edit", "Refresh data"};
    for (int i = 0; i < Count; ++i) {
        auto* b = new QToolButton(this);
        b->setIcon(navigatorGlyph(i));
        b->setToolTip(QString::fromLatin1(hints[i]));
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] { emit clicked(i); });
        m_buttons[i] = b;
    }
}

void RecordNavigator::setBrowseOnly(bool on) {
    m_browseOnly = on;
    for (int i = Insert; i < Count; ++i)
        m_buttons[i]->setVisible(!on);
    layoutButtons();
}

void RecordNavigator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

void RecordNavigator::layoutButtons() {
    const int shown = m_browseOnly ? 4 : Count;
    const int w = width();
    for (int i = 0; i < shown; ++i) {
        const int left = w * i / shown;
        const int right = w * (i + 1) / shown;
        m_buttons[i]->setGeometry(left, 0, right - left, height());
    }
}

// ---------------------------------------------------------------------------------------

TMain::TMain(Prompter& prompter, const AppPaths& paths, const QSize& screen,
             const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), m_prompter(prompter), m_paths(paths), m_context(prompter) {
    m_context.screen = screen;
    m_session.paths = paths;
    setObjectName(QStringLiteral("Main"));
    createControls();
    createMenus();
    wireCommands();
    startUp(arguments);
}

void TMain::createControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(m_client);

    m_speedPanel = new QFrame(m_client);
    m_speedPanel->setObjectName(QStringLiteral("SpeedPanel"));
    m_speedPanel->setFrameShape(QFrame::Panel);
    m_speedPanel->setFrameShadow(QFrame::Raised);
    int x = 4;
    for (const auto& def : kSpeedButtons) {
        if (def.gapBefore)
            x += 5;
        auto* b = new QToolButton(m_speedPanel);
        b->setObjectName(QString::fromLatin1(def.name));
        b->setToolTip(QString::fromLatin1(def.hint));
        b->setIcon(speedGlyph(b->objectName()));
        b->setIconSize(QSize(18, 18));
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(x, 4, kSpeedButtonSize, kSpeedButtonSize);
        x += kSpeedButtonSize;
        m_speedButtons.insert(b->objectName(), b);
    }

    static const char* const bevelNames[4] = {"Bevel1", "Bevel2", "Bevel3", "Bevel4"};
    int bevelLeft = 4;
    for (int slot = 0; slot < 4; ++slot) {
        const int b = kBevelOrder[slot];
        const int width = kBevelColumns[b] * (kLetteredWidth + 4) + 4;
        m_bevels[b] = makeBevel(m_client, bevelNames[b], QFrame::Raised);
        m_bevels[b]->setGeometry(bevelLeft, 4, width, 2 * (kLetteredHeight + 4) + 4);
        bevelLeft += width + 4;
    }
    for (const auto& def : kLettered) {
        auto* b = new QPushButton(QString::fromLatin1(def.caption), m_client);
        b->setObjectName(QString::fromLatin1(def.name));
        const QRect frame = m_bevels[def.bevel]->geometry();
        b->setGeometry(frame.left() + 4 + def.column * (kLetteredWidth + 4),
                       frame.top() + 4 + def.row * (kLetteredHeight + 4), kLetteredWidth,
                       kLetteredHeight);
        b->setFocusPolicy(Qt::TabFocus);
        m_letteredButtons.insert(b->objectName(), b);
    }

    m_navigatorLabel =
        makeLabel(m_client, "NavigatorLabel", QStringLiteral("Navigation Controls"), true);
    m_navigator = new RecordNavigator(m_client);

    m_viewerBevel = makeBevel(m_client, "ViewerBevel", QFrame::Sunken);
    m_viewerLabel = makeLabel(m_client, "ViewerLabel", QStringLiteral("Inventory Viewer"), true);
    QFont vf = m_viewerLabel->font();
    vf.setPointSize(12);
    m_viewerLabel->setFont(vf);
    m_viewerLabel->setProperty("heading", QStringLiteral("major"));
    m_countLabel = makeLabel(m_client, "CountLabel", QStringLiteral("0"), true);
    m_count2Label = makeLabel(m_client, "Count2Label", QStringLiteral("Items"), false);
    m_searchOnLabel = makeLabel(m_client, "SearchOnLabel", QStringLiteral("SEARCH ON"), true);
    m_searchOnLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    m_searchOnLabel->hide();

    m_viewerGrid = new QTableView(m_client);
    m_viewerGrid->setObjectName(QStringLiteral("ViewerGrid"));
    m_viewerGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_viewerGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_viewerGrid->setTabKeyNavigation(true);
}

QAction* TMain::addCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut) {
    auto* a = menu->addAction(caption);
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    QString path = caption;
    for (QWidget* w = menu; w; w = qobject_cast<QMenu*>(w->parentWidget())) {
        auto* m = qobject_cast<QMenu*>(w);
        if (!m)
            break;
        path = m->title() + '/' + path;
    }
    m_actions.insert(path, a);
    return a;
}

void TMain::connectCommand(QAction* action, const char* speedName, const char* buttonName) {
    if (speedName) {
        if (QToolButton* b = m_speedButtons.value(QString::fromLatin1(speedName))) {
            connect(b, &QToolButton::clicked, action, &QAction::trigger);
            connect(action, &QAction::enabledChanged, b, &QWidget::setEnabled);
            b->setEnabled(action->isEnabled());
        }
    }
    if (buttonName) {
        if (QPushButton* b = m_letteredButtons.value(QString::fromLatin1(buttonName))) {
            connect(b, &QPushButton::clicked, action, &QAction::trigger);
            m_buttonActions.insert(b, action);
            connect(action, &QAction::enabledChanged, this, [this] { updateLetteredButtons(); });
        }
    }
}

QAction* TMain::action(const QString& path) const {
    return m_actions.value(path);
}
QMenu* TMain::menu(const QString& title) const {
    return m_menus.value(title);
}

QToolButton* TMain::speedButton(const QString& name) const {
    return m_speedButtons.value(name);
}
QPushButton* TMain::letteredButton(const QString& name) const {
    return m_letteredButtons.value(name);
}

void TMain::createMenus() {
    auto addMenu = [this](QMenu* parentMenu, const QString& title) {
        QMenu* m = parentMenu ? parentMenu->addMenu(title) : menuBar()->addMenu(title);
        m_menus.insert(title, m);
        return m;
    };
    const auto ctrl = [](Qt::Key k) { return QKeySequence(Qt::CTRL | k); };
    const auto shift = [](Qt::Key k) { return QKeySequence(Qt::SHIFT | k); };

    QMenu* file = addMenu(nullptr, QStringLiteral("&File"));
    addCommand(file, QStringLiteral("&New Database"), ctrl(Qt::Key_W));
    addCommand(file, QStringLiteral("&Open Database"), ctrl(Qt::Key_O));
    addCommand(file, QStringLiteral("&Update Database"), ctrl(Qt::Key_Z));
    file->addSeparator();
    addCommand(file, QStringLiteral("&Back Up Data"), ctrl(Qt::Key_B));
    addCommand(file, QStringLiteral("&Restore Data"), ctrl(Qt::Key_Y));
    file->addSeparator();
    addCommand(file, QStringLiteral("&Print"), ctrl(Qt::Key_P));
    file->addSeparator();
    QAction* exitAction = addCommand(file, QStringLiteral("E&xit"), ctrl(Qt::Key_X));
    m_recentSeparator = file->addSeparator();
    for (int i = 0; i < kRecentFileCount; ++i) {
        m_recentActions[i] = file->addAction(QStringLiteral("&%1").arg(i + 1));
        m_actions.insert(QStringLiteral("&File/&%1").arg(i + 1), m_recentActions[i]);
    }
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    connectCommand(exitAction, nullptr, "ButtonExit");

    QMenu* records = addMenu(nullptr, QStringLiteral("&Records"));
    addCommand(records, QStringLiteral("&Add"), ctrl(Qt::Key_A));
    addCommand(records, QStringLiteral("&Edit"), ctrl(Qt::Key_E));
    addCommand(records, QStringLiteral("&Copy"), ctrl(Qt::Key_C));
    addCommand(records, QStringLiteral("&Delete"), ctrl(Qt::Key_D));
    records->addSeparator();
    addCommand(records, QStringLiteral("&Import"), ctrl(Qt::Key_M));
    addCommand(records, QStringLiteral("E&xport"), ctrl(Qt::Key_T));

    QMenu* navigate = addMenu(nullptr, QStringLiteral("Navi&gate"));
    addCommand(navigate, QStringLiteral("&Search (Query)"), ctrl(Qt::Key_S));
    addCommand(navigate, QStringLiteral("&End Search"), ctrl(Qt::Key_I));
    addCommand(navigate, QStringLiteral("&Locate"), ctrl(Qt::Key_L));
    addCommand(navigate, QStringLiteral("Locate &Next"), ctrl(Qt::Key_N));
    addCommand(navigate, QStringLiteral("&Reports"), ctrl(Qt::Key_R));
    addCommand(navigate, QStringLiteral("&Viewer"), ctrl(Qt::Key_V));

    QMenu* options = addMenu(nullptr, QStringLiteral("&Options"));
    addCommand(options, QStringLiteral("Sort &Order"), ctrl(Qt::Key_Q));
    QMenu* screenSize = addMenu(options, QStringLiteral("Screen Si&ze"));
    static const int presets[4] = {640, 800, 1024, 1280};
    static const Qt::Key presetKeys[4] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4};
    auto* sizeGroup = new QActionGroup(this);
    for (int i = 0; i < 4; ++i) {
        const auto p = screenPreset(presets[i]);
        QAction* a = addCommand(screenSize, QStringLiteral("%1 x %2").arg(p->width).arg(p->height),
                                shift(presetKeys[i]));
        a->setCheckable(true);
        sizeGroup->addAction(a);
        m_screenSizeActions[i] = a;
        connect(a, &QAction::triggered, this, [this, i] { chooseScreenSize(presets[i]); });
    }
    QMenu* access = addMenu(options, QStringLiteral("&Screen Access"));
    static const char* const accessItems[3] = {"&Speed Buttons", "&Lettered Buttons", "&None"};
    static const Qt::Key accessKeys[3] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3};
    auto* accessGroup = new QActionGroup(this);
    for (int i = 0; i < 3; ++i) {
        QAction* a = addCommand(access, QString::fromLatin1(accessItems[i]), ctrl(accessKeys[i]));
        a->setCheckable(true);
        accessGroup->addAction(a);
        m_buttonBarActions[i] = a;
        connect(a, &QAction::triggered, this,
                [this, i] { SetButtonBar(static_cast<ButtonBarMode>(i + 1)); });
    }
    QMenu* color = addMenu(options, QStringLiteral("&Color"));
    static const char* const colorItems[5] = {"&Main Window Color", "&Edit Window Color",
                                              "&Search Window Color", "&Report Window Color",
                                              "&Configure Window Color"};
    static const Qt::Key colorKeys[6] = {Qt::Key_F4, Qt::Key_F5, Qt::Key_F6,
                                         Qt::Key_F7, Qt::Key_F8, Qt::Key_F9};
    for (int i = 0; i < 5; ++i)
        addCommand(color, QString::fromLatin1(colorItems[i]), ctrl(colorKeys[i]));
    color->addSeparator();
    addCommand(color, QStringLiteral("&ALL Windows Color"), ctrl(colorKeys[5]));
    QMenu* lists = addMenu(options, QStringLiteral("List &Maintenance"));
    addCommand(lists, QStringLiteral("&Save As Defaults"));
    addCommand(lists, QStringLiteral("Load In &Defaults"));
    lists->addSeparator();
    for (const char* item : {"&Brand", "&Location", "&Purchased From", "&Category", "&Owner"})
        addCommand(lists, QString::fromLatin1(item));
    QMenu* currency = addMenu(options, QStringLiteral("C&urrency Format"));
    addCommand(currency, QStringLiteral("&U.S. Dollars"))->setCheckable(true);
    addCommand(currency, QStringLiteral("&Windows Setting"))->setCheckable(true);
    QMenu* numeric = addMenu(options, QStringLiteral("&Numeric Format"));
    addCommand(numeric, QStringLiteral("&U.S. Format"))->setCheckable(true);
    addCommand(numeric, QStringLiteral("&Windows Setting"))->setCheckable(true);
    QMenu* dates = addMenu(options, QStringLiteral("&Date Format"));
    addCommand(dates, QStringLiteral("&Leading Zeros"))->setCheckable(true);
    dates->addSeparator();
    static const char* const dateItems[12] = {
        "mm/dd/yy",   "mm-dd-yy",   "mm.dd.yy",   "dd/mm/yy",   "dd-mm-yy",   "dd.mm.yy",
        "mm/dd/yyyy", "mm-dd-yyyy", "mm.dd.yyyy", "dd/mm/yyyy", "dd-mm-yyyy", "dd.mm.yyyy"};
    for (const char* item : dateItems)
        addCommand(dates, QString::fromLatin1(item))->setCheckable(true);
    options->addSeparator();
    addCommand(options, QStringLiteral("&Label Font"), shift(Qt::Key_F8));
    addCommand(options, QStringLiteral("&Edit Font"), shift(Qt::Key_F9));
    addCommand(options, QStringLiteral("&Button Font"), shift(Qt::Key_F10));

    QMenu* tools = addMenu(nullptr, QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("&Search and Replace"), ctrl(Qt::Key_F));
    addCommand(tools, QStringLiteral("&Rebuild Indexes"));
    addCommand(tools, QStringLiteral("&Pack Database"));

    QMenu* help = addMenu(nullptr, QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("&Contents"), ctrl(Qt::Key_H));
    addCommand(help, QStringLiteral("&Review \"Tips of the Day\""))
        ->setObjectName(QStringLiteral("MenuTips"));
    addCommand(help, QStringLiteral("&About"));
}

void TMain::SetButtonBar(ButtonBarMode mode) {
    m_buttonBar = mode;
    m_buttonBarActions[static_cast<int>(mode) - 1]->setChecked(true);
    const bool speed = mode == ButtonBarMode::Speed;
    const bool lettered = mode == ButtonBarMode::Lettered;
    m_speedPanel->setVisible(speed);
    m_speedPanel->setEnabled(speed);
    for (QFrame* b : m_bevels)
        b->setVisible(lettered);
    for (QPushButton* b : std::as_const(m_letteredButtons))
        b->setVisible(lettered);
    m_navigatorLabel->setVisible(lettered);
    m_navigatorLabel->move(400, 20);
    m_navigatorLabel->adjustSize();
    updateLetteredButtons();
    applyVerticalLayout();
}

void TMain::updateLetteredButtons() {
    const bool lettered = m_buttonBar == ButtonBarMode::Lettered;
    for (auto it = m_letteredButtons.cbegin(); it != m_letteredButtons.cend(); ++it) {
        bool on = lettered;
        const QString& name = it.key();
        if (name == QLatin1String("EndSearchButton"))
            on = on && m_session.searchOn;
        else if (name == QLatin1String("AddButton") || name == QLatin1String("CopyButton") ||
                 name == QLatin1String("DeleteButton") || name == QLatin1String("ViewerButton"))
            on = on && !m_session.browseMode;
        // A button does what its command does, and nothing while the command cannot run.
        QAction* command = m_buttonActions.value(it.value());
        it.value()->setEnabled(on && command && command->isEnabled());
    }
}

void TMain::applyVerticalLayout() {
    const int cw = m_client->width();
    const int ch = m_client->height();
    const ButtonBarLayout l = buttonBarLayout(m_buttonBar, cw, ch);
    m_speedPanel->setGeometry(0, 0, cw, kSpeedPanelHeight);
    // At the smallest window sizes the navigator would run past the right edge: its buttons
    // share what room there is instead.
    const int navigatorWidth = std::max(80, std::min(l.navigatorWidth, cw - l.navigatorLeft - 2));
    m_navigator->setGeometry(l.navigatorLeft, l.navigatorTop, navigatorWidth, kNavigatorHeight);
    m_viewerBevel->setGeometry(3, l.viewerBevelTop, l.viewerBevelWidth, l.viewerBevelHeight);
    m_viewerGrid->setGeometry(7, l.viewerGridTop, l.viewerGridWidth, l.viewerGridHeight);
    m_viewerLabel->adjustSize();
    m_viewerLabel->move((cw - m_viewerLabel->width()) / 2, l.viewerLabelTop);
    m_countLabel->adjustSize();
    m_countLabel->move(12, l.countTop);
    m_count2Label->adjustSize();
    m_count2Label->move(12, l.count2Top);
    m_searchOnLabel->adjustSize();
    m_searchOnLabel->move(cw - m_searchOnLabel->width() - 12, l.searchOnTop);
    // Keep the grid's rows readable however small the window is made.
    m_viewerGrid->setVisible(l.viewerGridHeight > 0);
}

void TMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    applyVerticalLayout();
}

void TMain::SetMenuLastFiles() {
    bool any = false;
    for (int i = 0; i < kRecentFileCount; ++i) {
        const QString& path = m_recentFiles[i];
        m_recentActions[i]->setVisible(!path.isEmpty());
        if (!path.isEmpty()) {
            any = true;
            m_recentActions[i]->setText(recentFileCaption(i + 1, path));
        }
    }
    m_recentSeparator->setVisible(any);
}

void TMain::tickScreenSize() {
    static const int presets[4] = {640, 800, 1024, 1280};
    for (int i = 0; i < 4; ++i)
        m_screenSizeActions[i]->setChecked(presets[i] == m_tickedPreset);
}

void TMain::applyWindowSizeSetting(int windowSize) {
    // A preset larger than the screen falls back to 640 x 480 but stays stored as it was.
    m_windowSize = windowSize;
    m_context.scaleFactor = scaleFactorFor(windowSize, m_context.screen);
    const auto p = screenPreset(windowSize);
    m_tickedPreset = p && p->factor == m_context.scaleFactor ? windowSize : 640;
    tickScreenSize();
}

void TMain::chooseScreenSize(int preset) {
    if (preset != m_windowSize) {
        const QString refusal = presetRefusal(preset, m_context.screen);
        if (!refusal.isEmpty()) {
            m_prompter.error(refusal);
        } else {
            m_windowSize = preset;
            m_context.scaleFactor = screenPreset(preset)->factor;
            m_tickedPreset = preset;
        }
    }
    // The menu ticks itself on a click; put the tick where the setting says.
    tickScreenSize();
}
