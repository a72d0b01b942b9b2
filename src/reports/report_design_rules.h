#pragma once

#include "reports/report_definition.h"

#include <QPoint>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>
#include <vector>

// The rules the report designer applies to a definition, kept apart from its windows.

// --- Characters per line -------------------------------------------------------------------

inline constexpr int kNarrowChars = 90;
inline constexpr int kMediumChars = 120;
inline constexpr int kWideChars = 150;
inline constexpr int kMaxLinesPerItem = kBodyLineCount;

// The body font size a switch to this many characters per line sets: 10, 8 or 6 points.
int bodyFontSizeForChars(int chars);

// What switching the characters per line asks first and tells afterwards.
struct CharsSwitch {
    bool changes = false; // false when the definition has that width already
    QString question;     // empty: no question
    QString notice;       // empty: nothing to tell
};
CharsSwitch charsSwitch(int from, int to);

// The switch itself: body lines 1 to the number of lines are normalised to the new width and
// the body font takes the width's default size. Later body lines and the totals line stay as
// they are.
void switchChars(ReportDefinition& definition, int to);

// Makes the used widths of a line add up to exactly `chars`. Walking from part 1, a part of
// width 0 (or less: such a part ends a line) takes the whole width; the walk stops at the
// part where the sum reaches `chars`, or at part 20. That part is cut back, or widened, so the
// sum is exact, and every part after it becomes unused.
void normaliseLine(ReportLine& line, int chars);

// --- Texts of the definition window --------------------------------------------------------

// "Arial 8pt".
QString fontDescription(const ReportFont& font);
// Two decimals: 0.5 shows as "0.50".
QString marginText(double inches);
// The trimmed text as a whole number; nullopt when it is none.
std::optional<int> readWholeNumber(const QString& text);

inline const QString kNumLinesRangeMessage =
    QStringLiteral("Number of lines must be in range of 0 to 12.  Please correct.");
// The trimmed number-of-lines text when it is a whole number from 0 to 12.
std::optional<int> checkedNumLines(const QString& text);

// Margins are read as decimal inches and must leave room for the report on the page the
// report is laid out on. `page` is the portrait paper size in inches.
enum class MarginBox { Top, Bottom, Left, Right };
struct MarginProblem {
    MarginBox box;
    QString message;
};
struct Margins {
    double top = 0, bottom = 0, left = 0, right = 0;
};
// The four margins, or what is wrong with the first box to correct.
struct MarginReading {
    std::optional<Margins> margins;
    std::optional<MarginProblem> problem;
};
MarginReading readMargins(const std::array<QString, 4>& topBottomLeftRight, QSizeF page,
                          bool landscape);

// --- Report parts --------------------------------------------------------------------------

// The field lists a part chooses from: the item fields shown by their captions, or the four
// totals fields.
QStringList partFieldList(bool totalsLine, const std::array<QString, 22>& captions);
// Position (from 0) of the part's field in that list; -1 when the name is in neither list.
int partFieldIndex(const ReportPart& part, bool totalsLine);
// What the layout shows in a part's cell: a field's caption (the stored name when no caption
// matches) or totals name, the label text, or "Filler".
QString partCellText(const ReportPart& part, bool totalsLine,
                     const std::array<QString, 22>& captions);

// What the user chose in the part window.
struct PartChoice {
    PartKind kind = PartKind::Filler;
    QString widthText;
    int fieldIndex = -1; // position in the field list; -1 when nothing is selected
    QString labelText;
};
enum class PartBox { Width, Field };
struct PartProblem {
    PartBox box;
    QString caption;
    QString message;
};
inline const QString kInvalidWidthMessage =
    QStringLiteral("Invalid width entered.  Please correct.");
// Stores the choice into part `index` (from 0) of the line and normalises the line to
// `chars`. A width that is not a whole number, a negative width and a field part with no
// field chosen are refused, and the line is left as it was.
std::optional<PartProblem> applyPartChoice(ReportLine& line, int index, bool totalsLine,
                                           const PartChoice& choice, int chars);

// --- The drawn layout ----------------------------------------------------------------------

// Pixel geometry of the layout window at scale factor s: products of s are truncated.
struct LayoutGeometry {
    int left = 0;
    int right = 0;
    int bodyTop = 0;
    int rowHeight = 0;
    int totalsTop = 0;
    int totalsBottom = 0;
    int fontPoints = 0;
    double scale = 1.0;

    explicit LayoutGeometry(double s);
    int width() const { return right - left; }
    int bodyBottom(int lines) const;
};

// Line numbers the layout uses: 1 to 12 for body lines, this for the totals line.
inline constexpr int kTotalsLineNumber = 0;

// Right edge of each used part of a line, in order. The last used part (or part 20) reaches
// the layout's right edge; no edge lies beyond it.
std::vector<int> cellRightEdges(const ReportLine& line, int chars, const LayoutGeometry& g);

struct LayoutHit {
    int line = 0; // 1-12, or kTotalsLineNumber
    int part = 0; // from 1
    bool operator==(const LayoutHit&) const = default;
};
// The part under a pixel: body rows (1 to `lines`) and the totals row, which counts whether
// or not it is shown.
std::optional<LayoutHit> layoutHitTest(QPoint at, const ReportDefinition& definition, int lines,
                                       int chars, const LayoutGeometry& g);
