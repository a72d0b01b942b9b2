#include "reports/report_design_rules.h"

#include "items/item_schema.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

ReportLine lineOf(std::initializer_list<int> widths) {
    ReportLine line;
    std::size_t i = 0;
    for (int w : widths)
        line.parts[i++].width = w;
    return line;
}

std::vector<int> widths(const ReportLine& line) {
    std::vector<int> w;
    for (const ReportPart& p : line.parts)
        w.push_back(p.width);
    while (!w.empty() && w.back() == 0)
        w.pop_back();
    return w;
}

PartChoice choose(PartKind kind, const char* width, int field = -1, const char* label = "") {
    return {kind, QString::fromLatin1(width), field, QString::fromLatin1(label)};
}

std::array<QString, 22> captions() {
    std::array<QString, 22> c;
    for (int n = 1; n <= kItemFieldCount; ++n)
        c[std::size_t(n - 1)] = itemField(n)->qLabel();
    return c;
}

} // namespace

TEST(ReportDesignRules, LinesAreNormalisedToExactlyTheLineWidth) {
    // A width of 0 typed for a part: it takes the rest of the line.
    ReportLine line = lineOf({30, 20, 40});
    line.parts[1].width = 0;
    normaliseLine(line, 90);
    EXPECT_EQ(widths(line), (std::vector<int>{30, 60}));

    // Widened past the end: cut back, and everything after it is no longer used.
    line = lineOf({30, 20, 40});
    line.parts[1].width = 85;
    normaliseLine(line, 90);
    EXPECT_EQ(widths(line), (std::vector<int>{30, 60}));

    // A short line ends in an unused part, which fills the rest.
    line = lineOf({10, 20});
    normaliseLine(line, 120);
    EXPECT_EQ(widths(line), (std::vector<int>{10, 20, 90}));

    // Twenty used parts that fall short: the last one is widened.
    line = ReportLine();
    for (ReportPart& p : line.parts)
        p.width = 4;
    normaliseLine(line, 90);
    EXPECT_EQ(line.parts[19].width, 14);
    EXPECT_EQ(line.usedParts(), 20);

    // A negative width ends a line as 0 does.
    line = lineOf({50, -3, 7});
    normaliseLine(line, 90);
    EXPECT_EQ(widths(line), (std::vector<int>{50, 40}));

    // The totals line of a 90-character built-in runs over: editing it cuts it to 90.
    line = lineOf({10, 1, 12, 19, 1, 12, 8, 1, 12, 60});
    normaliseLine(line, 90);
    EXPECT_EQ(widths(line), (std::vector<int>{10, 1, 12, 19, 1, 12, 8, 1, 12, 14}));
}

TEST(ReportDesignRules, SwitchingTheWidthAsksTellsAndNormalisesOnlyTheItemLines) {
    const CharsSwitch to90 = charsSwitch(150, 90);
    EXPECT_EQ(to90.question,
              QStringLiteral("Switching to 90 characters from 120 or 150 will truncate the current "
                             "defined lines.  In addition, the font size will be reset to a 10 "
                             "point as a default.  Are you sure you wish to do this?"));
    EXPECT_TRUE(to90.notice.isEmpty());
    EXPECT_FALSE(charsSwitch(120, 90).question.isEmpty());
    const CharsSwitch down120 = charsSwitch(150, 120);
    EXPECT_TRUE(
        down120.question.startsWith(QStringLiteral("Switching to 120 characters from 150")));
    EXPECT_EQ(
        down120.notice,
        QStringLiteral("The Report Body font size has been set to a 8 Point default size as."));
    const CharsSwitch up120 = charsSwitch(90, 120);
    EXPECT_TRUE(up120.question.isEmpty());
    EXPECT_EQ(up120.notice, down120.notice);
    const CharsSwitch to150 = charsSwitch(90, 150);
    EXPECT_TRUE(to150.question.isEmpty());
    EXPECT_EQ(to150.notice,
              QStringLiteral("The Report Body font size has been set to a 6 Point default size as "
                             "a result of switching to 150 characters per line."));
    EXPECT_FALSE(charsSwitch(120, 120).changes);

    // 150 -> 90 with 2 lines: lines 1 and 2 only; line 3 and the totals line keep their widths.
    ReportDefinition d;
    d.charsPerLine = 150;
    d.numLines = 2;
    d.body[0] = lineOf({100, 50});
    d.body[1] = lineOf({40, 40, 70});
    d.body[2] = lineOf({150});
    d.totals = lineOf({120, 30});
    switchChars(d, 90);
    EXPECT_EQ(d.charsPerLine, 90);
    EXPECT_EQ(widths(d.body[0]), (std::vector<int>{90}));
    EXPECT_EQ(widths(d.body[1]), (std::vector<int>{40, 40, 10}));
    EXPECT_EQ(widths(d.body[2]), (std::vector<int>{150}));
    EXPECT_EQ(widths(d.totals), (std::vector<int>{120, 30}));
    EXPECT_EQ(d.fonts[BodyFont].size, 10);
    EXPECT_EQ(d.fonts[TitleFont].size, 8);
    EXPECT_EQ(fontDescription(d.fonts[BodyFont]), QStringLiteral("Arial 10pt"));
    switchChars(d, 150);
    EXPECT_EQ(d.fonts[BodyFont].size, 6);
    // Widening does not bring back what was cut: the next part fills the rest.
    EXPECT_EQ(widths(d.body[1]), (std::vector<int>{40, 40, 10, 60}));
}

TEST(ReportDesignRules, PartChoicesAreStoredOrRefusedLeavingTheLineAlone) {
    const ReportLine before = lineOf({30, 60});
    ReportLine line = before;
    for (const char* bad : {"", "x", "1.5", "2 0"}) {
        const auto problem = applyPartChoice(line, 0, false, choose(PartKind::Filler, bad), 90);
        ASSERT_TRUE(problem) << bad;
        EXPECT_EQ(problem->box, PartBox::Width);
        EXPECT_EQ(problem->caption, QStringLiteral("Error"));
        EXPECT_EQ(problem->message, kInvalidWidthMessage);
    }
    auto problem = applyPartChoice(line, 0, false, choose(PartKind::Filler, "-4"), 90);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->box, PartBox::Width);
    problem = applyPartChoice(line, 1, false, choose(PartKind::Field, "10"), 90);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->box, PartBox::Field);
    EXPECT_TRUE(problem->message.contains(QStringLiteral("Fields")));
    EXPECT_EQ(line, before);

    // A label keeps its trimmed text; a field stores its table name and number.
    ASSERT_FALSE(
        applyPartChoice(line, 0, false, choose(PartKind::Label, " 12 ", -1, "  Where: "), 90));
    EXPECT_EQ(line.parts[0].kind, kLabelKind);
    EXPECT_EQ(line.parts[0].label, QStringLiteral("Where:"));
    EXPECT_EQ(widths(line), (std::vector<int>{12, 60, 18}));
    ASSERT_FALSE(applyPartChoice(line, 2, false,
                                 choose(PartKind::Field, "0", item_field::Location - 1), 90));
    EXPECT_EQ(line.parts[2].kind, QStringLiteral("Location"));
    EXPECT_EQ(line.parts[2].fieldNumber, item_field::Location);
    EXPECT_TRUE(line.parts[2].label.isEmpty());
    EXPECT_EQ(partCellText(line.parts[2], false, captions()),
              itemField(item_field::Location)->qLabel());
    // Changed back to a filler, the old label text goes.
    ASSERT_FALSE(applyPartChoice(line, 0, false, choose(PartKind::Filler, "12"), 90));
    EXPECT_TRUE(line.parts[0].label.isEmpty());
    EXPECT_EQ(partCellText(line.parts[0], false, captions()), QStringLiteral("Filler"));

    // The totals line chooses among the four totals.
    ReportLine totals = lineOf({150});
    ASSERT_FALSE(applyPartChoice(totals, 0, true, choose(PartKind::Field, "12", 2), 150));
    EXPECT_EQ(totals.parts[0].kind, QStringLiteral("Replacement Cost"));
    EXPECT_EQ(totals.parts[0].fieldNumber, TotalRepCost);
    EXPECT_EQ(partFieldIndex(totals.parts[0], true), 2);
    EXPECT_EQ(partFieldIndex(totals.parts[0], false), -1);
    EXPECT_TRUE(applyPartChoice(totals, 0, true, choose(PartKind::Field, "12", 4), 150));
}

TEST(ReportDesignRules, MarginsMustBeNumbersThatLeaveRoomOnThePage) {
    const QSizeF letter(8.5, 11);
    auto read = [&](const char* t, const char* b, const char* l, const char* r,
                    bool landscape = false) {
        return readMargins({QString::fromLatin1(t), QString::fromLatin1(b), QString::fromLatin1(l),
                            QString::fromLatin1(r)},
                           letter, landscape);
    };
    const MarginReading ok = read(" 0.50", ".5", "1", "0.75 ");
    ASSERT_TRUE(ok.margins);
    EXPECT_DOUBLE_EQ(ok.margins->bottom, 0.5);
    EXPECT_DOUBLE_EQ(ok.margins->right, 0.75);

    MarginReading bad = read("0.5", "0.5", "abc", "0.5");
    ASSERT_TRUE(bad.problem);
    EXPECT_EQ(bad.problem->box, MarginBox::Left);
    EXPECT_EQ(bad.problem->message,
              QStringLiteral("The Left margin must be a number of inches, 0 or more.  Please "
                             "correct."));
    bad = read("-1", "0.5", "0.5", "0.5");
    EXPECT_EQ(bad.problem->box, MarginBox::Top);
    bad = read("0.5", "0.5", "0.5", "");
    EXPECT_EQ(bad.problem->box, MarginBox::Right);

    // Wider than the page; on its side the same page takes them.
    bad = read("0.5", "0.5", "4.5", "4.5");
    ASSERT_TRUE(bad.problem);
    EXPECT_EQ(bad.problem->box, MarginBox::Right);
    EXPECT_TRUE(bad.problem->message.contains(QStringLiteral("8.50 inches wide")));
    EXPECT_TRUE(read("0.5", "0.5", "4.5", "4.5", true).margins);
    // Top and bottom must leave the body band between the title and footer bands.
    bad = read("4.5", "4.5", "0.5", "0.5");
    ASSERT_TRUE(bad.problem);
    EXPECT_EQ(bad.problem->box, MarginBox::Bottom);
    EXPECT_TRUE(read("4.4", "4.5", "0.5", "0.5").margins);
    EXPECT_FALSE(read("4.4", "4.5", "0.5", "0.5", true).margins);
}

TEST(ReportDesignRules, LayoutCellsAndHitsFollowThePartWidthsAtEveryScale) {
    ReportDefinition d;
    d.body[0] = lineOf({30, 30, 60}); // 120 characters
    d.body[1] = lineOf({120});
    d.totals = lineOf({60, 60});

    const LayoutGeometry g(1.0);
    EXPECT_EQ(g.left, 4);
    EXPECT_EQ(g.right, 629);
    EXPECT_EQ(g.bodyBottom(2), 75 + 40 + 1);
    // 625 pixels over 120 characters: 30 characters end at 4 + 156, 60 at 4 + 312.
    EXPECT_EQ(cellRightEdges(d.body[0], 120, g), (std::vector<int>{160, 316, 629}));

    auto hit = [&](int x, int y, int lines = 2) { return layoutHitTest({x, y}, d, lines, 120, g); };
    EXPECT_EQ(hit(4, 75), (LayoutHit{1, 1}));
    EXPECT_EQ(hit(160, 80), (LayoutHit{1, 1}));
    EXPECT_EQ(hit(161, 80), (LayoutHit{1, 2}));
    EXPECT_EQ(hit(629, 94), (LayoutHit{1, 3}));
    EXPECT_EQ(hit(300, 95), (LayoutHit{2, 1}));
    EXPECT_EQ(hit(300, 116), (LayoutHit{2, 1})); // the closing pixel row
    EXPECT_FALSE(hit(300, 117));
    EXPECT_FALSE(hit(300, 100, 1)); // line 2 is not shown with one line per item
    EXPECT_FALSE(hit(300, 80, 0));
    EXPECT_FALSE(hit(3, 80));
    EXPECT_FALSE(hit(630, 80));
    EXPECT_EQ(hit(400, 360), (LayoutHit{kTotalsLineNumber, 2}));
    EXPECT_EQ(hit(100, 376), (LayoutHit{kTotalsLineNumber, 1}));
    EXPECT_FALSE(hit(100, 354));

    // At 1024 x 768 every product of the factor is truncated.
    const LayoutGeometry big(1.6);
    EXPECT_EQ(big.left, 6);
    EXPECT_EQ(big.right, 1006);
    EXPECT_EQ(big.rowHeight, 32);
    EXPECT_EQ(big.fontPoints, 12);
    EXPECT_EQ(cellRightEdges(d.body[0], 120, big), (std::vector<int>{256, 506, 1006}));
    EXPECT_EQ(layoutHitTest({500, 120 + 32 + 5}, d, 2, 120, big), (LayoutHit{2, 1}));
    EXPECT_EQ(layoutHitTest({507, 125}, d, 2, 120, big), (LayoutHit{1, 3}));

    // A line that runs past its width (a built-in totals line) never draws past the edge.
    const ReportLine over = lineOf({80, 80, 10});
    EXPECT_EQ(cellRightEdges(over, 90, g), (std::vector<int>{559, 629, 629}));
}
