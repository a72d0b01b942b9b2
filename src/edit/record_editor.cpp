#include "edit/record_editor.h"
#include "ui/window_services.h"

#include "ui/busy_cursor.h"

#include "appearance/set_colors.h"
#include "dbase/database_error.h"
#include "items/item_schema.h"
#include "session/inventory_session.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTabWidget>

namespace {
using C = EditorControl;
namespace f = item_field;

// Design layout at 640 x 480: a 632 x 404 client area under the menu bar.
constexpr int kMenuHeight = 24;
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 404 + kMenuHeight;
constexpr int kDesignPointSize = 9;

constexpr int kLabelX = 10;
constexpr int kLabelWidth = 118;
constexpr int kBoxX = 132;
constexpr int kRowHeight = 24;

const QString kEditCaption = QStringLiteral("Edit");
const QString kNewRecordCaption = QStringLiteral("Edit (New Record)");
const QString kCopiedRecordCaption = QStringLiteral("Edit (New Copied Record)");
const QString kExitQuestion =
    QStringLiteral("Data has changed.  Do you want to exit without updating?");
const QString kNewQuestion =
    QStringLiteral("Data has changed.  Update this record before creating new one?");
const QString kCopyQuestion = QStringLiteral(
    "Data has changed.  Update this record before creating new one with the current data?");
const QString kHelpKeyword = QStringLiteral("Input Window");

QString moveQuestion(bool notUpdatedYet, bool forward) {
    return (notUpdatedYet ? QStringLiteral("This record has not been updated yet.  ")
                          : QStringLiteral("Data has changed.  ")) +
           QStringLiteral("Update this record before moving to the ") +
           (forward ? QStringLiteral("next") : QStringLiteral("previous")) +
           QStringLiteral(" record?");
}

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

// Box widths on the pages, by control.
int boxWidth(C c) {
    switch (c) {
    case C::Item:
    case C::Bought:
    case C::UserDef1:
    case C::UserDef2:
    case C::UserDef3:
    case C::UserDef4:
        return 330;
    case C::IDMarks:
    case C::Comments:
        return 470;
    case C::Location:
    case C::TheOwner:
    case C::WarNotes:
        return 260;
    case C::Quantity:
    case C::Value:
    case C::Cost:
    case C::RepCost:
        return 150;
    case C::WarDate:
    case C::PurchDate:
        return 96;
    default:
        return 200;
    }
}

// Row of each control on its page.
int boxTop(C c) {
    switch (c) {
    case C::Item:
    case C::Brand:
    case C::Model:
    case C::Serial:
    case C::IDMarks:
    case C::Comments:
    case C::Category:
    case C::Location:
    case C::TheOwner:
        return 10 + 32 * (int(c) - int(C::Item));
    case C::Quantity:
    case C::Value:
    case C::Cost:
    case C::RepCost:
        return 16 + 40 * (int(c) - int(C::Quantity));
    case C::Warranty:
        return 12;
    case C::WarDate:
    case C::WarNotes:
    case C::PurchDate:
    case C::Bought:
        return 48 + 36 * (int(c) - int(C::WarDate));
    default: // UserDef1-4
        return 16 + 40 * (int(c) - int(C::UserDef1));
    }
}

bool isEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

TMyEdit::TMyEdit(InventorySession& session, WindowContext& context, QWidget* parent)
    : QDialog(parent), m_session(session), m_context(context) {
    setWindowTitle(kEditCaption);
    // No minimise or maximise box.
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    createControls();
    createMenu();
    setHelpKeyword(this, kHelpKeyword);
    m_dateBox = dateBoxFormat(m_session.formats.current());
    applyDateMasks();
    refillLists();
    applyBrowseMode();

    SaveDimensions(this, m_design, m_context.prompter);
}

TMyEdit::~TMyEdit() = default;

void TMyEdit::createControls() {
    m_notebook = place(new QTabWidget(this), "MyTabbedNoteBook", 4, kMenuHeight + 4, 624, 340);
    static const char* const kPageTitles[4] = {"De&scription", "&Worth", "W&arranty", "&Other"};
    std::array<QWidget*, 4> pages{};
    for (int i = 0; i < 4; ++i) {
        pages[size_t(i)] = new QWidget(m_notebook);
        // The pages show the window's own background, like the labels on them.
        pages[size_t(i)]->setAutoFillBackground(true);
        m_notebook->addTab(pages[size_t(i)], QString::fromLatin1(kPageTitles[i]));
    }

    for (const EditorControlInfo& info : editorControls()) {
        QWidget* page = pages[size_t(info.page)];
        const int top = boxTop(info.control);
        QWidget* box = nullptr;
        switch (info.kind) {
        case EditorControlKind::Edit:
        case EditorControlKind::Date: {
            auto* edit = new QLineEdit(page);
            // The limit is for typing: a formatted amount may be longer than what is typed.
            if (info.kind == EditorControlKind::Edit && info.maxLength > 0)
                setTypingLimit(edit, info.maxLength);
            box = edit;
            m_controlOf.insert(edit, info.control);
            break;
        }
        case EditorControlKind::Combo: {
            auto* combo = new QComboBox(page);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            // What is typed is stored exactly as typed; completing from the list would change
            // it behind the user's back.
            combo->setCompleter(nullptr);
            combo->setMaxVisibleItems(12);
            setTypingLimit(combo, info.maxLength);
            box = combo;
            m_controlOf.insert(combo, info.control);
            m_controlOf.insert(combo->lineEdit(), info.control);
            break;
        }
        case EditorControlKind::Check:
            m_warranty = new QCheckBox(QString::fromLatin1(info.designCaption), page);
            box = m_warranty;
            m_controlOf.insert(m_warranty, info.control);
            break;
        }
        if (info.kind == EditorControlKind::Check) {
            place(box, info.name, kLabelX, top, 240, 22);
        } else {
            place(new QLabel(QString::fromLatin1(info.designCaption), page), info.labelName,
                  kLabelX, top + 3, kLabelWidth, 18);
            place(box, info.name, kBoxX, top, boxWidth(info.control), kRowHeight);
        }
        m_controls[size_t(info.control)] = box;
    }

    const auto blankButton = [this](QWidget* page, const char* name, C dateBox,
                                    void (TMyEdit::*handler)()) {
        auto* b = place(new QPushButton(QStringLiteral("Blank Date"), page), name, 236,
                        boxTop(dateBox), 90, kRowHeight);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
    };
    blankButton(pages[2], "BlankWarDate", C::WarDate, &TMyEdit::BlankWarDateClick);
    blankButton(pages[2], "BlankPurchDate", C::PurchDate, &TMyEdit::BlankPurchDateClick);

    // Page 1: the totals beside the amounts.
    m_totLabel = place(new QLabel(QStringLiteral("Totals"), pages[1]), "TotLabel", 320,
                       boxTop(C::Quantity) + 3, 180, 18);
    m_totLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    markHeading(m_totLabel, Heading::Major);
    const auto totalLabel = [&](const char* name, C beside) {
        auto* l = place(new QLabel(pages[1]), name, 320, boxTop(beside) + 3, 180, 18);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    m_totValue = totalLabel("TotValueLabel", C::Value);
    m_totCost = totalLabel("TotCostLabel", C::Cost);
    m_totRepCost = totalLabel("TotRepCostLabel", C::RepCost);

    static const char* const kCaptionNames[3] = {"WorthItem", "WarrantyItem", "OtherItem"};
    for (int i = 0; i < 3; ++i)
        m_itemCaptions[size_t(i)] =
            place(new QLabel(pages[size_t(i + 1)]), kCaptionNames[i], kLabelX, 274, 600, 18);

    // Every label but the "Totals" heading is a minor title.
    for (QLabel* l : findChildren<QLabel*>())
        if (l != m_totLabel)
            markHeading(l, Heading::Minor);

    // The bottom row.
    const auto bottomButton = [this](const char* name, const QString& caption, int x, int width,
                                     void (TMyEdit::*handler)()) {
        auto* b = place(new QPushButton(caption, this), name, x, kMenuHeight + 358, width, 28);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    bottomButton("UpdateExitButton", QStringLiteral("&Update && Exit"), 8, 112,
                 &TMyEdit::DoUpdateAndExit);
    bottomButton("UpdateButton", QStringLiteral("Up&date"), 126, 84, &TMyEdit::DoAnUpdate);
    bottomButton("ClearButton", QStringLiteral("C&lear"), 216, 84, &TMyEdit::DoClear);
    bottomButton("CancelButton", QStringLiteral("E&xit"), 306, 84, &TMyEdit::DoExit);
    auto* bevel = place(new QFrame(this), "NavigationBevel", 400, kMenuHeight + 350, 224, 44);
    bevel->setProperty("bevel", true);
    bevel->setFrameShape(QFrame::Panel);
    bevel->setFrameShadow(QFrame::Raised);
    bottomButton("PrevButton", QStringLiteral("&Previous"), 412, 96, &TMyEdit::DoPrevious);
    bottomButton("NextButton", QStringLiteral("&Next"), 516, 96, &TMyEdit::DoNext);

    // Tab moves through each page in the Enter key's order.
    QWidget* previous = nullptr;
    for (const EditorControlInfo& info : editorControls()) {
        QWidget* w = m_controls[size_t(info.control)];
        if (previous && previous->parentWidget() == w->parentWidget())
            setTabOrder(previous, w);
        previous = w;
    }

    // The window sees keys and focus changes before its controls do.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

QAction* TMyEdit::addCommand(QMenu* menu, const char* name, const QString& caption,
                             const QKeySequence& shortcut, void (TMyEdit::*handler)()) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(shortcut);
    a->setShortcutContext(Qt::WindowShortcut);
    if (handler)
        connect(a, &QAction::triggered, this, handler);
    addAction(a); // the shortcut works whether or not the menu was ever opened
    m_actions.insert(QString::fromLatin1(name), a);
    return a;
}

void TMyEdit::createMenu() {
    m_menuBar = new QMenuBar(this);
    m_menuBar->setGeometry(0, 0, kClientWidth, kMenuHeight);
    const auto ctrl = [](Qt::Key key) { return QKeySequence(Qt::CTRL | key); };

    QMenu* file = m_menuBar->addMenu(QStringLiteral("&File"));
    addCommand(file, "MenuNew", QStringLiteral("N&ew Record"), ctrl(Qt::Key_E),
               &TMyEdit::MenuNewClick);
    addCommand(file, "MenuCopyRecord", QStringLiteral("Cop&y Record"), ctrl(Qt::Key_Y),
               &TMyEdit::MenuCopyRecordClick);
    addCommand(file, "MenuClear", QStringLiteral("&Clear Record"), ctrl(Qt::Key_L),
               &TMyEdit::DoClear);
    addCommand(file, "MenuUpdate", QStringLiteral("Up&date Record"), ctrl(Qt::Key_R),
               &TMyEdit::DoAnUpdate);
    addCommand(file, "MenuUpdateExit", QStringLiteral("&Update && Exit"), ctrl(Qt::Key_U),
               &TMyEdit::DoUpdateAndExit);
    addCommand(file, "MenuPrintRecord", QStringLiteral("Prin&t Record"), ctrl(Qt::Key_T),
               &TMyEdit::MenuPrintRecordClick);
    file->addSeparator();
    addCommand(file, "MenuPrevious", QStringLiteral("&Previous Record"), ctrl(Qt::Key_P),
               &TMyEdit::DoPrevious);
    addCommand(file, "MenuNext", QStringLiteral("&Next Record"), ctrl(Qt::Key_N), &TMyEdit::DoNext);
    file->addSeparator();
    addCommand(file, "MenuExit", QStringLiteral("E&xit"), {}, &TMyEdit::DoExit);

    QMenu* edit = m_menuBar->addMenu(QStringLiteral("&Edit"));
    QAction* cut = addCommand(edit, "MenuCut", QStringLiteral("Cu&t"), ctrl(Qt::Key_X), nullptr);
    QAction* copy = addCommand(edit, "MenuCopy", QStringLiteral("&Copy"), ctrl(Qt::Key_C), nullptr);
    QAction* paste =
        addCommand(edit, "MenuPaste", QStringLiteral("&Paste"), ctrl(Qt::Key_V), nullptr);
    QAction* del =
        addCommand(edit, "MenuDelete", QStringLiteral("&Delete"), ctrl(Qt::Key_D), nullptr);
    connect(cut, &QAction::triggered, this, [this] { editSelection(SelectionEdit::Cut); });
    connect(copy, &QAction::triggered, this, [this] { editSelection(SelectionEdit::Copy); });
    connect(paste, &QAction::triggered, this, [this] { editSelection(SelectionEdit::Paste); });
    connect(del, &QAction::triggered, this, [this] { editSelection(SelectionEdit::Delete); });

    QMenu* help = m_menuBar->addMenu(QStringLiteral("&Help"));
    addCommand(help, "MenuHelp", QStringLiteral("&Help"), ctrl(Qt::Key_H), &TMyEdit::MenuHelpClick);
}

void TMyEdit::editSelection(SelectionEdit operation) {
    const auto c = focusedControl();
    QLineEdit* edit = c ? lineEdit(*c) : nullptr;
    if (!edit)
        return;
    switch (operation) {
    case SelectionEdit::Cut:
        edit->cut();
        break;
    case SelectionEdit::Copy:
        edit->copy();
        break;
    case SelectionEdit::Paste:
        edit->paste();
        break;
    case SelectionEdit::Delete:
        // The selection only, never the character at the cursor.
        if (edit->hasSelectedText())
            edit->del();
        break;
    }
}

void TMyEdit::applyBrowseMode() {
    const bool enabled = !m_session.browseMode;
    for (const char* name : {"MenuNew", "MenuClear", "MenuUpdate", "MenuUpdateExit", "MenuCut",
                             "MenuCopy", "MenuPaste", "MenuDelete"})
        m_actions.value(QString::fromLatin1(name))->setEnabled(enabled);
    for (const char* name : {"UpdateExitButton", "UpdateButton", "ClearButton"})
        button(QString::fromLatin1(name))->setEnabled(enabled);
}

void TMyEdit::applyDisplayNames() {
    const auto& names = m_session.db.fieldNames;
    for (const EditorControlInfo& info : editorControls()) {
        const QString& name = names[size_t(info.fieldNumber - 1)];
        if (info.kind == EditorControlKind::Check)
            m_warranty->setText(name);
        else
            label(QString::fromLatin1(info.labelName))->setText(name);
    }
}

void TMyEdit::applyDateMasks() {
    for (C c : {C::WarDate, C::PurchDate}) {
        QLineEdit* edit = lineEdit(c);
        if (edit->inputMask() != m_dateBox.inputMask)
            edit->setInputMask(m_dateBox.inputMask);
    }
}

void TMyEdit::refillLists() {
    for (const EditorControlInfo& info : editorControls()) {
        if (info.lookupList == 0)
            continue;
        QComboBox* box = combo(info.control);
        const QStringList& entries = m_session.lists.editorList(info.lookupList);
        bool same = box->count() == entries.size();
        for (int i = 0; same && i < box->count(); ++i)
            same = box->itemText(i) == entries[i];
        if (same)
            continue;
        const QString text = box->currentText();
        box->clear();
        box->addItems(entries);
        box->setCurrentIndex(-1);
        setBoxText(box->lineEdit(), text);
    }
}

// ---------------------------------------------------------------------------------------

int TMyEdit::showModal(EditorMode mode) {
    setEditorMode(mode);
    return exec();
}

void TMyEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TMyEdit::FormShow() {
    ApplyUserFonts(this, m_context.fonts);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    if (y() > 10)
        QWidget::move(x(), y() - 10);
    m_menuBar->setGeometry(0, 0, width(), scaled(kMenuHeight, m_context.scaleFactor));
    // The menu keeps the desktop's colours whatever the window's colour set; a black window
    // background would otherwise hide its black text.
    QPalette desktop = QApplication::palette(m_menuBar);
    desktop.setResolveMask(~QPalette::ResolveMask(0)); // every role its own, none inherited
    m_menuBar->setPalette(desktop);
    m_menuBar->setAutoFillBackground(true);
    QFont menuFont = QApplication::font(m_menuBar);
    menuFont.setPointSizeF(menuFont.pointSizeF() * scalePercent(m_context.scaleFactor) / 100.0);
    m_menuBar->setFont(menuFont);
    // The heading stays bold whatever the user's label font.
    QFont bold = m_totLabel->font();
    bold.setBold(true);
    m_totLabel->setFont(bold);

    applyDisplayNames();
    m_notebook->setCurrentIndex(0);
    SetColors(this, m_session.db.colors(WindowKind::Edit));

    // The date format and the lists may have changed since the last opening.
    m_dateBox = dateBoxFormat(m_session.formats.current());
    applyDateMasks();
    refillLists();
    applyBrowseMode();

    try {
        // New starts from the record current at opening, for Previous and Next.
        m_recNo = m_session.items.table().recordNumber();
        if (m_mode == EditorMode::Edit || m_mode == EditorMode::Copy)
            LoadInData();
        else
            DoClear();
    } catch (const dbase::DatabaseError& e) {
        DoClear();
        showDatabaseError(e);
    }
    takeSnapshot();
    focusControl(C::Item);
}

void TMyEdit::takeSnapshot() {
    m_snapshot.take(values());
    setWindowTitle(kEditCaption);
}

void TMyEdit::LoadInData() {
    m_recNo = m_session.items.table().recordNumber();
    setValues(loadEditorValues(m_session.items, m_dateBox, m_session.numbers));
    updateItemCaptions();
    CalcTotals();
}

void TMyEdit::DoClear() {
    setValues(clearedEditorValues(m_dateBox));
    updateItemCaptions();
    CalcTotals();
}

bool TMyEdit::ValuesChanged() const {
    return m_snapshot.changed(values());
}

bool TMyEdit::DoUpdate() {
    if (m_session.browseMode)
        return false; // browse mode never writes, whichever way an update was asked for
    const EditorValues v = values();
    const auto checked = checkEntry(v, m_session.formats.current(), m_session.numbers,
                                    m_session.items, QDate::currentDate());
    if (const auto* problem = std::get_if<EntryProblem>(&checked)) {
        m_context.prompter.error(problem->message);
        focusControl(problem->focus);
        return false;
    }
    try {
        m_recNo = writeEntry(m_session.items, m_mode, m_recNo, v, std::get<CheckedEntry>(checked));
    } catch (const EntryRefused& e) {
        showDatabaseError(e);
        if (e.control())
            focusControl(*e.control());
        return false;
    } catch (const dbase::DatabaseError& e) {
        showDatabaseError(e);
        return false;
    }
    // Only a record that was really written turns the editor to that record (after a failed
    // insert the next update must not overwrite another one), and only what was stored is
    // worth remembering in the lists.
    m_mode = EditorMode::Edit;
    learnListValues(m_session.lists, v);
    refillLists();
    return true;
}

void TMyEdit::DoAnUpdate() {
    if (DoUpdate())
        takeSnapshot();
}

void TMyEdit::DoUpdateAndExit() {
    if (DoUpdate())
        accept();
}

void TMyEdit::DoExit() {
    if (!m_session.browseMode && ValuesChanged() && !m_context.prompter.warn(kExitQuestion))
        return;
    reject();
}

void TMyEdit::done(int result) {
    // Whichever way the window closes, the lists it learnt are kept.
    if (!m_session.items.paths().base.isEmpty())
        m_session.lists.saveDatabaseLists(m_session.items.paths().base);
    // The viewer selects the record the editor was on (or its neighbour when the search no
    // longer shows it).
    if (m_recNo != 0 && m_session.items.isOpen()) {
        try {
            m_session.items.table().gotoBookmark({m_recNo});
        } catch (const dbase::DatabaseError&) {
            // Gone meanwhile: the viewer keeps its own row.
        }
    }
    QDialog::done(result);
}

bool TMyEdit::askBeforeLeaving(const QString& question) {
    m_context.prompter.beep();
    const MsgButton answer = m_context.prompter.message(
        {QStringLiteral("Warning"), question, MsgIcon::Warning,
         MsgButton::Yes | MsgButton::No | static_cast<unsigned>(MsgButton::Cancel), MsgButton::No});
    if (answer == MsgButton::Yes)
        return DoUpdate();
    return answer == MsgButton::No;
}

void TMyEdit::moveToRecord(bool forward) {
    if (!m_session.browseMode) {
        const bool unsaved = m_mode == EditorMode::New || m_mode == EditorMode::Copy;
        if ((unsaved || ValuesChanged()) && !askBeforeLeaving(moveQuestion(unsaved, forward)))
            return;
    }
    bool empty = false;
    try {
        dbase::Table& table = m_session.items.table();
        // From the editor's own record, wherever the viewer left the cursor; when that record
        // is gone, from wherever the table is.
        if (m_recNo != 0)
            m_session.items.goToRecord(m_recNo);
        if (forward)
            table.next();
        else
            table.prior();
        empty = table.isEmpty();
        if (!empty)
            LoadInData();
    } catch (const dbase::DatabaseError& e) {
        showDatabaseError(e);
        return;
    }
    if (empty) {
        // No record to move to: stay on a new, empty one rather than edit a record that is
        // not there.
        DoClear();
        takeSnapshot();
        m_mode = EditorMode::New;
        return;
    }
    takeSnapshot();
    m_mode = EditorMode::Edit;
}

void TMyEdit::DoPrevious() {
    moveToRecord(false);
}

void TMyEdit::DoNext() {
    moveToRecord(true);
}

void TMyEdit::MenuNewClick() {
    if (m_session.browseMode)
        return;
    if (ValuesChanged() && !askBeforeLeaving(kNewQuestion))
        return;
    DoClear();
    m_mode = EditorMode::New;
    takeSnapshot();
    setWindowTitle(kNewRecordCaption);
    focusControl(C::Item); // a new item starts with its name, wherever the last one ended
}

void TMyEdit::MenuCopyRecordClick() {
    // Browse mode cannot update, so there is nothing to ask.
    if (!m_session.browseMode && ValuesChanged() && !askBeforeLeaving(kCopyQuestion))
        return;
    m_mode = EditorMode::New;
    takeSnapshot();
    setWindowTitle(kCopiedRecordCaption);
}

void TMyEdit::MenuPrintRecordClick() {
    Prompter& prompter = m_context.prompter;
    if (PrintJobGuard::active()) {
        prompter.error(kPrintJobBusyMessage);
        return;
    }
    PrintRequest request;
    request.copies = 1;
    if (!prompter.print(request))
        return;

    PrintJobGuard job;
    QString failure;
    {
        BusyCursor busy;
        QPrinter printer(QPrinter::HighResolution);
        if (!request.outputFileName.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(request.outputFileName);
        } else if (!request.printerName.isEmpty()) {
            printer.setPrinterName(request.printerName);
        }
        printer.setDocName(kPrintJobTitle);
        printer.setCreator(kPrintJobTitle);
        // Each copy is painted on a page of its own.
        printer.setCopyCount(1);
        QPainter painter;
        if (!painter.begin(&printer)) {
            failure = request.outputFileName.isEmpty()
                          ? QStringLiteral("The printer %1 could not be opened.")
                                .arg(printer.printerName())
                          : QStringLiteral("The file %1 could not be written.")
                                .arg(request.outputFileName);
        } else {
            paintRecordCopies(painter, printRecordLines(values(), m_session.db.fieldNames),
                              std::max(1, request.copies),
                              [&printer] { return printer.newPage(); });
            painter.end();
        }
    }
    if (!failure.isEmpty())
        prompter.error(failure);
}

void TMyEdit::MenuHelpClick() {
    openHelp(kHelpKeyword, this);
}

void TMyEdit::BlankWarDateClick() {
    lineEdit(C::WarDate)->setText(QString());
}

void TMyEdit::BlankPurchDateClick() {
    lineEdit(C::PurchDate)->setText(QString());
}

// ---------------------------------------------------------------------------------------

void TMyEdit::updateItemCaptions() {
    const QString line = itemCaptionLine(m_session.db.fieldNames[size_t(item_field::Item - 1)],
                                         controlText(C::Item));
    for (QLabel* l : m_itemCaptions)
        l->setText(line);
}

void TMyEdit::ItemExit() {
    updateItemCaptions();
}

void TMyEdit::CostExit() {
    setControlText(C::Cost, leftMoneyBox(controlText(C::Cost), m_session.numbers, fits(f::Cost)));
    CalcTotals();
}

void TMyEdit::ValueExit() {
    setControlText(C::Value,
                   leftMoneyBox(controlText(C::Value), m_session.numbers, fits(f::Value)));
    CalcTotals();
}

void TMyEdit::RepCostExit() {
    setControlText(C::RepCost,
                   leftMoneyBox(controlText(C::RepCost), m_session.numbers, fits(f::RepCost)));
    CalcTotals();
}

void TMyEdit::QuantityExit() {
    setControlText(C::Quantity,
                   leftQuantityBox(controlText(C::Quantity), m_session.numbers, fits(f::Quantity)));
    CalcTotals();
}

std::function<bool(double)> TMyEdit::fits(int fieldNumber) const {
    return [this, fieldNumber](double value) {
        return fitsNumberField(m_session.items, fieldNumber, value);
    };
}

void TMyEdit::CalcTotals() {
    const EditorTotals totals = computeTotals(values(), m_session.numbers);
    m_totCost->setText(totals.cost);
    m_totRepCost->setText(totals.repCost);
    m_totValue->setText(totals.value);
}

// ---------------------------------------------------------------------------------------

QLineEdit* TMyEdit::lineEdit(EditorControl c) const {
    QWidget* w = control(c);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit;
    if (auto* box = qobject_cast<QComboBox*>(w))
        return box->lineEdit();
    return nullptr;
}

QComboBox* TMyEdit::combo(EditorControl c) const {
    return qobject_cast<QComboBox*>(control(c));
}

QLabel* TMyEdit::label(const QString& name) const {
    return findChild<QLabel*>(name);
}

QPushButton* TMyEdit::button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

QAction* TMyEdit::action(const QString& name) const {
    return m_actions.value(name);
}

QString TMyEdit::controlText(EditorControl c) const {
    const EditorControlInfo& info = editorControlInfo(c);
    switch (info.kind) {
    case EditorControlKind::Check:
        return m_warranty->isChecked() ? QStringLiteral("Yes") : QStringLiteral("No");
    case EditorControlKind::Date: {
        // The raw text: what the mask shows, with its blanks read as spaces.
        QString raw = lineEdit(c)->displayText();
        raw.replace(QLatin1Char('_'), QLatin1Char(' '));
        return raw;
    }
    default:
        return lineEdit(c)->text();
    }
}

void TMyEdit::setControlText(EditorControl c, const QString& text) {
    const EditorControlInfo& info = editorControlInfo(c);
    switch (info.kind) {
    case EditorControlKind::Check:
        m_warranty->setChecked(text == QLatin1String("Yes"));
        break;
    case EditorControlKind::Date:
        lineEdit(c)->setText(isBlankDateText(text) ? QString() : trimSpaces(text));
        break;
    case EditorControlKind::Combo: {
        QComboBox* box = combo(c);
        box->setCurrentIndex(-1);
        setBoxText(box->lineEdit(), text);
        break;
    }
    case EditorControlKind::Edit:
        setBoxText(lineEdit(c), text);
        break;
    }
}

EditorValues TMyEdit::values() const {
    EditorValues v;
    for (const EditorControlInfo& info : editorControls()) {
        if (info.kind == EditorControlKind::Check)
            v.warranty = m_warranty->isChecked();
        else
            v[info.control] = controlText(info.control);
    }
    return v;
}

void TMyEdit::setValues(const EditorValues& v) {
    for (const EditorControlInfo& info : editorControls()) {
        if (info.kind == EditorControlKind::Check)
            m_warranty->setChecked(v.warranty);
        else
            setControlText(info.control, v[info.control]);
    }
}

void TMyEdit::focusControl(EditorControl c) {
    m_notebook->setCurrentIndex(editorControlInfo(c).page);
    control(c)->setFocus(Qt::OtherFocusReason);
    // Arriving in a box selects its text, so typing replaces it (and fills a date mask from
    // its first place).
    if (QLineEdit* edit = lineEdit(c))
        edit->selectAll();
}

std::optional<EditorControl> TMyEdit::focusedControl() const {
    for (QWidget* w = focusWidget(); w && w != this; w = w->parentWidget()) {
        const auto it = m_controlOf.constFind(w);
        if (it != m_controlOf.cend())
            return *it;
    }
    return std::nullopt;
}

void TMyEdit::showDatabaseError(const std::exception& error) {
    m_context.prompter.error(QString::fromStdString(error.what()));
}

// ---------------------------------------------------------------------------------------

void TMyEdit::keyPressEvent(QKeyEvent* event) {
    if (isEnterKey(event)) {
        event->accept(); // never a default button
        return;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        DoExit(); // asks like the Exit button rather than dropping what was typed
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TMyEdit::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    // Drop-down lists open in windows of their own; they keep their keys.
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Line edits claim some control keys for themselves; the editor's commands come first.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const char* name :
             {"MenuNew", "MenuCopyRecord", "MenuClear", "MenuUpdate", "MenuUpdateExit",
              "MenuPrintRecord", "MenuPrevious", "MenuNext", "MenuDelete", "MenuHelp"})
            if (m_actions.value(QString::fromLatin1(name))->shortcut() == pressed)
                return true;
        break;
    }
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!isEnterKey(key))
            break;
        // Enter never reaches a control: along the chain it moves on, elsewhere it is dropped.
        if (const auto current = focusedControl())
            if (const auto next = nextInEnterChain(*current))
                focusControl(*next);
        return true;
    }
    case QEvent::FocusOut: {
        // Leaving a box for another control of this window; switching windows is no exit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        const auto it = m_controlOf.constFind(watched);
        if (it == m_controlOf.cend())
            break;
        switch (*it) {
        case C::Item:
        case C::UserDef1:
        case C::UserDef2:
        case C::UserDef3:
        case C::UserDef4:
            ItemExit();
            break;
        case C::Cost:
            CostExit();
            break;
        case C::Value:
            ValueExit();
            break;
        case C::RepCost:
            RepCostExit();
            break;
        case C::Quantity:
            QuantityExit();
            break;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
