#pragma once

#include "appearance/view_config_rules.h"
#include "ui/window_services.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
struct WindowContext;

// "Viewer Configuration": six pages setting how the Inventory Viewer shows the items. The
// title and grid options change the settings at once; the field pages are taken over when the
// window closes, which it refuses while two fields share a name. Created for one use.
class TViewConfig : public QDialog {
    Q_OBJECT
public:
    enum Page { TitlePage, LookPage, ShowPage, WidthsPage, OrderPage, NamesPage };

    TViewConfig(DatabaseSettings& settings, WindowContext& context, QWidget* parent = nullptr);

    // The main window's Viewer command: creates the window, shows it modally, frees it. The
    // caller re-applies the viewer set-up afterwards.
    static void run(DatabaseSettings& settings, WindowContext& context, QWidget* owner);

    void FormShow();
    // False (after the message) while two fields share a name.
    bool FormCloseQuery();
    void FormClose();
    void ExitButtonClick();
    void HelpButtonClick();
    QString helpKeyword() const;

    void titleFontClick();
    void titleColorClick();
    void cellFontClick();
    void cellColorClick();
    // Double click in "Fields to Show" (row 0-21, column 0-1).
    void FieldsToDisplayDblClick(int row, int column);
    void UpButtonClick();
    void DownButtonClick();
    void DefaultsButtonClick();

    QTabWidget* pages() const { return m_pages; }
    QCheckBox* showTitlesBox() const { return m_showTitles; }
    QLineEdit* titleFontBox() const { return m_titleFontBox; }
    QLineEdit* cellFontBox() const { return m_cellFontBox; }
    QRadioButton* alignmentRadio(int alignment) const;         // 1-3
    QCheckBox* optionBox(int n) const { return m_options[n]; } // columns, rows, indicator, editing
    QTableWidget* displayGrid() const { return m_display; }
    QTableWidget* widthGrid() const { return m_widths; }
    QTableWidget* orderGrid() const { return m_order; }
    QTableWidget* nameGrid() const { return m_names; }
    bool closedOk() const { return m_closed; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makePage(const QString& title, const char* name);
    QTableWidget* makeGrid(QWidget* page, const char* name, int columns, int x, int y);
    void showFontText(QLineEdit* box, const GridFontSettings& font);
    void paintSample(QFrame* sample, ColorRef color);
    void scaleGrids();
    ViewConfigCells cells() const;

    DatabaseSettings& m_db;
    WindowContext& m_context;
    DesignGeometry m_design;
    bool m_closed = false;

    QTabWidget* m_pages = nullptr;
    QCheckBox* m_showTitles = nullptr;
    QLineEdit* m_titleFontBox = nullptr;
    QFrame* m_titleSample = nullptr;
    QButtonGroup* m_alignment = nullptr;
    QCheckBox* m_options[4] = {};
    QFrame* m_cellSample = nullptr;
    QLineEdit* m_cellFontBox = nullptr;
    QTableWidget* m_display = nullptr;
    QTableWidget* m_widths = nullptr;
    QTableWidget* m_order = nullptr;
    QTableWidget* m_names = nullptr;
};
