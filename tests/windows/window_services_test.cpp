#include "mainwindow/tip_dialog.h"
#include "mainwindow/tips.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "ui/font_color_dialog.h"
#include "ui/qt_prompter.h"
#include "ui/window_context.h"
#include "ui/window_services.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
// A small dialog laid out at design pixels like the program's own windows.
struct SampleDialog : QDialog {
    QPushButton* button;
    QLabel* label;
    QLineEdit* edit;
    QFrame* bevel;
    DesignGeometry design;
    explicit SampleDialog(Prompter& p) {
        resize(400, 300);
        button = new QPushButton("&Ok", this);
        button->setObjectName("OkButton");
        button->setGeometry(10, 20, 75, 25);
        label = new QLabel("Name", this);
        label->setObjectName("Label1");
        label->setGeometry(10, 60, 100, 16);
        QFont lf = label->font();
        lf.setPointSize(9);
        label->setFont(lf);
        edit = new QLineEdit(this);
        edit->setObjectName("Edit1");
        edit->setGeometry(120, 60, 200, 21);
        bevel = new QFrame(this);
        bevel->setObjectName("Bevel1");
        bevel->setProperty("bevel", true);
        bevel->setGeometry(5, 5, 390, 290);
        SaveDimensions(this, design, p);
    }
};
} // namespace

TEST(WindowServices, ScalingNeverCompoundsAndReturnsToDesignSize) {
    ScriptedPrompter prompter;
    SampleDialog d(prompter);
    const QSize screen(1024, 768);
    RestoreAndScale(&d, d.design, 1.25, screen);
    EXPECT_EQ(d.size(), QSize(500, 375));
    EXPECT_EQ(d.button->geometry(), QRect(13, 25, 94, 31)); // 75 * 1.25 = 93.75
    EXPECT_EQ(d.label->font().pointSize(), 11);             // 9 * 1.25 = 11.25
    RestoreAndScale(&d, d.design, 1.25, screen);
    EXPECT_EQ(d.size(), QSize(500, 375)) << "second show must not give 156%";
    EXPECT_EQ(d.button->width(), 94);
    RestoreAndScale(&d, d.design, 1.0, screen);
    EXPECT_EQ(d.size(), QSize(400, 300));
    EXPECT_EQ(d.button->geometry(), QRect(10, 20, 75, 25));
    EXPECT_EQ(d.label->font().pointSize(), 9);
}

TEST(WindowServices, BevelKeepsGeometryButNoFontSize) {
    ScriptedPrompter prompter;
    SampleDialog d(prompter);
    QFont f = d.bevel->font();
    f.setPointSize(20);
    d.bevel->setFont(f);
    d.bevel->setGeometry(0, 0, 1, 1);
    RestoreAndScale(&d, d.design, 2.0, {1280, 1024});
    EXPECT_EQ(d.bevel->geometry(), QRect(10, 10, 780, 580));
    EXPECT_EQ(d.bevel->font().pointSize(), 20);
}

TEST(WindowServices, CentresAndAllowsANegativeLeftEdge) {
    ScriptedPrompter prompter;
    SampleDialog d(prompter);
    RestoreAndScale(&d, d.design, 2.0, {640, 480}); // 800 x 600 on a 640 x 480 screen
    EXPECT_EQ(d.pos(), QPoint(-80, -60));
    RestoreAndScale(&d, d.design, 1.0, {641, 481});
    EXPECT_EQ(d.pos(), QPoint(120, 90));
}

TEST(WindowServices, UserFontsCopyFamilyAndStyleOnly) {
    ScriptedPrompter prompter;
    SampleDialog d(prompter);
    UserFonts fonts;
    fonts.button = QFont("Liberation Serif", 30);
    fonts.button.setBold(true);
    fonts.edit = QFont("Liberation Mono", 30);
    fonts.edit.setItalic(true);
    fonts.label = QFont("Liberation Sans", 30);
    fonts.label.setUnderline(true);
    const int buttonSize = d.button->font().pointSize();
    ApplyUserFonts(&d, fonts);
    EXPECT_TRUE(d.button->font().bold());
    EXPECT_EQ(d.button->font().family(), "Liberation Serif");
    EXPECT_EQ(d.button->font().pointSize(), buttonSize);
    EXPECT_TRUE(d.edit->font().italic());
    EXPECT_FALSE(d.edit->font().bold());
    EXPECT_TRUE(d.label->font().underline());
    EXPECT_EQ(d.label->font().pointSize(), 9);
}

TEST(WindowServices, TooManyComponentsIsReportedOnceAndTheRestStillWorks) {
    ScriptedPrompter prompter;
    QDialog d;
    for (int i = 0; i < 105; ++i) {
        auto* l = new QLabel(&d);
        l->setObjectName(QString("L%1").arg(i));
        l->setGeometry(i, i, 10, 10);
    }
    DesignGeometry design;
    prompter.expectMessage("Error", "Too many compenents to save dimensions.");
    SaveDimensions(&d, design, prompter);
    EXPECT_TRUE(design.entries[100].recorded);
    RestoreAndScale(&d, design, 2.0, {1280, 1024});
    const auto labels = windowComponents(&d);
    EXPECT_EQ(labels[100]->geometry(), QRect(200, 200, 20, 20));
    EXPECT_EQ(labels[104]->geometry(), QRect(104, 104, 10, 10)) << "unrecorded, left alone";
}

// The font dialog opens on the user's font as drawn, even when its family (Arial) is only
// a fontconfig substitute, and keeps its style.
TEST(WindowServices, FontDialogOpensOnTheCurrentUserFont) {
    QFont arial(QStringLiteral("Arial"), 9);
    arial.setItalic(true);
    const QString drawn = QFontInfo(arial).family();
    ASSERT_TRUE(QFontDatabase::families().contains(drawn, Qt::CaseInsensitive));
    QFont shown;
    whenModalShown([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFontDialog*>(modal))
            shown = dialog->currentFont();
    });
    QtPrompter prompter;
    EXPECT_FALSE(prompter.font({arial, {}}, QStringLiteral("Label Font")).has_value());
    EXPECT_EQ(shown.family(), drawn);
    EXPECT_TRUE(shown.italic());
    EXPECT_EQ(shown.pointSize(), 9);
}

// A font with a colour of its own gets the chooser with a colour row: it opens on the font
// and its colour (one of the sixteen, or "Custom"), and Ok hands back both as chosen.
TEST(WindowServices, FontDialogWithAColourHandsBackBoth) {
    QFont arial(QStringLiteral("Arial"), 11);
    arial.setBold(true);
    QtPrompter prompter;
    QString offered;
    whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<FontColorDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->currentFont().bold());
        EXPECT_EQ(dialog->currentFont().pointSize(), 11);
        offered = dialog->colorBox()->currentText();
        dialog->colorBox()->setCurrentIndex(dialog->colorBox()->findText(QStringLiteral("Navy")));
        dialog->accept();
    });
    const auto chosen = prompter.font({arial, QColor(0x12, 0x34, 0x56)}, QStringLiteral("Font"));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(offered, QStringLiteral("Custom"));
    EXPECT_EQ(chosen->color, QColor(0, 0, 0x80));
    EXPECT_TRUE(chosen->font.bold());

    whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<FontColorDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        offered = dialog->colorBox()->currentText();
        dialog->reject();
    });
    EXPECT_FALSE(prompter.font({arial, QColor(Qt::red)}, QStringLiteral("Font")).has_value());
    EXPECT_EQ(offered, QStringLiteral("Red"));
}

// Enter and Escape in the chooser's lists end the whole dialog, not just the chooser inside
// it (which would leave an empty window); Enter on the colour row takes Ok.
TEST(WindowServices, FontDialogWithAColourEndsOnEnterAndEscapeInTheChooser) {
    const auto run = [](QWidget* (*target)(FontColorDialog&), int key) {
        FontColorDialog dialog(QFont(QStringLiteral("Arial"), 10), QColor(Qt::black));
        dialog.show();
        QWidget* widget = target(dialog);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key(key));
        EXPECT_FALSE(dialog.isVisible());
        return dialog.result();
    };
    const auto familyList = [](FontColorDialog& d) -> QWidget* {
        return d.findChild<QFontDialog*>()->findChild<QListView*>();
    };
    const auto colorRow = [](FontColorDialog& d) -> QWidget* { return d.colorBox(); };
    EXPECT_EQ(run(familyList, Qt::Key_Return), QDialog::Accepted);
    EXPECT_EQ(run(familyList, Qt::Key_Escape), QDialog::Rejected);
    EXPECT_EQ(run(colorRow, Qt::Key_Return), QDialog::Accepted);
}

TEST(TipOfDay, NextTipWrapsAndShowTipsFollowsTheBox) {
    ScriptedPrompter prompter;
    WindowContext context(prompter);
    TTipOfDay tips(context, true);
    tips.FormShow();
    const int first = tips.tipNumber();
    EXPECT_GE(first, 1);
    EXPECT_LE(first, 24);
    EXPECT_EQ(tips.tipComment()->text(), tipText(first));
    for (int i = 0; i < 24; ++i)
        QTest::mouseClick(tips.nextTipButton(), Qt::LeftButton);
    EXPECT_EQ(tips.tipNumber(), first);
    tips.showTip(24);
    QTest::mouseClick(tips.nextTipButton(), Qt::LeftButton);
    EXPECT_EQ(tips.tipNumber(), 1);
    EXPECT_TRUE(tips.showTipsBox()->isChecked());
    tips.showTipsBox()->setChecked(false);
    EXPECT_FALSE(tips.showTipsAtStartup());
    EXPECT_EQ(tipText(24),
              "A \"Browse Mode\" is available where a user has access to the data, but cannot "
              "change it.");
}
