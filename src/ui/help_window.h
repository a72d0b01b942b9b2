#pragma once

#include <QStringList>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

// The program's help: HTML pages compiled in as resources, shown in one help window that is
// opened at the contents or at the keyword a window names ("Color Configuration", ...).

// The page of a keyword, compared without regard to case; an unknown or empty keyword gives
// the contents page.
QUrl helpPageForKeyword(const QString& keyword);
// Every keyword that has a page of its own.
QStringList helpKeywords();
QUrl helpContentsPage();

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    void showContents();
    void showKeyword(const QString& keyword);
    QUrl currentPage() const;

    QTextBrowser* browser() const { return m_browser; }
    QPushButton* contentsButton() const { return m_contents; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* forwardButton() const { return m_forward; }

protected:
    // Escape closes help, as it does a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* m_browser = nullptr;
    QPushButton* m_contents = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_forward = nullptr;
};

// Shows the program's one help window at a keyword ("Contents" or an empty keyword for the
// contents) and brings it to the front. The window is kept above owner, so it stays usable
// while a modal dialog that asked for help is open.
THelpWindow* openHelp(const QString& keyword, QWidget* owner);

// F1 in the window (or any of its controls) opens its help page, as on every Linux desktop;
// the window's own help keys stay as they are.
void setHelpKeyword(QWidget* window, const QString& keyword);
