#pragma once

#include <QStyledItemDelegate>

class LookupLists;

// The viewer's in-grid editors: the Brand, Location, Purchased From, Category and Owner
// columns are edited with a drop-down list filled from the grid's copy of their lookup list
// (MyComboBrand, MyComboLocation, MyComboBought, MyComboCategory, MyComboOwner); the
// Warranty column is a check box, which the model provides.
class LookupDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LookupDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
    void setLists(const LookupLists* lists) { m_lists = lists; }
    void setFont(const QFont& font) { m_font = font; }

    // The list number (1-5) whose drop-down edits a field, or 0.
    static int listForField(int fieldNumber);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    const LookupLists* m_lists = nullptr;
    QFont m_font;
};
