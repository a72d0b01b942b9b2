#pragma once

#include "reports/report_definition.h"
#include "ui/window_services.h"

#include <QDialog>

#include <array>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct ColorSet;
struct WindowContext;

// "Report Definition": name, width, fonts, titles, the miscellaneous switches and margins of
// one report definition, edited in place; the layout window edits its lines. Only Update and
// Delete touch TWKINV.URP.
class TUserReport : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { Cancelled, Saved, Deleted };

    // `record` is the definition's place in the file, or nullopt for a new definition.
    // `captions` are the field display names of the open database.
    TUserReport(ReportDefinition& definition, QString programDir, std::optional<int> record,
                const std::array<QString, 22>& captions, const ColorSet& colors,
                WindowContext& context, QWidget* parent = nullptr);

    Outcome outcome() const { return m_outcome; }
    // The record Update wrote.
    int savedRecord() const { return m_savedRecord; }

    void ReportNameExit();
    void NumLinesExit();
    void Level1GroupClick();
    void CharsClick(int chars);
    void SetFontsClick();
    void SpecifyButtonClick();
    void UpdateButtonClick();
    void DeleteButtonClick();

    QLineEdit* lineEdit(const char* name) const;
    QCheckBox* checkBox(const char* name) const;
    QRadioButton* radioButton(const char* name) const;
    QPushButton* button(const char* name) const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillControls();
    void showFontDescriptions();
    void followNumLines();
    void storeNumLines();
    std::optional<int> checkNumLines();
    int radioChars() const;
    QRadioButton* charsRadio(int chars) const;

    ReportDefinition& m_def;
    QString m_programDir;
    std::optional<int> m_record;
    QString m_openingName;
    std::array<QString, 22> m_captions;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    Outcome m_outcome = Outcome::Cancelled;
    int m_savedRecord = -1;
    std::array<QLineEdit*, 4> m_fontBoxes{};
    std::array<QLineEdit*, 4> m_margins{}; // top, bottom, left, right
};

// "Report Fonts": the title, column header, body and footnote fonts of the definition.
class TReportFonts : public QDialog {
    Q_OBJECT
public:
    TReportFonts(ReportDefinition& definition, const ColorSet& colors, WindowContext& context,
                 QWidget* parent = nullptr);

    // Role is TitleFont, HeaderFont, BodyFont or FootnoteFont.
    void NewFontClick(ReportFontRole role);
    QLineEdit* fontBox(ReportFontRole role) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportDefinition& m_def;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
};
