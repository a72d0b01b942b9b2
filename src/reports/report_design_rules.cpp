#include "reports/report_design_rules.h"

#include "formats/value_format.h"
#include "items/item_schema.h"

#include <algorithm>
#include <cmath>

namespace {

// Besides the margins a page keeps the title band (down to 1.25 in) and the footer band with
// its gap (1.25 in above the bottom margin) free of the report body.
constexpr double kBandsBesideTheBody = 2.0;

// Design pixels of the layout window at a 640 x 480 screen.
constexpr int kLayoutLeft = 4;
constexpr int kLayoutRight = 629;
constexpr int kBodyTop = 75;
constexpr int kRowHeight = 20;
constexpr int kTotalsTop = 355;
constexpr int kTotalsBottom = 375;
constexpr int kLayoutPoints = 8;

int times(double s, int pixels) {
    return int(s * pixels); // truncated, as the layout has always been measured
}

QString inches(double value) {
    return QString::number(value, 'f', 2);
}

const char* marginName(MarginBox box) {
    switch (box) {
    case MarginBox::Top:
        return "Top";
    case MarginBox::Bottom:
        return "Bottom";
    case MarginBox::Left:
        return "Left";
    case MarginBox::Right:
        return "Right";
    }
    return "";
}

} // namespace

int bodyFontSizeForChars(int chars) {
    switch (chars) {
    case kWideChars:
        return 6;
    case kMediumChars:
        return 8;
    default:
        return 10;
    }
}

CharsSwitch charsSwitch(int from, int to) {
    CharsSwitch s;
    s.changes = from != to;
    if (!s.changes)
        return s;
    if (to == kNarrowChars && (from == kMediumChars || from == kWideChars))
        s.question = QStringLiteral(
            "Switching to 90 characters from 120 or 150 will truncate the current defined lines.  "
            "In addition, the font size will be reset to a 10 point as a default.  Are you sure "
            "you wish to do this?");
    if (to == kMediumChars && from == kWideChars)
        s.question = QStringLiteral(
            "Switching to 120 characters from 150 will truncate the current defined lines.  In "
            "addition, the font size will be reset to a 8 point as a default.  Are you sure you "
            "wish to do this?");
    if (to == kMediumChars)
        s.notice =
            QStringLiteral("The Report Body font size has been set to a 8 Point default size as.");
    if (to == kWideChars)
        s.notice = QStringLiteral(
            "The Report Body font size has been set to a 6 Point default size as a result of "
            "switching to 150 characters per line.");
    return s;
}

void switchChars(ReportDefinition& d, int to) {
    d.charsPerLine = to;
    const int lines = std::clamp(d.numLines, 0, kBodyLineCount);
    for (int k = 0; k < lines; ++k)
        normaliseLine(d.body[std::size_t(k)], to);
    d.fonts[BodyFont].size = bodyFontSizeForChars(to);
}

void normaliseLine(ReportLine& line, int chars) {
    int before = 0; // width of the parts before the one being looked at
    int last = kPartsPerLine - 1;
    for (int i = 0; i < kPartsPerLine; ++i) {
        ReportPart& part = line.parts[std::size_t(i)];
        if (part.width <= 0)
            part.width = chars;
        if (before + part.width >= chars || i == kPartsPerLine - 1) {
            last = i;
            break;
        }
        before += part.width;
    }
    // The last part takes what is left: cut back when the line ran over, widened when twenty
    // parts fell short.
    line.parts[std::size_t(last)].width = chars - before;
    for (int i = last + 1; i < kPartsPerLine; ++i)
        line.parts[std::size_t(i)].width = 0;
}

QString fontDescription(const ReportFont& font) {
    return font.face + QLatin1Char(' ') + QString::number(font.size) + QStringLiteral("pt");
}

QString marginText(double value) {
    return inches(value);
}

std::optional<int> readWholeNumber(const QString& text) {
    return parseIntegerText(trimSpaces(text));
}

std::optional<int> checkedNumLines(const QString& text) {
    const auto n = readWholeNumber(text);
    if (!n || *n < 0 || *n > kMaxLinesPerItem)
        return std::nullopt;
    return n;
}

MarginReading readMargins(const std::array<QString, 4>& texts, QSizeF page, bool landscape) {
    const MarginBox boxes[] = {MarginBox::Top, MarginBox::Bottom, MarginBox::Left,
                               MarginBox::Right};
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        QString text = trimSpaces(texts[i]);
        // ".5" is how many people write half an inch.
        if (text.startsWith(QLatin1Char('.')))
            text.prepend(QLatin1Char('0'));
        const auto v = parseFloatText(text);
        if (!v || *v < 0)
            return {std::nullopt,
                    MarginProblem{boxes[i],
                                  QStringLiteral("The %1 margin must be a number of inches, 0 or "
                                                 "more.  Please correct.")
                                      .arg(QLatin1String(marginName(boxes[i])))}};
        values[i] = *v;
    }
    const Margins m{values[0], values[1], values[2], values[3]};
    const QSizeF paper = landscape ? page.transposed() : page;
    if (m.left + m.right >= paper.width())
        return {std::nullopt,
                MarginProblem{MarginBox::Right,
                              QStringLiteral("The Left and Right margins leave no room for the "
                                             "report on a page %1 inches wide.  Please correct.")
                                  .arg(inches(paper.width()))}};
    if (m.top + m.bottom >= paper.height() - kBandsBesideTheBody)
        return {std::nullopt,
                MarginProblem{MarginBox::Bottom,
                              QStringLiteral("The Top and Bottom margins leave no room for the "
                                             "report body on a page %1 inches high.  Please "
                                             "correct.")
                                  .arg(inches(paper.height()))}};
    return {m, std::nullopt};
}

QStringList partFieldList(bool totalsLine, const std::array<QString, 22>& captions) {
    QStringList list;
    if (totalsLine) {
        for (const char* name : kTotalsFieldNames)
            list << QString::fromLatin1(name);
        return list;
    }
    for (const QString& caption : captions)
        list << caption;
    return list;
}

int partFieldIndex(const ReportPart& part, bool totalsLine) {
    return (totalsLine ? totalsFieldNumberOfName(part.kind) : itemFieldNumberOfName(part.kind)) - 1;
}

QString partCellText(const ReportPart& part, bool totalsLine,
                     const std::array<QString, 22>& captions) {
    switch (part.partKind()) {
    case PartKind::Filler:
        return QStringLiteral("Filler");
    case PartKind::Label:
        return part.label;
    case PartKind::Field:
        break;
    }
    if (totalsLine)
        return part.kind;
    const int index = partFieldIndex(part, false);
    return index >= 0 && !captions[std::size_t(index)].isEmpty() ? captions[std::size_t(index)]
                                                                 : part.kind;
}

std::optional<PartProblem> applyPartChoice(ReportLine& line, int index, bool totalsLine,
                                           const PartChoice& choice, int chars) {
    const auto width = readWholeNumber(choice.widthText);
    if (!width)
        return PartProblem{PartBox::Width, QStringLiteral("Error"), kInvalidWidthMessage};
    if (*width < 0)
        return PartProblem{PartBox::Width, QStringLiteral("Error"),
                           QStringLiteral("The Width cannot be less than 0.  A width of 0 fills "
                                          "the rest of the line.  Please correct.")};
    const int fields = totalsLine ? int(kTotalsFieldNames.size()) : kItemFieldCount;
    if (choice.kind == PartKind::Field && (choice.fieldIndex < 0 || choice.fieldIndex >= fields))
        return PartProblem{PartBox::Field, QStringLiteral("Error"),
                           QStringLiteral("No field has been selected.  Please choose one from "
                                          "the Fields list.")};

    ReportPart& part = line.parts[std::size_t(index)];
    part.width = *width;
    normaliseLine(line, chars);
    part.label.clear();
    switch (choice.kind) {
    case PartKind::Filler:
        part.kind = kFillerKind;
        part.fieldNumber = 0;
        break;
    case PartKind::Label:
        part.kind = kLabelKind;
        part.fieldNumber = 0;
        part.label = trimSpaces(choice.labelText).left(kLabelLength);
        break;
    case PartKind::Field:
        part.kind = totalsLine
                        ? QString::fromLatin1(kTotalsFieldNames[std::size_t(choice.fieldIndex)])
                        : itemField(choice.fieldIndex + 1)->qName();
        part.kind.truncate(kPartKindLength);
        part.fieldNumber = choice.fieldIndex + 1;
        break;
    }
    return std::nullopt;
}

LayoutGeometry::LayoutGeometry(double s)
    : left(times(s, kLayoutLeft)), right(times(s, kLayoutRight)), bodyTop(times(s, kBodyTop)),
      rowHeight(times(s, kRowHeight)), totalsTop(times(s, kTotalsTop)),
      totalsBottom(times(s, kTotalsBottom) + 1), fontPoints(times(s, kLayoutPoints)), scale(s) {}

int LayoutGeometry::bodyBottom(int lines) const {
    return bodyTop + int(scale * kRowHeight * lines) + 1;
}

std::vector<int> cellRightEdges(const ReportLine& line, int chars, const LayoutGeometry& g) {
    std::vector<int> edges;
    const int used = line.usedParts();
    const double perChar = chars > 0 ? double(g.width()) / chars : 0.0;
    int sum = 0;
    for (int i = 0; i < used; ++i) {
        sum += line.parts[std::size_t(i)].width;
        int edge = g.right;
        if (i + 1 < used)
            edge = std::min(g.right, g.left + int(perChar * sum));
        edges.push_back(edge);
    }
    return edges;
}

std::optional<LayoutHit> layoutHitTest(QPoint at, const ReportDefinition& d, int lines, int chars,
                                       const LayoutGeometry& g) {
    if (at.x() < g.left || at.x() > g.right)
        return std::nullopt;
    int line = -1;
    const int bodyLines = std::clamp(lines, 0, kBodyLineCount);
    if (bodyLines > 0 && at.y() >= g.bodyTop && at.y() <= g.bodyBottom(bodyLines))
        // The closing pixel row of the last line belongs to that line.
        line = std::min((at.y() - g.bodyTop) / std::max(1, g.rowHeight) + 1, bodyLines);
    else if (at.y() >= g.totalsTop && at.y() <= g.totalsBottom)
        line = kTotalsLineNumber;
    if (line < 0)
        return std::nullopt;
    const ReportLine& l = line == kTotalsLineNumber ? d.totals : d.body[std::size_t(line - 1)];
    const std::vector<int> edges = cellRightEdges(l, chars, g);
    for (std::size_t i = 0; i < edges.size(); ++i)
        if (edges[i] >= at.x())
            return LayoutHit{line, int(i) + 1};
    // A line with no used part at all is edited through its first part.
    return LayoutHit{line, 1};
}
