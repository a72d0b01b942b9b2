#include "lists/list_maintenance.h"
#include "ui/window_services.h"

#include "appearance/set_colors.h"
#include "lists/lookup_lists.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// Design layout, in pixels at 640 x 480: the new entry and its button on top, the list, then
// the list commands and the two closing buttons in rows of two.
constexpr int kClientWidth = 262;
constexpr int kClientHeight = 442;
constexpr int kDesignPointSize = 9;
constexpr int kHalfWidth = 121;
constexpr int kButtonHeight = 27;

const QString kSortQuestion =
    QStringLiteral("Are you sure you want to sort the data?  Sorting cannot be undone.");

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

// A pasted line break would split the entry into two lines of the list file; the rest of the
// control characters have no business in a list either.
QString cleanEntry(const QString& typed) {
    QString text = typed;
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == QLatin1Char(' '))
        ++start;
    while (end > start && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(start, end - start);
}

} // namespace

TMyEditBox::TMyEditBox(LookupLists& lists, const QString& base, const ColorSet& colors,
                       WindowContext& context, int list, QWidget* parent)
    : QDialog(parent), m_lists(lists), m_base(base), m_colors(colors), m_context(context),
      m_list(list) {
    const LookupListInfo& info = kLookupLists.at(size_t(list - 1));
    setWindowTitle(QStringLiteral("Edit \"%1\" List").arg(QLatin1String(info.name)));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    m_addInfo = place(new QLineEdit(this), "AddInfo", 8, 9, 186, 24);
    m_addInfo->setMaxLength(info.longest);
    auto* add = place(new QPushButton(QStringLiteral("&Add"), this), "AddButton", 200, 8, 54,
                      kButtonHeight);
    m_theList = place(new QListWidget(this), "TheList", 8, 42, 246, 322);
    m_theList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_theList->setUniformItemSizes(true);
    auto* del = place(new QPushButton(QStringLiteral("&Delete"), this), "DeleteButton", 8, 372,
                      kHalfWidth, kButtonHeight);
    auto* sort = place(new QPushButton(QStringLiteral("&Sort"), this), "SortButton", 133, 372,
                       kHalfWidth, kButtonHeight);
    auto* ok = place(new QPushButton(QStringLiteral("&Ok"), this), "OkButton", 8, 407, kHalfWidth,
                     kButtonHeight);
    auto* cancel = place(new QPushButton(QStringLiteral("&Cancel"), this), "CancelButton", 133, 407,
                         kHalfWidth, kButtonHeight);

    // Enter in the entry box adds the entry rather than closing the dialog with it half typed.
    add->setDefault(true);
    connect(add, &QPushButton::clicked, this, &TMyEditBox::addClicked);
    connect(del, &QPushButton::clicked, this, &TMyEditBox::deleteClicked);
    connect(sort, &QPushButton::clicked, this, &TMyEditBox::sortClicked);
    connect(ok, &QPushButton::clicked, this, &TMyEditBox::okClicked);
    connect(cancel, &QPushButton::clicked, this, &TMyEditBox::cancelClicked);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("List Maintenance"), this); });

    setTabOrder(m_addInfo, add);
    setTabOrder(add, m_theList);
    setTabOrder(m_theList, del);
    setTabOrder(del, sort);
    setTabOrder(sort, ok);
    setTabOrder(ok, cancel);

    SaveDimensions(this, m_design, m_context.prompter);

    m_theList->addItems(m_lists.editorList(list));
}

QStringList TMyEditBox::entries() const {
    QStringList result;
    result.reserve(m_theList->count());
    for (int i = 0; i < m_theList->count(); ++i)
        result << m_theList->item(i)->text();
    return result;
}

int TMyEditBox::selectedRow() const {
    const auto selected = m_theList->selectedItems();
    return selected.isEmpty() ? -1 : m_theList->row(selected.first());
}

void TMyEditBox::selectRow(int row) {
    if (row < 0 || row >= m_theList->count()) {
        m_theList->setCurrentRow(-1);
        m_theList->clearSelection();
        return;
    }
    m_theList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    m_theList->scrollToItem(m_theList->item(row));
}

void TMyEditBox::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    SetColors(this, m_colors);
    m_theList->setFocus();
    selectRow(0);
}

void TMyEditBox::addClicked() {
    const QString entry = cleanEntry(m_addInfo->text());
    if (!entry.isEmpty()) {
        m_theList->addItem(entry);
        m_theList->scrollToBottom();
    }
    m_addInfo->clear();
    m_addInfo->setFocus();
}

void TMyEditBox::deleteClicked() {
    const int row = selectedRow();
    if (row < 0)
        return;
    delete m_theList->takeItem(row);
    // The entry that moved up into the gap, or the new last one.
    selectRow(std::min(row, m_theList->count() - 1));
}

void TMyEditBox::sortClicked() {
    if (!m_context.prompter.confirm(kSortQuestion))
        return;
    const QStringList before = entries();
    const int selected = selectedRow();
    std::vector<int> order(size_t(before.size()));
    std::iota(order.begin(), order.end(), 0);
    // Entries equal but for letter case keep their order.
    std::stable_sort(order.begin(), order.end(), [&before](int a, int b) {
        return before[a].compare(before[b], Qt::CaseInsensitive) < 0;
    });
    m_theList->clear();
    int newSelected = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        m_theList->addItem(before[order[i]]);
        if (order[i] == selected)
            newSelected = int(i);
    }
    // The entry the user had selected stays selected at its new place.
    selectRow(newSelected);
}

void TMyEditBox::okClicked() {
    m_lists.setList(m_list, entries());
    if (!m_base.isEmpty()) {
        const QStringList failed = m_lists.saveDatabaseLists(m_base);
        if (!failed.isEmpty())
            m_context.prompter.error(
                QStringLiteral("These list files could not be written.  Your changes are kept "
                               "and are written again the next time the lists are saved.\n\n") +
                failed.join(QLatin1Char('\n')));
    }
    accept();
}

void TMyEditBox::cancelClicked() {
    reject();
}

void TMyEditBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool EditAList(LookupLists& lists, const QString& base, const ColorSet& colors,
               WindowContext& context, int list, QWidget* owner) {
    TMyEditBox dialog(lists, base, colors, context, list, owner);
    dialog.addInfo()->clear();
    return dialog.exec() == QDialog::Accepted;
}
