#include "ui/font_color_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct NamedColor {
    const char* name;
    QRgb rgb;
};

// The basic colours of the classic font dialog, in its order.
constexpr NamedColor kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QIcon swatch(const QColor& color) {
    QPixmap pixmap(24, 14);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

} // namespace

FontColorDialog::FontColorDialog(const QFont& font, const QColor& color, QWidget* parent)
    : QDialog(parent), m_fonts(new QFontDialog(font, this)), m_colors(new QComboBox(this)) {
    // The chooser lives inside this dialog, which brings the colour row and the buttons.
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fonts->setCurrentFont(font);

    const QRgb wanted = color.rgb() & 0xFFFFFF;
    int current = -1;
    for (const NamedColor& c : kColors) {
        if (c.rgb == wanted)
            current = m_colors->count();
        m_colors->addItem(swatch(QColor(c.rgb)), QString::fromLatin1(c.name), QColor(c.rgb));
    }
    if (current < 0) {
        current = m_colors->count();
        m_colors->addItem(swatch(color), QStringLiteral("Custom"), color);
    }
    m_colors->setCurrentIndex(current);
    m_colors->setObjectName(QStringLiteral("ColorBox"));

    auto* label = new QLabel(QStringLiteral("&Color:"), this);
    label->setBuddy(m_colors);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(label);
    colorRow->addWidget(m_colors);
    colorRow->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The chooser is a dialog of its own: Enter or Escape in its lists ends it, which would
    // leave this window empty. Its ending ends this window the same way instead.
    connect(m_fonts, &QDialog::accepted, this, &QDialog::accept);
    connect(m_fonts, &QDialog::rejected, this, &QDialog::reject);
    // The chooser's own hidden Ok counts as a default button, so name ours.
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

QFont FontColorDialog::currentFont() const {
    return m_fonts->currentFont();
}

QColor FontColorDialog::currentColor() const {
    return m_colors->currentData().value<QColor>();
}
