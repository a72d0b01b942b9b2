#pragma once

#include "mainwindow/main_window_rules.h"
#include "session/inventory_session.h"
#include "session/session_lifecycle.h"
#include "settings/app_paths.h"
#include "ui/window_context.h"

#include <QMainWindow>
#include <QMap>

#include <functional>
#include <memory>
#include <vector>

class Prompter;
class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class QWidget;
class TMain;
class ViewerModel;
class LookupDelegate;
class TMyEdit;
class TMySearch;
class TMyReport;
class TPrintSelect;
class TMyLocateDialog;

// The record navigator: first, prior, next, last, insert, delete, edit, post, cancel, refresh.
class RecordNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, Count };
    explicit RecordNavigator(QWidget* parent);
    QToolButton* button(Button b) const { return m_buttons[b]; }
    // Browse mode keeps only first, prior, next and last.
    void setBrowseOnly(bool on);

signals:
    void clicked(int button);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutButtons();
    QToolButton* m_buttons[Count] = {};
    bool m_browseOnly = false;
};

// The program's main window: the Inventory Viewer, the menus, the speed buttons and the
// lettered buttons.
class TMain : public QMainWindow {
    Q_OBJECT
public:
    TMain(Prompter& prompter, const AppPaths& paths, const QSize& screen,
          const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TMain() override;

    // False when start-up could not give the program a database; the reason has been shown
    // and the program should end.
    bool startedUp() const { return m_startedUp; }
    InventorySession& session() { return m_session; }
    ViewerModel* viewerModel() const { return m_viewerModel; }

    // Operations other windows use.
    void SetViewerOptions();
    void DisplayCount();
    void DoFileSpecific();
    void SetColors();
    void DoEndSearch();
    void DoReports();
    void EnableEndSearch();
    void DisableEndSearch();
    void DoDelete();
    void DoAdd();
    void DoSearch();
    void DoSortOrder();
    void DoImport();
    void DoExport();
    void DoFind();
    void DoFindNext();
    void DoSearchAndReplace();
    void DoViewerConfig();
    TMyLocateDialog* locateDialog() const { return m_locate; }
    void DoEdit();
    void DoCopy();
    TMyEdit* editor() const { return m_editor; }
    TMyReport* reports() const { return m_reports; }
    TPrintSelect* printSelect() const { return m_printSelect; }
    void DoUpdateDatabase();
    void MenuPackClick();
    void MenuRebuildClick();
    void DoBackup();
    void DoRestore();
    void chooseFont(int which);  // 0 label, 1 edit, 2 button
    void chooseColors(int kind); // 1-5, 6 for all
    void showTips();
    void showAbout();
    void showHelp(const QString& keyword = QStringLiteral("Contents"));

    // The database switch.
    void DoOpen();
    void DoNew();
    void OpenSaveFile(const QString& path);
    // True when the new database is open; false when the choice was cancelled or refused.
    bool switchDatabase(SwitchKind kind, const QString& recentPath);

    // The format menus.
    void chooseDateFormat(int number);
    void toggleLeadingZeros();
    void chooseCurrencyFormat(int setting);
    void chooseNumericFormat(int setting);

    // Actions by their menu caption path, e.g. "&File/&Open Database", for tests and help.
    QAction* action(const QString& path) const;
    QMenu* menu(const QString& title) const;

    ButtonBarMode buttonBarMode() const { return m_buttonBar; }
    void SetButtonBar(ButtonBarMode mode);
    void SetMenuLastFiles();
    const RecentFileList& recentFiles() const { return m_recentFiles; }

    WindowContext& context() { return m_context; }
    int windowSizePreset() const { return m_windowSize; }
    void chooseScreenSize(int preset);
    // Start-up: the stored Window Size and the factor it gives on this screen.
    void applyWindowSizeSetting(int windowSize);

    QLabel* countLabel() const { return m_countLabel; }
    QLabel* searchOnLabel() const { return m_searchOnLabel; }
    QTableView* viewerGrid() const { return m_viewerGrid; }
    QFrame* speedPanel() const { return m_speedPanel; }
    RecordNavigator* navigator() const { return m_navigator; }
    QToolButton* speedButton(const QString& name) const;
    QPushButton* letteredButton(const QString& name) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createControls();
    void createMenus();
    QAction* addCommand(QMenu* menu, const QString& caption, const QKeySequence& shortcut = {});
    void connectCommand(QAction* action, const char* speedName, const char* buttonName);
    void applyVerticalLayout();
    void updateLetteredButtons();
    void tickScreenSize();
    void startUp(const QStringList& arguments);
    void showDatabaseCaption();
    void attachViewer();
    void runEditor(int mode);
    // Re-attaches the viewer and re-applies its set-up after the table was reopened.
    std::function<void()> viewerRefresher();
    void applyUserFontsToMain();
    void wireCommands();
    // Commands follow the session's browse mode, both ways.
    void applyBrowseMode();
    // Makes the grid's row the table's current record. False when the row's record is no
    // longer there to be current (deleted or changed by another program since it was read).
    bool syncCursorToGrid();
    void selectCurrentRecordInGrid();
    void followCurrentRecord();
    // Runs a command that reopens or re-filters the table with one reading of the viewer's
    // rows at its end, then shows the current record.
    void withOneViewerReload(const std::function<void()>& work);
    void tickFormatMenus();
    void refreshDates();
    // Runs a command's work, showing an engine error in an "Error" box.
    bool guarded(const std::function<void()>& work);

    Prompter& m_prompter;
    AppPaths m_paths;
    WindowContext m_context;
    InventorySession m_session;
    ViewerModel* m_viewerModel = nullptr;
    LookupDelegate* m_lookupDelegate = nullptr;
    TMyEdit* m_editor = nullptr;
    TMySearch* m_search = nullptr;
    TMyReport* m_reports = nullptr;
    TPrintSelect* m_printSelect = nullptr;
    TMyLocateDialog* m_locate = nullptr;
    bool m_startedUp = false;
    bool m_activatedOnce = false;

    ButtonBarMode m_buttonBar = ButtonBarMode::Speed;
    int m_windowSize = 640;
    int m_tickedPreset = 640;
    RecentFileList m_recentFiles;

    QWidget* m_client = nullptr;
    QFrame* m_speedPanel = nullptr;
    QFrame* m_viewerBevel = nullptr;
    QFrame* m_bevels[4] = {};
    QLabel* m_viewerLabel = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_count2Label = nullptr;
    QLabel* m_searchOnLabel = nullptr;
    QLabel* m_navigatorLabel = nullptr;
    QTableView* m_viewerGrid = nullptr;
    RecordNavigator* m_navigator = nullptr;
    QMap<QString, QToolButton*> m_speedButtons;
    QMap<QString, QPushButton*> m_letteredButtons;
    QMap<QPushButton*, QAction*> m_buttonActions;

    QMap<QString, QAction*> m_actions;
    QMap<QString, QMenu*> m_menus;
    QAction* m_recentSeparator = nullptr;
    QAction* m_recentActions[kRecentFileCount] = {};
    QAction* m_screenSizeActions[4] = {};
    QAction* m_buttonBarActions[3] = {};
};
