#include "find/locate_dialog.h"

#include "appearance/set_colors.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <algorithm>

namespace {
// Design layout at 640 x 480.
constexpr int kClientWidth = 320;
constexpr int kClientHeight = 264;
constexpr int kDesignPointSize = 9;
constexpr int kGroupWidth = 304;
constexpr int kButtonWidth = 84;
constexpr int kButtonTop = 228;

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

MessageRequest box(const QString& caption, const QString& text, MsgIcon icon) {
    return {caption, text, icon, static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok};
}
} // namespace

// ---------------------------------------------------------------------------------------
// The dialog

TMyLocateDlg::TMyLocateDlg(TMyLocateDialog& owner, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_owner(owner), m_context(context) {
    setObjectName(QStringLiteral("TMyLocateDlg"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    auto* type = place(new QGroupBox(QStringLiteral("&Search Type"), this), "SearchTypeGroup", 8, 8,
                       kGroupWidth, 100);
    m_case = place(new QCheckBox(QStringLiteral("&Case-sensitive"), type), "CaseSensitiveBox", 12,
                   22, 200, 18);
    m_match[mtExactMatch] = place(new QRadioButton(QStringLiteral("&Exact Match"), type),
                                  "ExactMatchRadio", 12, 42, 260, 18);
    m_match[mtPartialMatchStart] =
        place(new QRadioButton(QStringLiteral("&Partial Match at Beginning"), type),
              "PartialStartRadio", 12, 60, 260, 18);
    m_match[mtPartialMatchAny] =
        place(new QRadioButton(QStringLiteral("Partial Match &Anywhere"), type), "PartialAnyRadio",
              12, 78, 260, 18);
    m_match[mtPartialMatchStart]->setChecked(true);

    auto* fieldGroup = place(new QGroupBox(QStringLiteral("&Field To Search On"), this),
                             "FieldGroup", 8, 114, kGroupWidth, 52);
    m_fields = place(new QComboBox(fieldGroup), "FieldNameComboBox", 12, 20, kGroupWidth - 24, 24);
    m_fields->setMaxVisibleItems(15);
    m_fields->installEventFilter(this);
    m_fields->view()->installEventFilter(this);

    auto* valueGroup = place(new QGroupBox(QStringLiteral("Search &Value"), this), "ValueGroup", 8,
                             170, kGroupWidth, 52);
    m_value = place(new QLineEdit(valueGroup), "SearchValue", 12, 20, kGroupWidth - 24, 24);
    m_value->setMaxLength(255);

    m_first = place(new QPushButton(QStringLiteral("Fi&rst"), this), "FindFirst", 16, kButtonTop,
                    kButtonWidth, 27);
    m_next = place(new QPushButton(QStringLiteral("&Next"), this), "FindNext", 118, kButtonTop,
                   kButtonWidth, 27);
    m_cancel = place(new QPushButton(QStringLiteral("Cancel"), this), "CancelButton", 220,
                     kButtonTop, kButtonWidth, 27);
    for (QPushButton* b : {m_first, m_next, m_cancel})
        b->setAutoDefault(false);
    m_defaultButton = m_next;
    m_next->setDefault(true);

    connect(m_first, &QPushButton::clicked, this, &TMyLocateDlg::FindFirst);
    connect(m_next, &QPushButton::clicked, this, &TMyLocateDlg::FindNextBtnClick);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_fields, &QComboBox::currentIndexChanged, this, [this] { FieldNameComboBoxChange(); });
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            [this] { openHelp(QStringLiteral("Locate"), this); });

    SaveDimensions(this, m_design, m_context.prompter);
}

TMyLocateMatchType TMyLocateDlg::matchType() const {
    if (m_match[mtExactMatch]->isChecked())
        return mtExactMatch;
    if (m_match[mtPartialMatchAny]->isChecked())
        return mtPartialMatchAny;
    return mtPartialMatchStart;
}

void TMyLocateDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TMyLocateDlg::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    if (m_owner.DataSource)
        SetColors(this, m_owner.DataSource->db.colors(WindowKind::Configure));
}

void TMyLocateDlg::FieldNameComboBoxChange() {
    m_value->clear();
    if (!m_fields->view()->isVisible())
        m_value->setFocus();
}

bool TMyLocateDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fields) {
        // While the field list has the focus Enter must not search.
        if (event->type() == QEvent::FocusIn)
            m_defaultButton->setDefault(false);
        else if (event->type() == QEvent::FocusOut)
            m_defaultButton->setDefault(true);
    } else if (watched == m_fields->view() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QModelIndex chosen = m_fields->view()->currentIndex();
            m_fields->hidePopup();
            if (chosen.isValid())
                m_fields->setCurrentIndex(chosen.row());
            m_value->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TMyLocateDlg::keyPressEvent(QKeyEvent* event) {
    // Enter on the closed field list does not search.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_fields->hasFocus())
        return;
    QDialog::keyPressEvent(event);
}

void TMyLocateDlg::FindFirst() {
    search(true);
}

void TMyLocateDlg::FindNextBtnClick() {
    search(false);
}

void TMyLocateDlg::search(bool fromBeginning) {
    const QString field = m_owner.fieldForLabel(m_fields->currentText());
    if (field.isEmpty())
        return;
    const LocateOutcome outcome =
        m_owner.runSearch(field, m_value->text(), fromBeginning, m_case->isChecked(), matchType());
    if (outcome == LocateOutcome::Found)
        accept();
    else if (outcome == LocateOutcome::NotFound)
        m_context.prompter.message(
            box(QStringLiteral("Information"),
                fromBeginning ? kLocateNoMatchesMessage : kLocateNoMoreMatchesMessage,
                MsgIcon::Information));
}

// ---------------------------------------------------------------------------------------
// The component

TMyLocateDialog::TMyLocateDialog(WindowContext& context, QWidget* owner)
    : QObject(owner), m_context(context), m_owner(owner) {
    setObjectName(QStringLiteral("MyLocateDialog"));
}

TMyLocateDialog::~TMyLocateDialog() = default;

bool TMyLocateDialog::tableOpen() const {
    return DataSource && DataSource->items.isOpen();
}

std::vector<std::pair<QString, QString>> TMyLocateDialog::offeredFields() const {
    std::vector<std::pair<QString, QString>> fields;
    const dbase::Table& table = DataSource->items.table();
    for (const dbase::Field& f : table.fields()) {
        if (f.type == dbase::FieldType::Memo)
            continue;
        const QString name = QString::fromStdString(f.name);
        QString label = name;
        if (const auto number = itemFieldNumber(name)) {
            const size_t i = size_t(*number - 1);
            if (FieldSelection == fsVisibleFields && !DataSource->db.displayFields[i])
                continue;
            label = DataSource->db.fieldNames[i];
        }
        label.replace(QLatin1Char('~'), QLatin1Char(' '));
        fields.emplace_back(label, name);
    }
    if (SortFields == fsSortByFieldName)
        std::stable_sort(fields.begin(), fields.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    return fields;
}

QString TMyLocateDialog::fieldForLabel(const QString& label) const {
    for (const auto& [shown, name] : m_offered)
        if (shown == label)
            return name;
    return {};
}

std::unique_ptr<TMyLocateDlg> TMyLocateDialog::prepare() {
    if (!tableOpen()) {
        m_context.prompter.message(
            box(QStringLiteral("Error"), kLocateNoTableMessage, MsgIcon::Error));
        return nullptr;
    }
    auto dialog = std::make_unique<TMyLocateDlg>(*this, m_context, m_owner);
    m_offered = offeredFields();
    int selected = -1;
    for (const auto& [label, name] : m_offered) {
        dialog->fieldList()->addItem(label);
        if (!SearchField.isEmpty() && name.compare(SearchField, Qt::CaseInsensitive) == 0)
            selected = dialog->fieldList()->count() - 1;
    }
    if (DefaultButton != dbFindNext) {
        dialog->nextButton()->setDefault(false);
        dialog->firstButton()->setDefault(true);
    }
    if (selected >= 0) {
        dialog->fieldList()->setCurrentIndex(selected);
        dialog->valueBox()->setText(m_lastValue);
    } else {
        dialog->fieldList()->setCurrentIndex(-1);
        dialog->valueBox()->clear();
    }
    dialog->caseBox()->setChecked(CaseSensitive);
    dialog->matchRadio(MatchType)->setChecked(true);
    dialog->setWindowTitle(Caption);
    return dialog;
}

void TMyLocateDialog::storeBack(const TMyLocateDlg& dialog) {
    MatchType = dialog.matchType();
    CaseSensitive = dialog.caseBox()->isChecked();
    m_lastValue = dialog.valueBox()->text().left(255);
    const QString field = fieldForLabel(dialog.fieldList()->currentText());
    if (!field.isEmpty())
        SearchField = field;
}

bool TMyLocateDialog::execute() {
    std::unique_ptr<TMyLocateDlg> dialog = prepare();
    if (!dialog)
        return false;
    const bool found = dialog->exec() == QDialog::Accepted;
    storeBack(*dialog);
    return found;
}

LocateOutcome TMyLocateDialog::runSearch(const QString& fieldName, const QString& value,
                                         bool fromBeginning, bool caseSensitive,
                                         TMyLocateMatchType matchType) {
    LocateOutcome outcome = LocateOutcome::NotFound;
    {
        BusyCursor busy;
        outcome = locateValue(DataSource->items,
                              {fieldName, value, fromBeginning, caseSensitive, matchType},
                              DataSource->formats.current());
    }
    if (outcome == LocateOutcome::NoField)
        m_context.prompter.message(
            box(QStringLiteral("Warning"), locateNoFieldMessage(fieldName), MsgIcon::Warning));
    return outcome;
}

bool TMyLocateDialog::DoFindNext() {
    if (!tableOpen()) {
        m_context.prompter.message(
            box(QStringLiteral("Warning"), kLocateNoActiveTableMessage, MsgIcon::Warning));
        return false;
    }
    if (m_lastValue.isEmpty()) {
        DefaultButton = dbFindNext;
        return execute();
    }
    const LocateOutcome outcome =
        runSearch(SearchField, m_lastValue, false, CaseSensitive, MatchType);
    if (outcome == LocateOutcome::NotFound && ShowMessages)
        m_context.prompter.message(
            box(QStringLiteral("Information"), kLocateNoMoreMatchesMessage, MsgIcon::Information));
    return outcome == LocateOutcome::Found;
}
