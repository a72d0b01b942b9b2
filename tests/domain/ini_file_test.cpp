#include "settings/ini_file.h"

#include "qstring_printer.h"
#include "test_files.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

TEST(IniFile, NamesCompareWithoutCaseAndFirstDuplicateWins) {
    const IniFile ini = IniFile::fromBytes("[Misc]\r\n"
                                           "Button Bar = 2 \r\n"
                                           "button bar=3\r\n"
                                           "[MISC]\r\n"
                                           "Window Size=800\r\n"
                                           "[Other]\r\n"
                                           "Key=a=b\r\n");
    EXPECT_EQ(ini.value("misc", "BUTTON BAR"), "2");
    // A second section of the same name is never read, as on Windows.
    EXPECT_EQ(ini.value("Misc", "Window Size"), std::nullopt);
    EXPECT_EQ(ini.value("other", "key"), "a=b");
    EXPECT_EQ(ini.value("Missing", "Key", "fallback"), "fallback");
    EXPECT_FALSE(ini.hasSection("Nope"));
}

TEST(IniFile, WritesKeepPlacesAndAppendNewKeysAndSections) {
    IniFile ini = IniFile::fromBytes("; made by hand\r\n"
                                     "[A]\r\n"
                                     "One=1\r\n"
                                     "Two = 2\r\n"
                                     "\r\n"
                                     "[B]\r\n"
                                     "Three=3\r\n");
    ini.setValue("a", "ONE", "10");  // changed key keeps its place and its spelling
    ini.setValue("A", "Four", "4");  // new key: end of its section, before the blank line
    ini.setValue("C", "Five", "5");  // new section: end of the file
    ini.setValue("B", "Three", "3"); // unchanged: the line stays as written
    EXPECT_EQ(ini.toBytes(), QByteArray("; made by hand\r\n"
                                        "[A]\r\n"
                                        "One=10\r\n"
                                        "Two = 2\r\n"
                                        "Four=4\r\n"
                                        "\r\n"
                                        "[B]\r\n"
                                        "Three=3\r\n"
                                        "[C]\r\n"
                                        "Five=5\r\n"));
}

TEST(IniFile, ValuesWithLineBreaksCannotInjectKeys) {
    IniFile ini;
    ini.setValue("Misc", "Last Database", "/tmp/a\n[Misc]\nButton Bar=3");
    const IniFile back = IniFile::fromBytes(ini.toBytes());
    EXPECT_EQ(back.keys("Misc"), QStringList{"Last Database"});
    EXPECT_EQ(back.sections(), QStringList{"Misc"});
}

TEST(IniFile, DamagedFilesReadWithoutCrashing) {
    // Binary junk, a section header without its bracket, keys without values, NULs and a
    // megabyte-long line, then a good key that must still be found.
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 37) & 0xFF);
    const QByteArray bytes = junk + "\n[Misc\n=no key\nnovalue\n" + QByteArray(1 << 20, 'x') +
                             "\n" + QByteArray(3, '\0') + "=\nShow Tips=No\n";
    const IniFile ini = IniFile::fromBytes(bytes);
    EXPECT_EQ(ini.value("Misc", "Show Tips"), "No");

    // Every cut of a good file reads without crashing.
    const QByteArray good = "[Misc]\r\nButton Bar=2\r\nWindow Size=800\r\n";
    for (int cut = 0; cut <= good.size(); ++cut) {
        const IniFile part = IniFile::fromBytes(good.left(cut));
        if (cut == good.size()) {
            EXPECT_EQ(part.value("Misc", "Window Size"), "800");
        }
    }
}

TEST(IniFile, FilesReadAsUtf8OrWindows1252AndAreWrittenAsUtf8) {
    TestDir dir;
    const QString path = dir.file("TWKINV.INI");
    writeAll(path, "[Reports]\r\nYour Name=Ren\xE9\x80\r\n"); // 1252 bytes, not UTF-8
    IniFile ini = IniFile::load(path);
    EXPECT_EQ(ini.value("Reports", "Your Name"), QString::fromUtf8("René€"));
    ini.setValue("Reports", "Policy Number", QString::fromUtf8("Nº 7"));
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readAll(path), QString::fromUtf8("[Reports]\r\nYour Name=René€\r\n"
                                               "Policy Number=Nº 7\r\n")
                                 .toUtf8());
    EXPECT_EQ(IniFile::load(path).value("Reports", "Your Name"), QString::fromUtf8("René€"));
}

TEST(IniFile, UnreadableFileReadsEmptyAndFailedSaveKeepsTheOldFile) {
    TestDir dir;
    EXPECT_TRUE(IniFile::load(dir.file("missing.ini")).sections().isEmpty());
    EXPECT_TRUE(IniFile::load(dir.path()).sections().isEmpty()); // a directory

    IniFile ini;
    ini.setValue("Misc", "Key", "1");
    QString error;
    EXPECT_FALSE(ini.save(dir.file("no/such/dir/X.INI"), &error));
    EXPECT_TRUE(error.contains("no/such/dir/X.INI")) << error.toStdString();
}

TEST(IniFile, WritingNeverChangesWhatOtherKeysRead) {
    // Random files of headers, keys, duplicates and junk; random writes. After a save and a
    // fresh read, every key reads what it read before, except the ones written, which read
    // their new values.
    std::srand(4242);
    const char* names[] = {"Misc", "misc", "A", "Field Names", " B ", "[C]", ""};
    const char* junk[] = {"", "   ", ";comment=1", "no equals", "=", "[", "]", "x=y=z", "\t\t"};
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes;
        const int lines = std::rand() % 30;
        for (int i = 0; i < lines; ++i) {
            switch (std::rand() % 3) {
            case 0:
                bytes += QByteArray("[") + names[std::rand() % 7] + "]";
                break;
            case 1:
                bytes += QByteArray(names[std::rand() % 7]) + "=" + QByteArray::number(i);
                break;
            default:
                bytes += junk[std::rand() % 9];
            }
            bytes += std::rand() % 2 ? "\r\n" : "\n";
        }
        IniFile ini = IniFile::fromBytes(bytes);
        // Key names of the program never start with '[' (that line would be a header).
        const QStringList sections{"Misc", "A", "Field Names", "B", "[C", "New"};
        const QStringList keys{"Misc", "A", "Field Names", "B", "C]", "New"};
        std::map<std::pair<QString, QString>, std::optional<QString>> expected;
        for (const QString& s : sections)
            for (const QString& k : keys)
                expected[{s.toCaseFolded(), k.toCaseFolded()}] = ini.value(s, k);
        for (int w = 0; w < 5; ++w) {
            const QString s = sections[std::rand() % sections.size()];
            const QString k = keys[std::rand() % keys.size()];
            const QString v = QStringLiteral("w%1").arg(w);
            ini.setValue(s, k, v);
            expected[{s.toCaseFolded(), k.toCaseFolded()}] = v;
        }
        const IniFile back = IniFile::fromBytes(ini.toBytes());
        for (const auto& [sk, v] : expected) {
            EXPECT_EQ(back.value(sk.first, sk.second), v)
                << "round " << round << " [" << sk.first.toStdString() << "] "
                << sk.second.toStdString() << "\n"
                << bytes.toStdString();
        }
    }
}
