#include "ui/window_context.h"
#include "appearance/color_config.h"
#include "appearance/color_sets.h"
#include "appearance/set_colors.h"
#include "scripted_prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
using E = ColorSet;

// Remembers the colour each picker opened with.
struct PickerPrompter : ScriptedPrompter {
    std::vector<QColor> initial;
    std::optional<QColor> color(const QColor& start, const QString& caption) override {
        initial.push_back(start);
        return ScriptedPrompter::color(start, caption);
    }
};

struct Fixture {
    PickerPrompter prompter;
    WindowContext context{prompter};
    std::array<ColorSet, kColorSetCount> sets{};
    Fixture() {
        context.screen = QSize(1024, 768);
        // Five different sets, so a copy into the wrong one shows.
        for (int i = 0; i < kColorSetCount; ++i)
            applyCombination(sets[size_t(i)], i + 4);
    }
    ~Fixture() { prompter.verifyDone(); }
};

template <typename W> W* child(QWidget& window, const char* name) {
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QColor role(QWidget* w, QPalette::ColorRole r) {
    return w->palette().color(QPalette::Active, r);
}

void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}
} // namespace

TEST(ColorConfig, ShowsEverySampleButtonAndCombination) {
    Fixture f;
    TColorConfig dialog(f.context, f.sets, kMainColors);
    EXPECT_EQ(dialog.windowTitle(), "Color Configuration");

    const std::pair<const char*, const char*> headings[] = {
        {"WindowLabel", "Window"}, {"RadioLabel", "Radio Button"}, {"CheckLabel", "Check Box"},
        {"EditLabel", "Edit Box"}, {"ComboLabel", "Combo Box"},    {"ListLabel", "List Box"}};
    for (const auto& [name, text] : headings) {
        QLabel* l = child<QLabel>(dialog, name);
        EXPECT_EQ(l->text(), text);
        EXPECT_EQ(headingOf(l), Heading::Major) << name;
    }
    QLabel* predefined = child<QLabel>(dialog, "PredefinedLabel");
    EXPECT_EQ(predefined->text(), "Predefined Color Combinations");
    EXPECT_EQ(headingOf(predefined), Heading::Minor);

    const std::pair<const char*, const char*> buttons[] = {{"BackgroundButton", "Background"},
                                                           {"MajorTitlesButton", "Major Titles"},
                                                           {"MinorTitlesButton", "Minor Titles"},
                                                           {"RadioTextButton", "Text"},
                                                           {"RadioBackgroundButton", "Background"},
                                                           {"CheckTextButton", "Text"},
                                                           {"CheckBackgroundButton", "Background"},
                                                           {"EditTextButton", "Text"},
                                                           {"EditBackgroundButton", "Background"},
                                                           {"ComboTextButton", "Text"},
                                                           {"ComboBackgroundButton", "Background"},
                                                           {"ListTextButton", "Text"},
                                                           {"ListBackgroundButton", "Background"},
                                                           {"OkButton", "&Ok"},
                                                           {"CancelButton", "&Cancel"}};
    for (const auto& [name, text] : buttons)
        EXPECT_EQ(child<QPushButton>(dialog, name)->text(), text) << name;

    EXPECT_EQ(child<QLineEdit>(dialog, "EditSample")->text(), "Sample Text");
    EXPECT_EQ(child<QListWidget>(dialog, "ListSample")->count(), 2);

    QComboBox* sets = child<QComboBox>(dialog, "ColorSets");
    ASSERT_EQ(sets->count(), 13);
    EXPECT_TRUE(sets->itemText(0).isEmpty());
    EXPECT_EQ(sets->itemText(1), "Monochrome");
    EXPECT_EQ(sets->itemText(3), "Midnight Black");
    EXPECT_EQ(sets->itemText(12), "Camouflage");

    // Every control is a named component, so the design geometry covers all of them.
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
}

TEST(ColorConfig, ShowsScaledCentredAndTenPixelsHigh) {
    Fixture f;
    f.context.scaleFactor = 1.25;
    f.context.fonts.button.setBold(true);
    f.context.fonts.label.setItalic(true);
    TColorConfig dialog(f.context, f.sets, kEditColors);
    const QSize design = dialog.size();
    dialog.show();
    const QSize scaled(qRound(design.width() * 1.25), qRound(design.height() * 1.25));
    EXPECT_EQ(dialog.size(), scaled);
    // Centring counts the window frame, whatever the platform draws.
    const QSize frame = dialog.frameGeometry().size();
    const QSize border = frame - scaled;
    EXPECT_EQ(dialog.pos(), QPoint((1024 - frame.width()) / 2, (768 - frame.height()) / 2 - 10));
    EXPECT_EQ(child<QPushButton>(dialog, "OkButton")->width(), 100); // 80 at design size
    // The user fonts reach the controls, at their own scaled sizes.
    EXPECT_TRUE(child<QPushButton>(dialog, "OkButton")->font().bold());
    EXPECT_TRUE(child<QLabel>(dialog, "PredefinedLabel")->font().italic());
    EXPECT_GT(child<QLabel>(dialog, "WindowLabel")->font().pointSize(),
              child<QPushButton>(dialog, "OkButton")->font().pointSize());
    // Every sample shows the copy as soon as the window is up.
    EXPECT_EQ(role(&dialog, QPalette::Window), toQColor(f.sets[1][E::MainBackground]));
    EXPECT_EQ(role(child<QLineEdit>(dialog, "EditSample"), QPalette::Base),
              toQColor(f.sets[1][E::EditBackground]));
    dialog.hide();

    // Showing again does not compound the scaling or the move.
    dialog.show();
    EXPECT_EQ(dialog.size(), scaled);
    EXPECT_EQ(dialog.pos().y(), (768 - frame.height()) / 2 - 10);
    dialog.hide();

    // A window whose top edge is 10 pixels or less from the top stays where centring put it.
    f.context.scaleFactor = 1.0;
    f.context.screen = design + border + QSize(0, 20); // top exactly 10
    dialog.show();
    EXPECT_EQ(dialog.pos(), QPoint(0, 10));
    dialog.hide();
    f.context.screen = design + border + QSize(0, 22); // top 11: moved up to 1
    dialog.show();
    EXPECT_EQ(dialog.pos(), QPoint(0, 1));
    dialog.hide();
    f.context.scaleFactor = 2.0;
    f.context.screen = QSize(640, 480); // larger than the screen: negative, not moved
    dialog.show();
    EXPECT_EQ(dialog.pos().y(), (480 - (design.height() * 2 + border.height())) / 2);
    EXPECT_LT(dialog.pos().x(), 0);
}

TEST(ColorConfig, AllWindowsStartsFromTheMainSetAndOkMakesAllFiveEqual) {
    Fixture f;
    TColorConfig dialog(f.context, f.sets, kAllColors);
    EXPECT_EQ(dialog.workingSet(), f.sets[0]);
    f.prompter.expectColor(QColor(10, 20, 30));
    dialog.pickColor(E::CheckText);
    ASSERT_EQ(f.prompter.initial.size(), 1u);
    EXPECT_EQ(f.prompter.initial[0], toQColor(f.sets[0][E::CheckText]));

    child<QPushButton>(dialog, "OkButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.mainWindowMustRepaint());
    for (const ColorSet& s : f.sets)
        EXPECT_EQ(s, dialog.workingSet());
    EXPECT_EQ(f.sets[3][E::CheckText], toColorRef(QColor(10, 20, 30)));
}

TEST(ColorConfig, CombinationThenCancelLeavesTheSetsAlone) {
    Fixture f;
    const auto before = f.sets;
    {
        TColorConfig dialog(f.context, f.sets, kMainColors);
        dialog.show();
        choose(child<QComboBox>(dialog, "ColorSets"), 3); // Midnight Black
        ColorSet midnight;
        SetBlackKnight(midnight);
        EXPECT_EQ(dialog.workingSet(), midnight);
        EXPECT_EQ(role(&dialog, QPalette::Window), QColor(0, 0, 0));
        EXPECT_EQ(role(child<QLabel>(dialog, "PredefinedLabel"), QPalette::WindowText),
                  QColor(255, 255, 255));
        EXPECT_EQ(role(child<QListWidget>(dialog, "ListSample"), QPalette::Base),
                  QColor(127, 127, 127));
        EXPECT_EQ(role(child<QCheckBox>(dialog, "CheckSample"), QPalette::WindowText),
                  QColor(255, 255, 255));
        child<QPushButton>(dialog, "CancelButton")->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.mainWindowMustRepaint());
    }
    EXPECT_EQ(f.sets, before);

    // Ok for one kind touches that set only, and the main window need not repaint.
    TColorConfig dialog(f.context, f.sets, kReportColors);
    choose(child<QComboBox>(dialog, "ColorSets"), 12);
    child<QPushButton>(dialog, "OkButton")->click();
    EXPECT_FALSE(dialog.mainWindowMustRepaint());
    ColorSet camo;
    SetCamo(camo);
    for (int i = 0; i < kColorSetCount; ++i)
        EXPECT_EQ(f.sets[size_t(i)], i == 3 ? camo : before[size_t(i)]) << i;
}

TEST(ColorConfig, PickedColourChangesTheElementAndItsSamples) {
    Fixture f;
    const auto stored = f.sets;
    TColorConfig dialog(f.context, f.sets, kMainColors);
    dialog.show();
    const QColor olive(128, 128, 0);

    f.prompter.expectColor(olive);
    child<QPushButton>(dialog, "EditBackgroundButton")->click();
    EXPECT_EQ(dialog.workingSet()[E::EditBackground], toColorRef(olive));
    EXPECT_EQ(role(child<QLineEdit>(dialog, "EditSample"), QPalette::Base), olive);
    EXPECT_EQ(f.prompter.initial.back(), toQColor(f.sets[0][E::EditBackground]));

    // The combo buttons paint the combination list too.
    const QColor navy(0, 0, 128);
    f.prompter.expectColor(navy);
    child<QPushButton>(dialog, "ComboTextButton")->click();
    EXPECT_EQ(role(child<QComboBox>(dialog, "ComboSample"), QPalette::ButtonText), navy);
    EXPECT_EQ(role(child<QComboBox>(dialog, "ColorSets"), QPalette::ButtonText), navy);

    // Major Titles repaints all six sample headings.
    const QColor maroon(128, 0, 0);
    f.prompter.expectColor(maroon);
    child<QPushButton>(dialog, "MajorTitlesButton")->click();
    for (const char* name :
         {"WindowLabel", "RadioLabel", "CheckLabel", "EditLabel", "ComboLabel", "ListLabel"})
        EXPECT_EQ(role(child<QLabel>(dialog, name), QPalette::WindowText), maroon) << name;
    EXPECT_NE(role(child<QLabel>(dialog, "PredefinedLabel"), QPalette::WindowText), maroon);

    const QColor teal(0, 128, 128);
    f.prompter.expectColor(teal);
    child<QPushButton>(dialog, "RadioBackgroundButton")->click();
    QRadioButton* radio = child<QRadioButton>(dialog, "RadioSample");
    EXPECT_TRUE(radio->autoFillBackground());
    EXPECT_EQ(role(radio, radio->backgroundRole()), teal);

    // Cancelling the picker, or choosing the blank combination, changes nothing.
    const ColorSet before = dialog.workingSet();
    f.prompter.expectColor(std::nullopt);
    child<QPushButton>(dialog, "ListTextButton")->click();
    choose(child<QComboBox>(dialog, "ColorSets"), 0);
    EXPECT_EQ(dialog.workingSet(), before);
    EXPECT_EQ(role(child<QLineEdit>(dialog, "EditSample"), QPalette::Base), olive);
    EXPECT_EQ(f.sets, stored) << "nothing is stored before Ok";
}

TEST(ColorConfig, RunShowsItModallyAndTellsWhetherTheMainWindowRepaints) {
    Fixture f;
    QWidget owner;
    // Answers the modal window from the event loop; a watchdog closes a leftover modal so a
    // failing test cannot hang.
    const auto press = [](const char* button) {
        QTimer::singleShot(0, [button] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            EXPECT_EQ(modal->windowTitle(), "Color Configuration");
            modal->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        });
    };
    QTimer watchdog;
    watchdog.setInterval(5000);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    watchdog.start();

    press("OkButton");
    EXPECT_TRUE(TColorConfig::run(f.context, f.sets, kMainColors, &owner));
    press("OkButton");
    EXPECT_FALSE(TColorConfig::run(f.context, f.sets, kConfigureColors, &owner));
    press("CancelButton");
    EXPECT_FALSE(TColorConfig::run(f.context, f.sets, kAllColors, &owner));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(SetColors, PaintsEachKindOfControlFromItsElement) {
    ColorSet set;
    SetWine(set);
    set[E::ComboText] = toColorRef(QColor(1, 1, 1)); // tell the combo apart from the edit
    set[E::CheckText] = toColorRef(QColor(2, 2, 2));

    QWidget window;
    const auto make = [&window](auto* w, const char* name) {
        w->setParent(&window);
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    QLabel* plain = make(new QLabel("Name"), "PlainLabel");
    QLabel* major = make(new QLabel("Inventory Viewer"), "ViewerLabel");
    QLabel* minor = make(new QLabel("Navigation Controls"), "NavigatorLabel");
    markHeading(major, Heading::Major);
    markHeading(minor, Heading::Minor);
    QLineEdit* edit = make(new QLineEdit, "Edit1");
    QComboBox* combo = make(new QComboBox, "Combo1");
    QListWidget* list = make(new QListWidget, "List1");
    QRadioButton* radio = make(new QRadioButton("A"), "Radio1");
    QCheckBox* check = make(new QCheckBox("B"), "Check1");
    QGroupBox* group = make(new QGroupBox("Options"), "Group1");
    QTableWidget* viewer = make(new QTableWidget(2, 2), "ViewerGrid");
    keepOwnColors(viewer);
    const QColor viewerBase = role(viewer, QPalette::Base);
    const QColor plainText = role(plain, QPalette::WindowText);

    SetColors(&window, set);

    EXPECT_EQ(role(&window, QPalette::Window), toQColor(set[E::MainBackground]));
    EXPECT_EQ(role(major, QPalette::WindowText), toQColor(set[E::MajorTitle]));
    EXPECT_EQ(role(minor, QPalette::WindowText), toQColor(set[E::MinorTitle]));
    EXPECT_EQ(role(minor, QPalette::Window), toQColor(set[E::MainBackground]));
    EXPECT_TRUE(minor->autoFillBackground());
    EXPECT_EQ(role(plain, QPalette::WindowText), plainText) << "only headings are titles";
    EXPECT_EQ(role(edit, QPalette::Base), toQColor(set[E::EditBackground]));
    EXPECT_EQ(role(edit, QPalette::Text), toQColor(set[E::EditText]));
    EXPECT_EQ(role(combo, QPalette::Button), toQColor(set[E::ComboBackground]));
    EXPECT_EQ(role(combo, QPalette::ButtonText), QColor(1, 1, 1));
    EXPECT_EQ(role(list, QPalette::Base), toQColor(set[E::ListBoxBackground]));
    EXPECT_EQ(role(list, QPalette::Text), toQColor(set[E::ListBoxText]));
    EXPECT_EQ(role(radio, radio->backgroundRole()), toQColor(set[E::RadioBackground]));
    EXPECT_EQ(role(radio, QPalette::WindowText), toQColor(set[E::RadioText]));
    EXPECT_EQ(role(check, QPalette::WindowText), QColor(2, 2, 2));
    EXPECT_EQ(role(group, QPalette::WindowText), toQColor(set[E::MinorTitle]));
    EXPECT_EQ(role(viewer, QPalette::Base), viewerBase) << "the viewer keeps its own colours";

    // Disabled text stays distinguishable from enabled text.
    EXPECT_NE(edit->palette().color(QPalette::Disabled, QPalette::Text),
              toQColor(set[E::EditText]));

    // Painting again with another set replaces every colour.
    ColorSet grey;
    SetGrayMists(grey);
    SetColors(&window, grey);
    EXPECT_EQ(role(major, QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(role(edit, QPalette::Base), QColor(255, 255, 255));
    EXPECT_EQ(role(&window, QPalette::Window), QColor(192, 192, 192));
}
