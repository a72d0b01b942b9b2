#pragma once

#include "reports/report_definition.h"
#include "reports/report_design_rules.h"
#include "ui/window_services.h"

#include <QDialog>

#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
struct ColorSet;
struct WindowContext;

// "Specify Report Layout": the body lines and the totals line drawn as rows of cells, one per
// part. A click on a cell opens the part window for it. The window works on a copy of the
// definition, which Ok hands back.
class TRepLayout : public QDialog {
    Q_OBJECT
public:
    // `chars` and `useTotals` are what the definition window shows at the moment.
    TRepLayout(const ReportDefinition& definition, const QString& reportName, int chars,
               bool useTotals, const std::array<QString, 22>& captions, const ColorSet& colors,
               WindowContext& context, QWidget* parent = nullptr);

    const ReportDefinition& definition() const { return m_copy; }
    LayoutGeometry geometry() const;
    // Opens the part window for a line (1-12, or kTotalsLineNumber) and part (from 1).
    void editPart(int line, int part);

    QLabel* bodyHeading() const { return m_bodyLabel; }
    QLabel* totalsHeading() const { return m_totalsLabel; }
    QLabel* reportNameLabel() const { return m_nameLabel; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void drawLine(QPainter& painter, const ReportLine& line, bool totalsLine, int top,
                  int bottom) const;
    std::optional<LayoutHit> hitAt(QPoint at) const;

    ReportDefinition m_copy;
    int m_chars;
    bool m_useTotals;
    std::array<QString, 22> m_captions;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_bodyLabel = nullptr;
    QLabel* m_totalsLabel = nullptr;
    std::optional<LayoutHit> m_pressed;
};

// "Select Report Part": what one part of a line prints (empty space, a label or a field) and
// how wide it is.
class TReportPart : public QDialog {
    Q_OBJECT
public:
    // `line` is 1-12 or kTotalsLineNumber, `part` from 1.
    TReportPart(const ReportLine& lineParts, int line, int part, int chars,
                const std::array<QString, 22>& captions, const ColorSet& colors,
                WindowContext& context, QWidget* parent = nullptr);

    // The line with the part as Ok stored it.
    const ReportLine& line() const { return m_line; }
    void OkButtonClick();

    QLabel* selPartLabel() const { return m_selPart; }
    QRadioButton* radioFiller() const { return m_filler; }
    QRadioButton* radioLabel() const { return m_label; }
    QRadioButton* radioField() const { return m_field; }
    QListWidget* fieldList() const { return m_fields; }
    QLineEdit* fieldWidth() const { return m_width; }
    QLineEdit* labelName() const { return m_labelName; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followKind();

    ReportLine m_line;
    int m_index;
    bool m_totals;
    int m_chars;
    const ColorSet& m_colors;
    WindowContext& m_context;
    DesignGeometry m_design;
    QLabel* m_selPart = nullptr;
    QRadioButton* m_filler = nullptr;
    QRadioButton* m_label = nullptr;
    QRadioButton* m_field = nullptr;
    QListWidget* m_fields = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_labelName = nullptr;
};
