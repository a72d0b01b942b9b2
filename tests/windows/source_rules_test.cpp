#include <QDirIterator>
#include <QFile>
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
        if (path.endsWith(QLatin1String("/qt_prompter.cpp")) ||
            path.endsWith(QLatin1String("/qt_prompter.h")))
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
