#include "reports/print_dialogs.h"

#include "appearance/set_colors.h"
#include "settings/settings.h"
#include "ui/designed_widgets.h"
#include "ui/help_window.h"
#include "ui/prompter.h"
#include "ui/window_context.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <algorithm>

namespace {

using ui::button;
using ui::edit;
using ui::helpOnF1;
using ui::label;

void showDesigned(QDialog* dialog, const DesignGeometry& design, const ColorSet& colors,
                  WindowContext& context) {
    RestoreAndScale(dialog, design, context.scaleFactor, context.screen);
    ApplyUserFonts(dialog, context.fonts);
    centreOnScreen(dialog, context.screen);
    SetColors(dialog, colors);
}
} // namespace

// --- Printer Selection ---------------------------------------------------------------------

TPrintSelect::TPrintSelect(ReportSettings& settings, const ColorSet& colors, WindowContext& context,
                           QWidget* parent)
    : QDialog(parent), m_settings(settings), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TPrintSelect"));
    setWindowTitle(QStringLiteral("Printer Selection"));
    prepareDesignDialog(this, QSize(321, 161), 8);

    m_default = new QRadioButton(QStringLiteral("Default Printer"), this);
    m_default->setObjectName(QStringLiteral("DefaultPrinter"));
    m_default->setGeometry(16, 12, 200, 20);
    m_other = new QRadioButton(QStringLiteral("Other Printer"), this);
    m_other->setObjectName(QStringLiteral("OtherPrinter"));
    m_other->setGeometry(16, 40, 200, 20);
    m_list = new QComboBox(this);
    m_list->setObjectName(QStringLiteral("PrinterList"));
    m_list->setGeometry(16, 68, 289, 24);
    // Picking a printer from the list means using it.
    connect(m_list, &QComboBox::activated, this, [this] { m_other->setChecked(true); });

    auto* ok = button(this, "OkButton", QStringLiteral("&Ok"), {72, 116, 81, 27});
    auto* cancel = button(this, "CancelButton", QStringLiteral("&Cancel"), {168, 116, 81, 27});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { OkButtonClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    helpOnF1(this, windowTitle());
    SaveDimensions(this, m_design, m_context.prompter);
}

void TPrintSelect::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    (m_settings.defaultPrinter ? m_default : m_other)->setChecked(true);
    m_list->clear();
    m_list->addItems(installedPrinters());
    m_list->setCurrentIndex(m_settings.printerIndex >= 0 &&
                                    m_settings.printerIndex < m_list->count()
                                ? m_settings.printerIndex
                                : -1);
    QDialog::showEvent(event);
}

void TPrintSelect::OkButtonClick() {
    m_settings.defaultPrinter = m_default->isChecked();
    m_settings.printerIndex = m_list->currentIndex();
    accept();
}

PrinterChoice TPrintSelect::choice() {
    PrinterChoice c{m_settings.defaultPrinter, m_settings.printerIndex};
    if (c.useDefault)
        return c;
    const QStringList printers = installedPrinters();
    if (c.index >= 0 && c.index < printers.size())
        return c;
    // The printer chosen earlier has been removed (or none was picked): use the default one
    // rather than print nowhere, and keep that as the choice.
    if (!printers.isEmpty())
        m_context.prompter.message(
            {QStringLiteral("Printer Selection"),
             QStringLiteral("The printer chosen in Printer Setup is no longer installed.  The "
                            "default printer is used instead."),
             MsgIcon::Warning, static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    m_settings.defaultPrinter = true;
    m_settings.printerIndex = 0;
    return {true, 0};
}

PrinterChoice TPrintSelect::storedChoice(const ReportSettings& settings) {
    if (settings.defaultPrinter || settings.printerIndex < 0 ||
        settings.printerIndex >= installedPrinters().size())
        return {true, 0};
    return {false, settings.printerIndex};
}

// --- Page Printing -------------------------------------------------------------------------

TPrintRange::TPrintRange(int pageCount, const ColorSet& colors, WindowContext& context,
                         QWidget* parent)
    : QDialog(parent), m_pageCount(pageCount), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TPrintRange"));
    setWindowTitle(QStringLiteral("Page Printing"));
    prepareDesignDialog(this, QSize(241, 129), 8);
    // Three digits, or as many as the last page number has: a report of a thousand pages
    // or more must not show its last page cut short, nor refuse it being typed.
    const int digits = std::max(3, int(QString::number(pageCount).size()));
    // The captions are painted in the title colour, as on every dialog, so that they stay
    // readable on a dark background.
    markHeading(label(this, "Label1", QStringLiteral("Starting Page"), {16, 16, 110, 20}),
                Heading::Minor);
    m_start = edit(this, "StartPage", digits, {136, 14, 57, 22});
    markHeading(label(this, "Label2", QStringLiteral("Ending Page"), {16, 48, 110, 20}),
                Heading::Minor);
    m_end = edit(this, "EndPage", digits, {136, 46, 57, 22});
    auto* print = button(this, "PrintButton", QStringLiteral("&Print"), {24, 88, 89, 27});
    auto* cancel = button(this, "CancelButton", QStringLiteral("&Cancel"), {128, 88, 89, 27});
    print->setDefault(true);
    connect(print, &QPushButton::clicked, this, [this] { PrintButtonClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    helpOnF1(this, windowTitle());
    SaveDimensions(this, m_design, m_context.prompter);
}

void TPrintRange::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    m_start->setText(QStringLiteral("1"));
    m_end->setText(QString::number(m_pageCount));
    m_requested = false;
    QDialog::showEvent(event);
}

void TPrintRange::PrintButtonClick() {
    // Text that is no whole number reads as 0, which no page has.
    const int first = m_start->text().trimmed().toInt();
    if (first <= 0 || first > m_pageCount) {
        m_context.prompter.error(
            QStringLiteral("Invalid Starting Page specified. Please correct."));
        m_start->setFocus();
        return;
    }
    const int last = m_end->text().trimmed().toInt();
    if (last < first || last > m_pageCount) {
        m_context.prompter.error(QStringLiteral("Invalid Ending Page specified.  Please correct."));
        m_end->setFocus();
        return;
    }
    m_requested = true;
    m_first = first;
    m_last = last;
    accept();
}

// --- Insurance Information -----------------------------------------------------------------

TMyInsurance::TMyInsurance(ReportSettings& settings, const ColorSet& colors, WindowContext& context,
                           QWidget* parent)
    : QDialog(parent), m_settings(settings), m_colors(colors), m_context(context) {
    setObjectName(QStringLiteral("TMyInsurance"));
    setWindowTitle(QStringLiteral("Insurance Information"));
    prepareDesignDialog(this, QSize(393, 257), 8);
    auto heading = [this](const char* name, const QString& text, int top) {
        QLabel* l = label(this, name, text, {16, top, 360, 18});
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        markHeading(l, Heading::Minor);
    };
    auto check = [this](const char* name, const QString& text, int top) {
        auto* c = new QCheckBox(text, this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(16, top, 360, 20);
        return c;
    };
    heading("Label1", QStringLiteral("Insurance Company"), 8);
    m_company = edit(this, "InsCo", 40, {16, 28, 361, 22});
    m_printCompany = check("PrintInsCo", QStringLiteral("Print On Report"), 52);
    heading("Label2", QStringLiteral("Policy Number"), 80);
    m_policy = edit(this, "PolNum", 20, {16, 100, 200, 22});
    m_printPolicy = check("PrintPolNum", QStringLiteral("Print On Report"), 124);
    heading("Label3", QStringLiteral("Your Name"), 152);
    m_name = edit(this, "YourName", 30, {16, 172, 280, 22});
    m_printStatement =
        check("PrintStatement", QStringLiteral("Print Insurance Inventory Statement"), 196);
    auto* ok = button(this, "Button1", QStringLiteral("&Ok"), {156, 224, 81, 27});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    helpOnF1(this, windowTitle());
    SaveDimensions(this, m_design, m_context.prompter);
}

void TMyInsurance::showEvent(QShowEvent* event) {
    showDesigned(this, m_design, m_colors, m_context);
    m_company->setText(m_settings.insuranceCompany);
    m_policy->setText(m_settings.policyNumber);
    m_name->setText(m_settings.yourName);
    m_printCompany->setChecked(m_settings.printInsuranceCompany);
    m_printPolicy->setChecked(m_settings.printPolicyNumber);
    m_printStatement->setChecked(m_settings.printStatement);
    QDialog::showEvent(event);
}

// Ok, the close box and Escape all end here, and all of them store.
void TMyInsurance::done(int result) {
    m_settings.insuranceCompany = m_company->text().left(40);
    m_settings.policyNumber = m_policy->text().left(20);
    m_settings.yourName = m_name->text().left(30);
    m_settings.printInsuranceCompany = m_printCompany->isChecked();
    m_settings.printPolicyNumber = m_printPolicy->isChecked();
    m_settings.printStatement = m_printStatement->isChecked();
    QDialog::done(result);
}
