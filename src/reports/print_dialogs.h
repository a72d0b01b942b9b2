#pragma once

#include "output/printer_sink.h"
#include "ui/window_services.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
struct ColorSet;
struct ReportSettings;
struct WindowContext;

// "Printer Selection": the default printer or one of the installed printers. The choice is
// kept in the settings as a flag and the printer's position in the installed list.
class TPrintSelect : public QDialog {
    Q_OBJECT
public:
    TPrintSelect(ReportSettings& settings, const ColorSet& colors, WindowContext& context,
                 QWidget* parent = nullptr);

    QRadioButton* defaultPrinter() const { return m_default; }
    QRadioButton* otherPrinter() const { return m_other; }
    QComboBox* printerList() const { return m_list; }

    // The choice a run hands to the printer. A chosen printer that is no longer installed
    // falls back to the default printer, and the user is told once.
    PrinterChoice choice();
    // The stored choice as it stands, the default printer for one no longer installed.
    static PrinterChoice storedChoice(const ReportSettings& settings);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OkButtonClick();

    ReportSettings& m_settings;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    QRadioButton* m_default = nullptr;
    QRadioButton* m_other = nullptr;
    QComboBox* m_list = nullptr;
};

// "Page Printing": the first and last page of a range to print.
class TPrintRange : public QDialog {
    Q_OBJECT
public:
    TPrintRange(int pageCount, const ColorSet& colors, WindowContext& context,
                QWidget* parent = nullptr);

    QLineEdit* startPage() const { return m_start; }
    QLineEdit* endPage() const { return m_end; }
    bool requested() const { return m_requested; }
    int first() const { return m_first; }
    int last() const { return m_last; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PrintButtonClick();

    int m_pageCount;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    bool m_requested = false;
    int m_first = 0;
    int m_last = 0;
};

// "Insurance Information": the details every report may print. Closing the dialog, by Ok or
// by the close box, always stores what the boxes hold.
class TMyInsurance : public QDialog {
    Q_OBJECT
public:
    TMyInsurance(ReportSettings& settings, const ColorSet& colors, WindowContext& context,
                 QWidget* parent = nullptr);

    QLineEdit* company() const { return m_company; }
    QLineEdit* policy() const { return m_policy; }
    QLineEdit* yourName() const { return m_name; }
    QCheckBox* printCompany() const { return m_printCompany; }
    QCheckBox* printPolicy() const { return m_printPolicy; }
    QCheckBox* printStatement() const { return m_printStatement; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportSettings& m_settings;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    QLineEdit* m_company = nullptr;
    QLineEdit* m_policy = nullptr;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_printCompany = nullptr;
    QCheckBox* m_printPolicy = nullptr;
    QCheckBox* m_printStatement = nullptr;
};
