#pragma once

#include "settings/settings.h"
#include "ui/window_services.h"

#include <QDialog>

#include <array>

class QComboBox;
class QPushButton;
struct WindowContext;

// "Color Configuration": edits a copy of one colour set (or of the main set, for all five
// kinds at once) element by element with the colour picker, or from one of the twelve
// predefined combinations. The window paints itself from the copy, so every control on it
// is a sample of the colours being chosen.
class TColorConfig : public QDialog {
    Q_OBJECT
public:
    // kind: 1 main, 2 edit, 3 search, 4 report, 5 configure, 6 all five. Ok writes into sets.
    TColorConfig(WindowContext& context, std::array<ColorSet, kColorSetCount>& sets, int kind,
                 QWidget* parent = nullptr);

    // Creates the window, shows it modally and frees it. True when the colours of the main
    // window changed and it has to repaint.
    static bool run(WindowContext& context, std::array<ColorSet, kColorSetCount>& sets, int kind,
                    QWidget* owner);

    int kind() const { return m_kind; }
    const ColorSet& workingSet() const { return m_copy; }
    // Known after the window closed: Ok was chosen for the main set or for all five.
    bool mainWindowMustRepaint() const { return m_mainRepaint; }

    // Lays the window out for the current preset and paints it from the copy.
    void FormShow();
    // Opens the colour picker for one element; on Ok the element and its samples change.
    void pickColor(ColorSet::Element element);
    // Entry 0 is blank and changes nothing; entries 1-12 are the combinations.
    void ColorSetsChange(int index);
    void OkButtonClick();
    void CancelButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addColorButton(const char* name, const QString& caption, const QString& pickerCaption,
                        ColorSet::Element element, int x, int y, int width);
    void paintSamples();

    WindowContext& m_context;
    std::array<ColorSet, kColorSetCount>& m_sets;
    int m_kind;
    ColorSet m_copy;
    bool m_mainRepaint = false;
    DesignGeometry m_design;
    QComboBox* m_colorSets = nullptr;
    std::array<QPushButton*, kColorCount> m_colorButtons{};
};
