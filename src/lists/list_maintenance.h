#pragma once

#include "settings/settings.h"
#include "ui/window_services.h"

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;
class LookupLists;
struct WindowContext;

// The list maintenance dialog: edits a working copy of one lookup list. The entries can be
// added (at the end, duplicates allowed), deleted and sorted once; Ok hands them back to the
// session and saves the lists, Cancel drops them.
class TMyEditBox : public QDialog {
    Q_OBJECT
public:
    // list: 1 Brand, 2 Location, 3 Purchased From, 4 Category, 5 Owner.
    // base: the database's base path, where the five list files are saved.
    TMyEditBox(LookupLists& lists, const QString& base, const ColorSet& colors,
               WindowContext& context, int list, QWidget* parent = nullptr);

    int listNumber() const { return m_list; }
    // The working entries, in the order shown.
    QStringList entries() const;
    // The row of the selected entry, -1 for none.
    int selectedRow() const;

    QLineEdit* addInfo() const { return m_addInfo; }
    QListWidget* theList() const { return m_theList; }

    // Fonts, scaling, centring and colours; focus on the list with its first entry selected.
    void FormShow();
    void addClicked();
    void deleteClicked();
    void sortClicked();
    // Replaces both copies of the list and saves the five lists of the database; closes.
    void okClicked();
    void cancelClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void selectRow(int row);

    LookupLists& m_lists;
    QString m_base;
    ColorSet m_colors;
    WindowContext& m_context;
    int m_list;
    DesignGeometry m_design;
    QLineEdit* m_addInfo = nullptr;
    QListWidget* m_theList = nullptr;
};

// List Maintenance for one list: shows the dialog modally over owner. True when the user
// chose Ok (the list and its files changed); false after Cancel.
bool EditAList(LookupLists& lists, const QString& base, const ColorSet& colors,
               WindowContext& context, int list, QWidget* owner);
