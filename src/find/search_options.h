#pragma once

#include "settings/settings.h"
#include "ui/window_services.h"
#include "find/search_criteria.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;
class TMySearch;
struct WindowContext;

// "Search Options": the picker behind a search row's "..." cell. For a numeric or date row it
// chooses the row operator; for a row with a pick list it puts the chosen value into the
// row's criterion cell. Created for one use.
class TSearchOptions : public QDialog {
    Q_OBJECT
public:
    // selected: the entry selected at first, -1 for none.
    TSearchOptions(TMySearch& search, int row, const QString& heading, const QStringList& entries,
                   int selected, WindowContext& context, const ColorSet& colors,
                   QWidget* parent = nullptr);

    void FormShow();
    void OkButtonClick();
    void CancelButtonClick();

    QLabel* heading() const { return m_heading; }
    QListWidget* list() const { return m_list; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMySearch& m_search;
    int m_row;
    WindowContext& m_context;
    ColorSet m_colors;
    DesignGeometry m_design;
    QLabel* m_heading = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
