#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <gtest/gtest.h>

// Every dialog goes through the prompter seam, so tests can see what the user would see.
TEST(SourceRules, OnlyThePrompterCallsQtDialogsDirectly) {
    const QRegularExpression direct(QStringLiteral(
        R"(QMessageBox::|QFileDialog::get|QFontDialog::|QColorDialog::|QPrintDialog\b)"));
    QStringList offenders;
    QDirIterator it(QStringLiteral(TW_SOURCE_DIR), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The prompter and the one dialog of its own it shows.
        if (path.endsWith(QLatin1String("/qt_prompter.cpp")) ||
            path.endsWith(QLatin1String("/qt_prompter.h")) ||
            path.endsWith(QLatin1String("/font_color_dialog.cpp")))
            continue;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        if (direct.match(QString::fromUtf8(f.readAll())).hasMatch())
            offenders << path;
    }
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(", ").toStdString();
}

// The engine is standard C++: it must not include Qt.
TEST(SourceRules, EngineHasNoQt) {
    QStringList offenders;
    QDirIterator it(QStringLiteral(TW_SOURCE_DIR) + "/dbase", {"*.cpp", "*.h"}, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        if (QString::fromUtf8(f.readAll()).contains(QRegularExpression("#include\\s*<Q")))
            offenders << path;
    }
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(", ").toStdString();
}

// Subsystem folders include each other one way only. Each folder names the folders it may
// include; a folder missing from the table, or an include that runs the other way, fails.
TEST(SourceRules, FoldersIncludeEachOtherOneWayOnly) {
    const QStringList lower = {"dbase",    "formats",    "ui",    "items",
                               "settings", "appearance", "lists", "session"};
    const QMap<QString, QStringList> allowed = {
        {"dbase", {}},
        {"formats", {"dbase"}},
        {"ui", {"formats"}},
        {"items", {"dbase", "formats", "ui"}},
        {"settings", {"dbase", "formats", "ui", "items"}},
        {"appearance", {"formats", "ui", "items", "settings"}},
        {"lists", {"formats", "ui", "items", "settings", "appearance"}},
        {"session", lower.mid(0, 7)},
        {"edit", lower},
        {"find", lower + QStringList{"edit"}},
        {"output", lower},
        {"reports", lower + QStringList{"find", "output"}},
        {"transfer", lower + QStringList{"find"}},
        {"backup", lower + QStringList{"find"}},
        {"mainwindow",
         lower + QStringList{"edit", "find", "output", "reports", "transfer", "backup"}},
        {"cli",
         {"dbase", "formats", "ui", "settings", "items", "lists", "session", "find", "output",
          "reports", "transfer", "backup"}},
    };
    const QRegularExpression include(QStringLiteral(R"(#include\s*"([a-z_]+)/)"));
    QStringList offenders;
    const QDir src(QStringLiteral(TW_SOURCE_DIR));
    for (const QString& folder : src.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!allowed.contains(folder)) {
            offenders << folder + " (not in the table)";
            continue;
        }
        QDirIterator it(src.filePath(folder), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            auto matches = include.globalMatch(QString::fromUtf8(f.readAll()));
            while (matches.hasNext()) {
                const QString target = matches.next().captured(1);
                if (target != folder && !allowed[folder].contains(target))
                    offenders << src.relativeFilePath(path) + " -> " + target;
            }
        }
    }
    EXPECT_TRUE(offenders.isEmpty()) << offenders.join(", ").toStdString();
}
