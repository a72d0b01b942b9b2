#include "ui/qt_prompter.h"

#include "ui/font_color_dialog.h"
#include "ui/window_services.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {
QMessageBox::StandardButton toQt(MsgButton b) {
    switch (b) {
    case MsgButton::Ok:
        return QMessageBox::Ok;
    case MsgButton::Cancel:
        return QMessageBox::Cancel;
    case MsgButton::Yes:
        return QMessageBox::Yes;
    case MsgButton::No:
        return QMessageBox::No;
    case MsgButton::None:
        break;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon toQt(MsgIcon i) {
    switch (i) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

QWidget* QtPrompter::parentWidget() {
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    return QApplication::activeWindow();
}

MsgButton QtPrompter::message(const MessageRequest& request) {
    QMessageBox box(toQt(request.icon), request.caption, request.text, QMessageBox::NoButton,
                    parentWidget());
    for (MsgButton b : {MsgButton::Yes, MsgButton::No, MsgButton::Ok, MsgButton::Cancel})
        if (hasButton(request.buttons, b))
            box.addButton(toQt(b));
    if (request.defaultButton != MsgButton::None)
        box.setDefaultButton(toQt(request.defaultButton));
    const int r = box.exec();
    for (MsgButton b : {MsgButton::Yes, MsgButton::No, MsgButton::Ok, MsgButton::Cancel})
        if (r == toQt(b))
            return b;
    // The close box answers Cancel where offered, else the only button.
    if (hasButton(request.buttons, MsgButton::Cancel))
        return MsgButton::Cancel;
    if (hasButton(request.buttons, MsgButton::No))
        return MsgButton::No;
    return MsgButton::Ok;
}

void QtPrompter::beep() {
    QApplication::beep();
}

namespace {
std::optional<QString> runFileDialog(const FileDialogRequest& request, QWidget* parent, bool save) {
    QFileDialog dialog(parent, request.caption, request.directory,
                       request.filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(
        save ? QFileDialog::AnyFile
             : (request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}
} // namespace

std::optional<QString> QtPrompter::openFileName(const FileDialogRequest& request) {
    return runFileDialog(request, parentWidget(), false);
}

std::optional<QString> QtPrompter::saveFileName(const FileDialogRequest& request) {
    return runFileDialog(request, parentWidget(), true);
}

std::optional<QString> QtPrompter::directory(const QString& caption, const QString& start) {
    const QString d = QFileDialog::getExistingDirectory(parentWidget(), caption, start);
    if (d.isEmpty())
        return std::nullopt;
    return d;
}

std::optional<FontChoice> QtPrompter::font(const FontChoice& initial, const QString& caption) {
    if (initial.color) {
        FontColorDialog dialog(installedFont(initial.font), *initial.color, parentWidget());
        dialog.setWindowTitle(caption.isEmpty() ? QStringLiteral("Font") : caption);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return FontChoice{dialog.currentFont(), dialog.currentColor()};
    }
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, installedFont(initial.font), parentWidget(), caption);
    if (!ok)
        return std::nullopt;
    return FontChoice{f, std::nullopt};
}

std::optional<QColor> QtPrompter::color(const QColor& initial, const QString& caption) {
    const QColor c = QColorDialog::getColor(initial, parentWidget(), caption);
    if (!c.isValid())
        return std::nullopt;
    return c;
}

bool QtPrompter::print(PrintRequest& request) {
    QPrinter printer(QPrinter::HighResolution);
    if (!request.printerName.isEmpty())
        printer.setPrinterName(request.printerName);
    // With no printer installed Qt still offers printing to a PDF file.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setCopyCount(request.copies);
    QPrintDialog dialog(&printer, parentWidget());
    if (request.maxPage > 0) {
        dialog.setMinMax(1, request.maxPage);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    } else {
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    request.printerName = printer.printerName();
    request.outputFileName =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    request.copies = printer.copyCount();
    if (printer.printRange() == QPrinter::PageRange) {
        request.fromPage = printer.fromPage();
        request.toPage = printer.toPage();
    } else {
        request.fromPage = request.toPage = 0;
    }
    return true;
}
