#pragma once

#include "ui/window_services.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
struct WindowContext;

// "Tip of the Day": one of the tips, Next Tip, and the Show Tips at Startup switch.
class TTipOfDay : public QDialog {
    Q_OBJECT
public:
    TTipOfDay(WindowContext& context, bool showTips, QWidget* parent = nullptr);

    int tipNumber() const { return m_tip; }
    void showTip(int number);
    // The Show Tips setting as the user left it; read after the dialog closed.
    bool showTipsAtStartup() const;

    QLabel* tipComment() const { return m_tipComment; }
    QPushButton* nextTipButton() const { return m_nextTip; }
    QPushButton* closeButton() const { return m_close; }
    QCheckBox* showTipsBox() const { return m_showTips; }

    // Draws the first tip at random (1 to 24) and lays the dialog out for the current preset.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    WindowContext& m_context;
    DesignGeometry m_design;
    int m_tip = 1;
    bool m_shownOnce = false;
    QLabel* m_tipComment = nullptr;
    QPushButton* m_nextTip = nullptr;
    QPushButton* m_close = nullptr;
    QCheckBox* m_showTips = nullptr;
};

// "About": the program picture, its name and version.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(WindowContext& context, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    WindowContext& m_context;
    DesignGeometry m_design;
};
