#include "ui/help_window.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <memory>

namespace {
QString pageName(const QUrl& url) {
    return url.fileName();
}

QString readResource(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}
} // namespace

TEST(HelpWindow, OpensAtAKeywordOrAtTheContents) {
    THelpWindow help;
    EXPECT_EQ(help.windowTitle(), "Tallywick Inventory 97 Help");
    EXPECT_EQ(pageName(help.currentPage()), "index.html");

    help.showKeyword("Color Configuration");
    EXPECT_EQ(pageName(help.currentPage()), "colors.html");
    EXPECT_TRUE(help.browser()->toPlainText().contains("Predefined Color Combinations"));

    // Keywords are matched without regard to case; an unknown one opens the contents.
    help.showKeyword("inventory viewer");
    EXPECT_EQ(pageName(help.currentPage()), "viewer.html");
    help.showKeyword("No Such Window");
    EXPECT_EQ(pageName(help.currentPage()), "index.html");
    help.showKeyword("");
    EXPECT_EQ(pageName(help.currentPage()), "index.html");

    // Back and Forward walk the pages seen; Contents goes home.
    help.showKeyword("Tip of the Day");
    ASSERT_TRUE(help.backButton()->isEnabled());
    help.backButton()->click();
    EXPECT_EQ(pageName(help.currentPage()), "index.html");
    ASSERT_TRUE(help.forwardButton()->isEnabled());
    help.forwardButton()->click();
    EXPECT_EQ(pageName(help.currentPage()), "tips.html");
    help.contentsButton()->click();
    EXPECT_EQ(pageName(help.currentPage()), "index.html");
    EXPECT_FALSE(help.forwardButton()->isEnabled());
}

TEST(HelpWindow, EveryKeywordAndEveryLinkLeadsToAPage) {
    THelpWindow help; // makes sure the pages are registered
    const QStringList pages = QDir(":/help").entryList({"*.html"}, QDir::Files);
    ASSERT_FALSE(pages.isEmpty());

    for (const QString& keyword : helpKeywords()) {
        const QUrl page = helpPageForKeyword(keyword);
        EXPECT_TRUE(pages.contains(pageName(page))) << keyword.toStdString();
        if (keyword.compare("Contents", Qt::CaseInsensitive) != 0) {
            EXPECT_NE(pageName(page), "index.html") << keyword.toStdString();
        }
    }

    const QRegularExpression href(R"re(href\s*=\s*"([^"]*)")re");
    QSet<QString> linkedFromContents;
    for (const QString& page : pages) {
        const QString html = readResource(":/help/" + page);
        ASSERT_FALSE(html.isEmpty()) << page.toStdString();
        EXPECT_TRUE(html.contains("<title>")) << page.toStdString();
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1).section('#', 0, 0);
            EXPECT_TRUE(pages.contains(target))
                << page.toStdString() << " links to missing " << target.toStdString();
            if (page == "index.html")
                linkedFromContents << target;
        }
        // Pages ship as finished text.
        EXPECT_FALSE(html.contains("TODO", Qt::CaseInsensitive)) << page.toStdString();
    }
    for (const QString& page : pages) {
        if (page != "index.html") {
            EXPECT_TRUE(linkedFromContents.contains(page))
                << page.toStdString() << " is not reachable from the contents";
        }
    }
}

TEST(HelpWindow, OneWindowFollowsTheWindowThatAskedForIt) {
    QWidget main;
    // The main window low on the screen: help still opens wholly on it.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    main.setGeometry(screen.left() + 20, screen.bottom() - 120, 300, 100);
    THelpWindow* first = openHelp("Main Window", &main);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parentWidget(), &main);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_TRUE(screen.contains(first->geometry())) << first->geometry().y();
    EXPECT_EQ(pageName(first->currentPage()), "main_window.html");
    // Escape closes it; asking again shows it where it was.
    QTest::keyClick(first->browser(), Qt::Key_Escape);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(openHelp("Main Window", &main), first);
    EXPECT_TRUE(first->isVisible());

    {
        // A modal dialog blocks every other window, so help asked for from a dialog must
        // belong to that dialog; when the dialog is freed a later request starts afresh.
        auto dialog = std::make_unique<QDialog>(&main);
        THelpWindow* fromDialog = openHelp("Color Configuration", dialog.get());
        EXPECT_EQ(fromDialog, first);
        EXPECT_EQ(fromDialog->parentWidget(), dialog.get());
        EXPECT_TRUE(fromDialog->isWindow());
        EXPECT_TRUE(fromDialog->isVisible());
    }
    THelpWindow* again = openHelp("Contents", &main);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->parentWidget(), &main);
    EXPECT_EQ(pageName(again->currentPage()), "index.html");
    delete again;
}
