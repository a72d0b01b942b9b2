#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

// The font dialog for fonts drawn in a colour of their own (the grid's fonts, a report's
// fonts): Qt's font chooser with the sixteen basic colours below it, as the system font
// dialogs of other desktops offer. A colour not among the sixteen is kept as "Custom".
class FontColorDialog : public QDialog {
    Q_OBJECT
public:
    FontColorDialog(const QFont& font, const QColor& color, QWidget* parent = nullptr);

    QFont currentFont() const;
    QColor currentColor() const;
    QComboBox* colorBox() const { return m_colors; }

private:
    QFontDialog* m_fonts;
    QComboBox* m_colors;
};
