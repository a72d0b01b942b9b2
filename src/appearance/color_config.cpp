#include "appearance/color_config.h"
#include "ui/window_services.h"

#include "ui/prompter.h"
#include "ui/window_context.h"
#include "appearance/color_sets.h"
#include "appearance/set_colors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Design layout, in pixels at 640 x 480: six sample groups in two rows of three, the
// combinations and the buttons underneath.
constexpr int kGroupWidth = 176;
constexpr int kGroupHeight = 128;
constexpr int kColumn[3] = {8, 192, 376};
constexpr int kRow[2] = {8, 144};
constexpr int kClientWidth = 560;
constexpr int kClientHeight = 336;
constexpr int kDesignPointSize = 9;
constexpr int kHeadingPointSize = 10;

template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}

} // namespace

TColorConfig::TColorConfig(WindowContext& context, std::array<ColorSet, kColorSetCount>& sets,
                           int kind, QWidget* parent)
    : QDialog(parent), m_context(context), m_sets(sets),
      m_kind(isValidColorKind(kind) ? kind : kMainColors), m_copy(colorSetForKind(sets, kind)) {
    setWindowTitle(QStringLiteral("Color Configuration"));
    prepareDesignDialog(this, {kClientWidth, kClientHeight}, kDesignPointSize);

    const auto group = [this](const char* bevelName, const char* labelName, const QString& title,
                              int column, int row) {
        const int x = kColumn[column];
        const int y = kRow[row];
        auto* bevel = place(new QFrame(this), bevelName, x, y, kGroupWidth, kGroupHeight);
        bevel->setProperty("bevel", true);
        bevel->setFrameShape(QFrame::Box);
        bevel->setFrameShadow(QFrame::Sunken);
        auto* heading = place(new QLabel(title, this), labelName, x + 8, y + 6, 160, 20);
        QFont hf = heading->font();
        hf.setBold(true);
        hf.setPointSize(kHeadingPointSize);
        heading->setFont(hf);
        markHeading(heading, Heading::Major);
    };
    const auto textAndBackground = [this](int column, int row, const char* textName,
                                          ColorSet::Element text, const char* backgroundName,
                                          ColorSet::Element background, const QString& what) {
        const int x = kColumn[column];
        const int y = kRow[row] + 96;
        addColorButton(textName, QStringLiteral("Text"), what + QStringLiteral(" Text"), text,
                       x + 8, y, 76);
        addColorButton(backgroundName, QStringLiteral("Background"),
                       what + QStringLiteral(" Background"), background, x + 92, y, 76);
    };
    const QString sampleText = QStringLiteral("Sample Text");

    // Window: its samples are the window itself and the headings on it.
    group("WindowBevel", "WindowLabel", QStringLiteral("Window"), 0, 0);
    addColorButton("BackgroundButton", QStringLiteral("Background"),
                   QStringLiteral("Window Background"), ColorSet::MainBackground, kColumn[0] + 33,
                   kRow[0] + 34, 110);
    addColorButton("MajorTitlesButton", QStringLiteral("Major Titles"),
                   QStringLiteral("Major Titles"), ColorSet::MajorTitle, kColumn[0] + 33,
                   kRow[0] + 64, 110);
    addColorButton("MinorTitlesButton", QStringLiteral("Minor Titles"),
                   QStringLiteral("Minor Titles"), ColorSet::MinorTitle, kColumn[0] + 33,
                   kRow[0] + 94, 110);

    group("RadioBevel", "RadioLabel", QStringLiteral("Radio Button"), 1, 0);
    auto* radio = place(new QRadioButton(sampleText, this), "RadioSample", kColumn[1] + 8,
                        kRow[0] + 38, 160, 22);
    radio->setChecked(true);
    textAndBackground(1, 0, "RadioTextButton", ColorSet::RadioText, "RadioBackgroundButton",
                      ColorSet::RadioBackground, QStringLiteral("Radio Button"));

    group("CheckBevel", "CheckLabel", QStringLiteral("Check Box"), 2, 0);
    auto* check = place(new QCheckBox(sampleText, this), "CheckSample", kColumn[2] + 8,
                        kRow[0] + 38, 160, 22);
    check->setChecked(true);
    textAndBackground(2, 0, "CheckTextButton", ColorSet::CheckText, "CheckBackgroundButton",
                      ColorSet::CheckBackground, QStringLiteral("Check Box"));

    group("EditBevel", "EditLabel", QStringLiteral("Edit Box"), 0, 1);
    place(new QLineEdit(sampleText, this), "EditSample", kColumn[0] + 8, kRow[1] + 38, 160, 22);
    textAndBackground(0, 1, "EditTextButton", ColorSet::EditText, "EditBackgroundButton",
                      ColorSet::EditBackground, QStringLiteral("Edit Box"));

    group("ComboBevel", "ComboLabel", QStringLiteral("Combo Box"), 1, 1);
    auto* combo = place(new QComboBox(this), "ComboSample", kColumn[1] + 8, kRow[1] + 38, 160, 22);
    combo->addItem(sampleText);
    textAndBackground(1, 1, "ComboTextButton", ColorSet::ComboText, "ComboBackgroundButton",
                      ColorSet::ComboBackground, QStringLiteral("Combo Box"));

    group("ListBevel", "ListLabel", QStringLiteral("List Box"), 2, 1);
    auto* list = place(new QListWidget(this), "ListSample", kColumn[2] + 8, kRow[1] + 30, 160, 58);
    list->addItems({sampleText, sampleText});
    textAndBackground(2, 1, "ListTextButton", ColorSet::ListBoxText, "ListBackgroundButton",
                      ColorSet::ListBoxBackground, QStringLiteral("List Box"));

    auto* predefined = place(new QLabel(QStringLiteral("Predefined Color Combinations"), this),
                             "PredefinedLabel", 8, 282, 250, 18);
    markHeading(predefined, Heading::Minor);
    m_colorSets = place(new QComboBox(this), "ColorSets", 8, 302, 250, 24);
    m_colorSets->addItem(QString());
    for (int n = 1; n <= kCombinationCount; ++n)
        m_colorSets->addItem(combinationName(n));
    m_colorSets->setMaxVisibleItems(kCombinationCount + 1);
    connect(m_colorSets, &QComboBox::activated, this, &TColorConfig::ColorSetsChange);

    auto* ok = place(new QPushButton(QStringLiteral("&Ok"), this), "OkButton", 384, 300, 80, 27);
    auto* cancel =
        place(new QPushButton(QStringLiteral("&Cancel"), this), "CancelButton", 472, 300, 80, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TColorConfig::OkButtonClick);
    connect(cancel, &QPushButton::clicked, this, &TColorConfig::CancelButtonClick);

    SaveDimensions(this, m_design, m_context.prompter);
}

void TColorConfig::addColorButton(const char* name, const QString& caption,
                                  const QString& pickerCaption, ColorSet::Element element, int x,
                                  int y, int width) {
    auto* button = place(new QPushButton(caption, this), name, x, y, width, 25);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, element, pickerCaption] {
        const auto chosen = m_context.prompter.color(toQColor(m_copy[element]), pickerCaption);
        if (!chosen || !chosen->isValid())
            return;
        m_copy[element] = toColorRef(*chosen);
        paintSamples();
    });
    m_colorButtons[size_t(element)] = button;
}

void TColorConfig::pickColor(ColorSet::Element element) {
    m_colorButtons[size_t(element)]->click();
}

bool TColorConfig::run(WindowContext& context, std::array<ColorSet, kColorSetCount>& sets, int kind,
                       QWidget* owner) {
    TColorConfig dialog(context, sets, kind, owner);
    dialog.exec();
    return dialog.mainWindowMustRepaint();
}

void TColorConfig::FormShow() {
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    ApplyUserFonts(this, m_context.fonts);
    // Sits a little above the centre, leaving room below it.
    if (y() > 10)
        move(x(), y() - 10);
    paintSamples();
}

void TColorConfig::paintSamples() {
    // The window is its own sample: every control on it takes the colour of its element.
    SetColors(this, m_copy);
}

void TColorConfig::ColorSetsChange(int index) {
    if (applyCombination(m_copy, index))
        paintSamples();
}

void TColorConfig::OkButtonClick() {
    storeColorSet(m_sets, m_kind, m_copy);
    m_mainRepaint = mainWindowRepaints(m_kind);
    accept();
}

void TColorConfig::CancelButtonClick() {
    reject();
}

void TColorConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}
