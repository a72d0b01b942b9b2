#include "mainwindow/tip_dialog.h"

#include "mainwindow/program_picture.h"
#include "mainwindow/tips.h"
#include "ui/window_context.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

namespace {
template <typename W> W* place(W* w, const char* name, int x, int y, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(x, y, width, height);
    return w;
}
} // namespace

TTipOfDay::TTipOfDay(WindowContext& context, bool showTips, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(QStringLiteral("Tip of the Day"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    resize(475, 241);

    auto* panel = place(new QFrame(this), "Panel1", 8, 8, 368, 193);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);

    auto* image = place(new QLabel(panel), "Image1", 10, 10, 48, 48);
    image->setPixmap(programPicture(48));

    auto* heading =
        place(new QLabel(QStringLiteral("Did you know?"), panel), "Label1", 64, 16, 290, 24);
    QFont hf = heading->font();
    hf.setBold(true);
    hf.setPointSize(12);
    heading->setFont(hf);

    m_tipComment = place(new QLabel(panel), "TipComment", 64, 52, 301, 97);
    m_tipComment->setWordWrap(true);
    m_tipComment->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_close = place(new QPushButton(QStringLiteral("&Close"), this), "CloseButton", 388, 8, 79, 25);
    m_nextTip =
        place(new QPushButton(QStringLiteral("&Next Tip"), this), "NextTipButton", 388, 40, 79, 25);
    m_showTips = place(new QCheckBox(QStringLiteral("&Show Tips at Startup"), this), "ShowTips", 8,
                       212, 220, 21);
    m_showTips->setChecked(showTips);
    m_close->setDefault(true);

    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_nextTip, &QPushButton::clicked, this, [this] { showTip(nextTipNumber(m_tip)); });

    SaveDimensions(this, m_design, m_context.prompter);
}

void TTipOfDay::showTip(int number) {
    m_tip = number;
    m_tipComment->setText(tipText(number));
}

bool TTipOfDay::showTipsAtStartup() const {
    return m_showTips->isChecked();
}

void TTipOfDay::FormShow() {
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
    showTip(QRandomGenerator::global()->bounded(kTipCount) + 1);
}

void TTipOfDay::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

TAboutBox::TAboutBox(WindowContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    resize(298, 178);

    auto* panel = place(new QFrame(this), "Panel1", 8, 8, 282, 122);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* image = place(new QLabel(panel), "ProgramIcon", 12, 12, 64, 64);
    image->setPixmap(programPicture(64));
    auto* product = place(new QLabel(QStringLiteral("Tallywick Inventory 97"), panel),
                          "ProductName", 88, 20, 186, 24);
    QFont pf = product->font();
    pf.setBold(true);
    pf.setPointSize(11);
    product->setFont(pf);
    place(new QLabel(QStringLiteral("Version 3.2a"), panel), "Version", 88, 52, 186, 20);

    auto* ok = place(new QPushButton(QStringLiteral("&Ok"), this), "OKButton", 111, 142, 75, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    SaveDimensions(this, m_design, m_context.prompter);
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RestoreAndScale(this, m_design, m_context.scaleFactor, m_context.screen);
}
