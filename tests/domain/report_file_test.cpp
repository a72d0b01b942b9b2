#include "reports/report_file.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

int int16At(const QByteArray& b, int at) {
    return qint16(quint16(quint8(b[at])) | quint16(quint8(b[at + 1]) << 8));
}

QString shortString(const QByteArray& b, int at) {
    return QString::fromLatin1(b.mid(at + 1, quint8(b[at])));
}

const QStringList kBuiltInNames = {"Short Narrow Report",
                                   "Short Wide Report",
                                   "Medium Report",
                                   "Medium Large Report",
                                   "Full Report",
                                   "Warranty Report",
                                   "Location & Owner Report",
                                   "Statistics/Summary Report"};

// An old-version record: name, line width, lines per item, one body line of parts.
QByteArray homeRecord(const QString& name, int chars, int lines,
                      const std::vector<std::pair<QString, int>>& bodyParts,
                      const std::vector<std::pair<QString, int>>& totalsParts = {}) {
    QByteArray r(kHomeRecordSize, '\0');
    auto putString = [&](int at, const QString& s) {
        r[at] = char(s.size());
        for (int i = 0; i < s.size(); ++i)
            r[at + 1 + i] = s[i].toLatin1();
    };
    auto put16 = [&](int at, int v) {
        r[at] = char(v & 0xFF);
        r[at + 1] = char((v >> 8) & 0xFF);
    };
    putString(0, name);
    put16(31, chars);
    r[83] = 1;
    r[84] = 1;
    r[85] = 1;
    put16(86, lines);
    auto putLine = [&](int at, const std::vector<std::pair<QString, int>>& parts) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            putString(at + int(i) * 75, parts[i].first);
            r[at + int(i) * 75 + 31] = char(0x63); // the old field number is not trusted
            put16(at + int(i) * 75 + 32, parts[i].second);
        }
    };
    putLine(88, totalsParts);
    putString(1588, QStringLiteral("My Title"));
    putLine(1831, bodyParts);
    return r;
}

} // namespace

TEST(ReportFile, MissingFileGetsTheEightBuiltInsByteForByte) {
    TestDir dir;
    ReportFile file = ReportFile::inDirectory(dir.path());
    EXPECT_TRUE(prepareReportFile(dir.path()).isEmpty());

    const QByteArray bytes = readBytes(file.path());
    ASSERT_EQ(bytes.size(), 8 * kReportRecordSize);
    QStringList names;
    for (int i = 0; i < 8; ++i)
        names << shortString(bytes, i * kReportRecordSize);
    EXPECT_EQ(names, kBuiltInNames);
    EXPECT_EQ(file.names(), kBuiltInNames);

    // Spot checks against the layout: Short Narrow at 90 characters and 10 points with lines.
    EXPECT_EQ(int16At(bytes, 31), 90);
    EXPECT_EQ(shortString(bytes, 33), QStringLiteral("Arial"));
    EXPECT_EQ(int16At(bytes, 33 + 51), 10);
    EXPECT_EQ(bytes[1877], 1);
    EXPECT_EQ(bytes[1878], 1);
    EXPECT_EQ(shortString(bytes, 2122), QStringLiteral("Item"));
    EXPECT_EQ(bytes[2122 + 31], 1);
    EXPECT_EQ(int16At(bytes, 2122 + 32), 32);
    // The standard totals line: "Replacement Cost:" label of width 19 as part 4.
    EXPECT_EQ(shortString(bytes, 345 + 3 * 75), QStringLiteral("<LABEL>"));
    EXPECT_EQ(shortString(bytes, 345 + 3 * 75 + 34), QStringLiteral("Replacement Cost:"));
    EXPECT_EQ(int16At(bytes, 345 + 3 * 75 + 32), 19);
    EXPECT_EQ(bytes[345 + 5 * 75 + 31], 3); // totals field 3
    // Margins are doubles of 0.5.
    double top = 0;
    std::memcpy(&top, bytes.constData() + 1845, 8);
    EXPECT_EQ(top, 0.5);
    // Groups: level 1 on, level 2 off; the reserved area is zero.
    EXPECT_EQ(bytes[20122], 1);
    EXPECT_EQ(bytes[20123], 0);
    EXPECT_EQ(bytes.mid(20124, 498), QByteArray(498, '\0'));

    // A second start-up leaves the file alone.
    ASSERT_TRUE(file.remove(0));
    EXPECT_TRUE(prepareReportFile(dir.path()).isEmpty());
    EXPECT_EQ(file.names().size(), 7);
}

TEST(ReportFile, StatisticsWarrantyAndFullReportHoldTheirLayouts) {
    const auto all = builtInReports();
    ASSERT_EQ(all.size(), 8u);
    const ReportDefinition& stats = all[7];
    EXPECT_EQ(stats.numLines, 0);
    EXPECT_FALSE(stats.columnHeaders);
    for (const ReportLine& l : stats.body)
        EXPECT_EQ(l, ReportLine::empty());

    const ReportDefinition& warranty = all[5];
    EXPECT_FALSE(warranty.useTotals);
    EXPECT_EQ(warranty.totals.usedParts(), 1);
    EXPECT_EQ(warranty.totals.parts[0].kind, kFillerKind);
    EXPECT_EQ(warranty.totals.parts[0].width, 150);

    const ReportDefinition& full = all[4];
    EXPECT_EQ(full.numLines, 7);
    const ReportLine& l5 = full.body[4];
    ASSERT_EQ(l5.usedParts(), 12);
    EXPECT_EQ(l5.parts[5].kind, QStringLiteral("Warranty"));
    EXPECT_EQ(l5.parts[5].fieldNumber, 14);
    EXPECT_EQ(l5.parts[5].width, 3);
    EXPECT_EQ(full.body[6], ReportLine::empty());

    // Every built-in survives the trip through its bytes.
    for (const ReportDefinition& d : all) {
        const EncodedReport enc = encodeReport(d);
        ASSERT_TRUE(enc.error.isEmpty()) << enc.error.toStdString();
        auto back = decodeReport(enc.bytes);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, d) << d.name.toStdString();
    }
}

TEST(ReportFile, WriteAppendAndDeleteKeepTheOtherRecords) {
    TestDir dir;
    ReportFile file = ReportFile::inDirectory(dir.path());
    ASSERT_TRUE(file.createIfMissing());

    ReportDefinition mine = ReportDefinition::newUserDefinition();
    mine.name = QStringLiteral("Thirty characters long, exact"); // 29
    mine.name += QLatin1Char('!');
    ASSERT_EQ(mine.name.size(), 30);
    mine.titles[0] = QStringLiteral("Caf\u00e9 inventory");
    EXPECT_EQ(file.write(mine, ReportFile::kAppend), 8);
    auto read = file.read(8);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, mine);
    EXPECT_EQ(quint8(readBytes(file.path())[8 * kReportRecordSize + 1879 + 4]), 0xE9u);

    // Overwrite in place.
    mine.name = QStringLiteral("Renamed");
    EXPECT_EQ(file.write(mine, 2), 2);
    EXPECT_EQ(file.names().at(2), QStringLiteral("Renamed"));
    EXPECT_EQ(file.names().size(), 9);

    // Texts the record cannot hold are refused and the file stays as it was.
    const QByteArray before = readBytes(file.path());
    QString problem;
    mine.name = QString(31, QLatin1Char('x'));
    EXPECT_FALSE(file.write(mine, 0, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("longer than 30"))) << problem.toStdString();
    mine.name = QStringLiteral("Snowman \u2603");
    EXPECT_FALSE(file.write(mine, 0, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("\u2603"))) << problem.toStdString();
    EXPECT_EQ(readBytes(file.path()), before);

    // Deleting the last record cuts one record and moves nothing.
    ASSERT_TRUE(file.remove(8));
    EXPECT_EQ(readBytes(file.path()), before.left(8 * kReportRecordSize));
    // Deleting record 0 moves the others up.
    ASSERT_TRUE(file.remove(0));
    EXPECT_EQ(readBytes(file.path()), before.mid(kReportRecordSize, 7 * kReportRecordSize));
    EXPECT_FALSE(file.remove(7, &problem));
    EXPECT_EQ(problem, QStringLiteral("Report format could not be located."));
}

TEST(ReportFile, DeletingTheOnlyRecordLeavesAnEmptyFileAndList) {
    TestDir dir;
    ReportFile file = ReportFile::inDirectory(dir.path());
    // Writing to a missing file creates it; the new definition becomes record 0.
    EXPECT_EQ(file.write(ReportDefinition::newUserDefinition(), ReportFile::kAppend), 0);
    ASSERT_TRUE(file.remove(0));
    EXPECT_TRUE(QFileInfo::exists(file.path()));
    EXPECT_EQ(QFileInfo(file.path()).size(), 0);
    QString problem;
    EXPECT_TRUE(file.names(&problem).isEmpty());
    EXPECT_TRUE(problem.isEmpty());
}

TEST(ReportFile, DamagedFilesAreRefusedAndNeverOverwritten) {
    TestDir dir;
    ReportFile file = ReportFile::inDirectory(dir.path());
    ASSERT_TRUE(file.createIfMissing());
    const QByteArray good = readBytes(file.path());

    // A length that is no whole number of records, cut at several places.
    for (int cut : {1, 100, kReportRecordSize - 1, kReportRecordSize + 1, int(good.size()) - 1}) {
        writeBytes(file.path(), good.left(cut));
        QString problem;
        EXPECT_TRUE(file.names(&problem).isEmpty());
        EXPECT_TRUE(problem.contains(QStringLiteral("not a whole number of report records")))
            << problem.toStdString();
        EXPECT_FALSE(file.read(0, &problem));
        EXPECT_FALSE(file.write(ReportDefinition(), ReportFile::kAppend, &problem));
        EXPECT_FALSE(file.remove(0, &problem));
        EXPECT_EQ(readBytes(file.path()), good.left(cut)) << cut;
    }

    // Every string of record 3 claiming more than it holds; impossible line counts and widths.
    std::vector<std::pair<int, quint8>> damage = {{0, 31}, {1879, 81}, {33, 51}, {155, 200}};
    for (int part = 0; part < 20; ++part) {
        damage.push_back({2122 + part * 75, 31});
        damage.push_back({345 + part * 75 + 34, 41});
    }
    damage.push_back({343, 13});   // 13 lines per item
    damage.push_back({344, 0x80}); // negative line count
    damage.push_back({31, 0});     // 0 characters per line
    damage.push_back({32, 0x80});  // negative characters per line
    for (auto [offset, value] : damage) {
        QByteArray bad = good;
        bad[3 * kReportRecordSize + offset] = char(value);
        writeBytes(file.path(), bad);
        QString problem;
        EXPECT_TRUE(file.names(&problem).isEmpty()) << offset;
        EXPECT_TRUE(problem.contains(QStringLiteral("record 4"))) << problem.toStdString();
        EXPECT_FALSE(file.write(ReportDefinition(), 0, &problem));
        EXPECT_EQ(readBytes(file.path()), bad);
    }
}

TEST(ReportFile, TwoWritersAtOnceLoseNothing) {
    TestDir dir;
    ReportFile a = ReportFile::inDirectory(dir.path());
    ASSERT_TRUE(a.createIfMissing());
    auto writer = [&](const QString& prefix) {
        ReportFile mine = ReportFile::inDirectory(dir.path());
        for (int i = 0; i < 15; ++i) {
            ReportDefinition d;
            d.name = prefix + QString::number(i);
            EXPECT_TRUE(mine.write(d, ReportFile::kAppend).has_value());
        }
    };
    std::thread t1(writer, QStringLiteral("A")), t2(writer, QStringLiteral("B"));
    t1.join();
    t2.join();
    const QStringList names = a.names();
    EXPECT_EQ(names.size(), 8 + 30);
    for (int i = 0; i < 15; ++i) {
        EXPECT_TRUE(names.contains(QStringLiteral("A%1").arg(i)));
        EXPECT_TRUE(names.contains(QStringLiteral("B%1").arg(i)));
    }
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("TWKINV.URP")});
}

TEST(ReportFile, HomeFileOfOnlyOldBuiltInsAddsNothingAndIsDeleted) {
    TestDir dir;
    QByteArray home;
    for (const char* name : {"90 Column 1 Line Report", "120 Column 2 Line Report", "Full Report",
                             "Statistics/Summary Report", "120 Column 1 Line Report",
                             "120 Column 4 Line Report", "1 Line Warranty Report"})
        home += homeRecord(QString::fromLatin1(name), 120, 1, {{"Item", 120}});
    writeBytes(dir.file("HOME.URP"), home);
    EXPECT_TRUE(prepareReportFile(dir.path()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.file("HOME.URP")));
    EXPECT_EQ(ReportFile::inDirectory(dir.path()).names(), kBuiltInNames);
}

TEST(ReportFile, HomeFileConversionDerivesFieldNumbersAndCountsUnknownNames) {
    TestDir dir;
    QByteArray home = homeRecord(QStringLiteral("Full Report"), 120, 1, {{"Item", 120}});
    home +=
        homeRecord(QStringLiteral("Basement"), 90, 2,
                   {{"Item", 30}, {"<LABEL>", 10}, {"RepCost", 20}, {"Gadget", 15}, {"Owner", 15}},
                   {{"Replacement Cost", 20}, {"Quantity", 10}, {"Sum", 10}});
    // A trailing part record: the conversion stops there.
    home += QByteArray(100, 'x');
    writeBytes(dir.file("HOME.URP"), home);

    const QString note = prepareReportFile(dir.path());
    EXPECT_EQ(note, QStringLiteral("2 report parts converted from HOME.URP name no known field "
                                   "and were left as empty space."));
    EXPECT_FALSE(QFileInfo::exists(dir.file("HOME.URP")));

    ReportFile file = ReportFile::inDirectory(dir.path());
    ASSERT_EQ(file.names().size(), 9);
    auto d = file.read(8);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->name, QStringLiteral("Basement"));
    EXPECT_EQ(d->charsPerLine, 90);
    EXPECT_EQ(d->numLines, 2);
    EXPECT_EQ(d->titles[0], QStringLiteral("My Title"));
    EXPECT_EQ(d->fonts[TitleFont].face, QStringLiteral("Courier New"));
    EXPECT_EQ(d->fonts[BodyFont].size, 10);
    EXPECT_TRUE(d->fonts[FootnoteFont].bold);
    EXPECT_FALSE(d->fonts[BodyFont].bold);
    EXPECT_FALSE(d->vertLines);

    const ReportLine& body = d->body[0];
    EXPECT_EQ(body.parts[0].fieldNumber, 1);
    EXPECT_EQ(body.parts[1].partKind(), PartKind::Label);
    EXPECT_EQ(body.parts[2].fieldNumber, 13);
    EXPECT_EQ(body.parts[3].kind, kFillerKind); // "Gadget": empty space of the same width
    EXPECT_EQ(body.parts[3].width, 15);
    EXPECT_EQ(body.parts[4].fieldNumber, 17);
    EXPECT_EQ(d->totals.parts[0].fieldNumber, 3);
    EXPECT_EQ(d->totals.parts[1].fieldNumber, 4);
    EXPECT_EQ(d->totals.parts[2].kind, kFillerKind);
}

TEST(ReportFile, HomeFileStaysWhenTheNewFileCannotTakeItsRecords) {
    TestDir dir;
    ReportFile file = ReportFile::inDirectory(dir.path());
    ASSERT_TRUE(file.createIfMissing());
    QByteArray damagedUrp = readBytes(file.path());
    damagedUrp.chop(1);
    writeBytes(file.path(), damagedUrp);
    writeBytes(dir.file("HOME.URP"), homeRecord(QStringLiteral("Attic"), 120, 1, {{"Item", 120}}));

    const QString note = prepareReportFile(dir.path());
    EXPECT_TRUE(note.contains(QStringLiteral("is damaged"))) << note.toStdString();
    // Nothing was lost: both files are as they were, and the next start tries again.
    EXPECT_TRUE(QFileInfo::exists(dir.file("HOME.URP")));
    EXPECT_EQ(readBytes(file.path()), damagedUrp);
}
