#include "mainwindow/viewer_delegates.h"

#include "items/item_schema.h"
#include "lists/lookup_lists.h"
#include "mainwindow/viewer_model.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
constexpr int kTypedDateLength = 10;
} // namespace

int LookupDelegate::listForField(int fieldNumber) {
    for (const LookupListInfo& info : kLookupLists)
        if (info.fieldNumber == fieldNumber)
            return info.number;
    return 0;
}

QWidget* LookupDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    const auto* model = qobject_cast<const ViewerModel*>(index.model());
    const int field = model ? model->fieldAt(index.column()) : 0;
    const int list = listForField(field);
    QWidget* editor = nullptr;
    if (list == 0 || !m_lists) {
        editor = QStyledItemDelegate::createEditor(parent, option, index);
    } else {
        static const char* const names[kLookupListCount] = {
            "MyComboBrand", "MyComboLocation", "MyComboBought", "MyComboCategory", "MyComboOwner"};
        auto* combo = new QComboBox(parent);
        combo->setObjectName(QString::fromLatin1(names[list - 1]));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // What is typed is stored as typed, as in the record editor: no completion from the
        // list, and Enter does not swap "sanyo" for the entry "Sanyo".
        combo->setCompleter(nullptr);
        combo->setDuplicatesEnabled(true);
        combo->addItems(m_lists->gridList(list));
        editor = combo;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        if (const ItemField* f = itemField(field)) {
            // A date is stored in 8 bytes but typed in up to 10 characters (dd-mm-yyyy); the
            // model refuses what it cannot read, so a cut-short year never reaches the file.
            // Amounts are typed with grouping characters and get no limit: cut short, 1,000
            // would be stored as 100; the model refuses one the field cannot hold.
            if (f->letter != 'N')
                line->setMaxLength(f->type == FieldType::Date ? kTypedDateLength : f->width);
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        if (const ItemField* f = itemField(field))
            combo->lineEdit()->setMaxLength(f->width);
    }
    if (editor)
        editor->setFont(m_font);
    return editor;
}

void LookupDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setEditText(index.data(Qt::EditRole).toString());
        // As in the other cells, what is typed replaces the value rather than joining it.
        combo->lineEdit()->selectAll();
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void LookupDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}
