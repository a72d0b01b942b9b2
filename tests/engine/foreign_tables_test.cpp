#include "../support/dbf_bytes.h"
#include "engine_support.h"

#include "dbase/code_page.h"
#include "dbase/table_tools.h"

#include <cstdio>
#include <cstring>
#include <sstream>

using namespace dbase;
using namespace enginetest;
using namespace dbfbytes;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Prints each live record as one line, values separated by \x1f, in the form
// S:text / N:number(%.17g) / D:iso-date / L:T|F / - for blank, as the independent reader sees it.
constexpr const char* kReaderScript = R"(
import sys, datetime, dbfread
t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2], char_decode_errors='strict')
out = sys.stdout
for rec in t:
    vals = []
    for v in rec.values():
        if v is None: vals.append('-')
        elif isinstance(v, bool): vals.append('L:' + ('T' if v else 'F'))
        elif isinstance(v, (int, float)): vals.append('N:' + format(float(v), '.17g'))
        elif isinstance(v, datetime.date): vals.append('D:' + v.isoformat())
        else: vals.append('S:' + v)
    out.write('\x1f'.join(vals) + '\n')
)";

bool haveReader() {
    if (::access(kPython, X_OK) != 0)
        return false;
    return std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") == 0;
}

std::string pythonEncoding(CodePage page) {
    switch (page) {
    case CodePage::MacRoman:
        return "mac_roman";
    case CodePage::MacCyrillic:
        return "mac_cyrillic";
    case CodePage::MacCentralEurope:
        return "mac_latin2";
    default:
        return "cp" + std::to_string(static_cast<int>(page));
    }
}

std::string runReader(const fs::path& file, CodePage page, const TempDir& dir) {
    const fs::path script = dir.file("reader.py");
    writeFile(script, kReaderScript);
    const std::string command = std::string(kPython) + " '" + script.string() + "' '" +
                                file.string() + "' " + pythonEncoding(page) + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return "popen failed";
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    if (::pclose(pipe) != 0)
        out += "\n[reader failed]";
    return out;
}

// Our view of the same records in the reader's notation.
std::string ourView(Table& t) {
    std::string out;
    char num[64];
    for (t.first(); !t.eof(); t.next()) {
        for (int i = 0; i < t.fieldCount(); ++i) {
            if (i > 0)
                out += '\x1f';
            // The reader gives blank text as an empty string, blank numbers and dates as None.
            if (t.field(i).type != FieldType::Character && t.isBlank(i)) {
                out += '-';
                continue;
            }
            switch (t.field(i).type) {
            case FieldType::Numeric:
            case FieldType::Float:
                std::snprintf(num, sizeof num, "N:%.17g", *t.fieldDouble(i));
                out += num;
                break;
            case FieldType::Date: {
                const Date d = *t.fieldDate(i);
                std::snprintf(num, sizeof num, "D:%04d-%02d-%02d", d.year, d.month, d.day);
                out += num;
                break;
            }
            case FieldType::Logical:
                out += *t.fieldLogical(i) ? "L:T" : "L:F";
                break;
            default:
                out += "S:" + toUtf8(t.fieldText(i), t.codePage());
            }
        }
        out += '\n';
    }
    return out;
}

void expectSameLines(const std::string& theirs, const std::string& ours) {
    std::istringstream a(theirs);
    std::istringstream b(ours);
    std::string la;
    std::string lb;
    int line = 0;
    while (true) {
        const bool moreA = static_cast<bool>(std::getline(a, la));
        const bool moreB = static_cast<bool>(std::getline(b, lb));
        ++line;
        if (!moreA && !moreB)
            return;
        ASSERT_EQ(la, lb) << "record line " << line;
    }
}

std::string dumpToString(Table& t) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* mem = ::open_memstream(&data, &size);
    try {
        dumpCsv(t, mem, "memory");
    } catch (...) {
        std::fclose(mem);
        std::free(data);
        throw;
    }
    std::fclose(mem);
    std::string out(data, size);
    std::free(data);
    return out;
}

std::string allText(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& l : lines)
        all += l + "\n";
    return all;
}

// The table the reader sees agrees with ours, when the reader is there.
void expectReaderAgrees(const fs::path& file, const TempDir& dir) {
    if (!haveReader())
        return;
    Table t;
    t.openFile(file, OpenMode::ReadOnly);
    expectSameLines(runReader(file, t.codePage(), dir), ourView(t));
}

} // namespace

TEST(ForeignTables, TablesWrittenByOtherSoftwareOpenAndRead) {
    struct Expect {
        const char* file;
        std::uint32_t records;
        std::uint8_t driver;
        int priceWidth;
        int priceDecimals;
        const char* firstCategory;
        double firstPrice;
    };
    const Expect cases[] = {
        {"TEST3.DBF", 3, 0x1B, 10, 2, "tools", 11.07},
        {"ND.DBF", 3, 0x1B, 10, 2, "tools", 11.07},
        {"BIG.DBF", 200, 0x1B, 10, 2, "lambda970", 11.07},
        {"TB.DBF", 200, 0x57, 18, 8, "ZETA970", 11.0},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        dir.copyFixture(std::string("foreign-mdx/") + c.file);
        dir.copyFixture("foreign-mdx/" + fs::path(c.file).stem().string() + ".MDX");
        Table t;
        // Byte 28 is set in these files; the table opens all the same.
        t.open(dir.path(), fs::path(c.file).stem().string(), OpenMode::Shared);
        EXPECT_TRUE(t.hasProductionIndex());
        EXPECT_EQ(t.languageDriver(), c.driver);
        EXPECT_EQ(t.recordCount(), c.records);
        ASSERT_EQ(t.fieldCount(), 6);
        const char* names[] = {"ID", "CATEGORY", "NAME", "PRICE", "ADDED", "ACTIVE"};
        const FieldType types[] = {FieldType::Numeric, FieldType::Character, FieldType::Character,
                                   FieldType::Numeric, FieldType::Date,      FieldType::Logical};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(t.field(i).name, names[i]);
            EXPECT_EQ(t.field(i).type, types[i]);
        }
        EXPECT_EQ(t.field(3).length, c.priceWidth);
        EXPECT_EQ(t.field(3).decimals, c.priceDecimals);

        t.first();
        EXPECT_EQ(t.fieldInteger("ID"), 1);
        EXPECT_EQ(t.fieldText("CATEGORY"), c.firstCategory);
        EXPECT_EQ(t.fieldText("NAME"), "Item 1");
        EXPECT_DOUBLE_EQ(*t.fieldDouble("PRICE"), c.firstPrice);
        EXPECT_EQ(t.fieldLogical(t.fieldIndex("ACTIVE")), true);
        std::int64_t expectedId = 1;
        for (; !t.eof(); t.next())
            EXPECT_EQ(t.fieldInteger("ID"), expectedId++);
        EXPECT_EQ(expectedId, c.records + 1);

        // Writing keeps byte 28 as found.
        t.last();
        t.edit();
        t.setFieldText("NAME", "Changed");
        t.post();
        t.close();
        EXPECT_EQ(readFile(dir.file(c.file))[28], '\x01');
    }
}

TEST(ForeignTables, IndependentReaderAgreesOnTheFixtures) {
    if (!haveReader())
        GTEST_SKIP() << "/usr/bin/python3 with dbfread is not installed";
    for (const char* file : {"TEST3.DBF", "ND.DBF", "BIG.DBF", "TB.DBF"}) {
        SCOPED_TRACE(file);
        TempDir dir;
        const fs::path copy = dir.copyFixture(std::string("foreign-mdx/") + file);
        dir.copyFixture("foreign-mdx/" + fs::path(file).stem().string() + ".MDX");
        Table t;
        t.openFile(copy, OpenMode::ReadOnly);
        expectSameLines(runReader(copy, t.codePage(), dir), ourView(t));
    }
}

TEST(ForeignTables, IndependentReaderReadsWhatWeWrite) {
    if (!haveReader())
        GTEST_SKIP() << "/usr/bin/python3 with dbfread is not installed";
    TempDir dir;
    Table::create(dir.path(), "ITEMS", itemFields());
    Table t;
    t.open(dir.path(), "ITEMS", OpenMode::Shared);
    const auto text = [&](const char* field, const std::string& utf8) {
        const EncodeResult bytes = fromUtf8(utf8, t.codePage());
        ASSERT_TRUE(bytes.ok);
        t.setFieldText(field, bytes.bytes);
    };
    for (int i = 0; i < 40; ++i) {
        t.append();
        text("Item", "Caf\u00E9 table \u20AC" + std::to_string(i));
        text("Brand", i % 3 == 0 ? "" : "\u201CQuoted\u201D");
        text("Descriptio", std::string(110, 'x'));
        text("Warranty", i % 2 ? "Yes" : "No");
        t.setFieldInteger("Quantity", i % 5 == 0 ? 0 : i * 37 - 500);
        if (i % 4 != 0)
            t.setFieldDate("PurchDate", {1990 + i, 1 + i % 12, 1 + i % 28});
        if (i % 6 != 0)
            t.setFieldText("Cost", std::to_string(i * 1234567) + ".5" + std::to_string(i % 10));
        t.setFieldDouble("Value", i == 7 ? 0.0 : -0.01 * i);
        t.setFieldText("RepCost", "999999999999.99");
        t.post();
    }
    t.first();
    t.next();
    t.deleteRecord(); // the reader skips deleted records too
    const std::string ours = ourView(t);
    t.close();
    expectSameLines(runReader(dir.file("ITEMS.DBF"), CodePage::Windows1252, dir), ours);
    EXPECT_EQ(std::count(ours.begin(), ours.end(), '\n'), 39);
}

// What other writers leave in a header or a number field is read the way other readers read
// it: a line feed ending the field list, a character field wider than 255 whose high length
// byte sits in the decimals byte (and a stray decimals byte on a narrow one), and a number that
// overflowed its field, filled with '*', which reads as blank.
TEST(ForeignTables, OddHeadersAndOverflowedNumbersReadAsOtherReadersDo) {
    TempDir dir;
    TableDesc desc;
    desc.terminator = '\n';
    desc.fields = {{"NOTE", 'C', 300}, {"QTY", 'N', 5}, {"PRICE", 'N', 8, 2}, {"CODE", 'C', 4}};
    const std::string longNote = std::string(290, 'x') + " the end";
    desc.records = {" " + left(longNote, 300) + right("12", 5) + right("3.50", 8) + "A1  ",
                    " " + left("short", 300) + "*****" + "********" + "B2  ",
                    " " + left("", 300) + right("-4", 5) + right("", 8) + "C3  "};
    const fs::path file = dir.file("ODD.DBF");
    writeFile(file, tableFile(desc));

    Table t;
    t.openFile(file, OpenMode::ReadOnly);
    EXPECT_EQ(t.field(0).length, 300);
    t.first();
    EXPECT_EQ(t.fieldText("NOTE"), longNote);
    EXPECT_EQ(t.fieldText("CODE"), "A1");
    t.next();
    EXPECT_TRUE(t.isBlank("QTY"));
    EXPECT_EQ(t.fieldText("PRICE"), "");
    EXPECT_EQ(t.fieldDouble("PRICE"), std::nullopt);
    EXPECT_EQ(t.fieldInteger("QTY"), std::nullopt);
    EXPECT_EQ(dumpToString(t),
              "NOTE,QTY,PRICE,CODE\n" + longNote + ",12,3.50,A1\n" + "short,,,B2\n,-4,,C3\n");

    const CheckReport report = checkTable(file);
    EXPECT_EQ(report.problemCount, 0u) << allText(report.problems);
    EXPECT_TRUE(report.notes.empty()) << allText(report.notes);
    expectReaderAgrees(file, dir);

    // Noise in a narrow character field's decimals byte: the record length shows it is no high
    // length byte, while NOTE's still is.
    std::string noisy = tableFile(desc);
    noisy[32 + 3 * 32 + 17] = 2;
    writeFile(file, noisy);
    t.openFile(file, OpenMode::ReadOnly);
    EXPECT_EQ(t.field(0).length, 300);
    EXPECT_EQ(t.field(3).length, 4);
    t.first();
    EXPECT_EQ(t.fieldText("CODE"), "A1");
}

// Memo fields read their text from the memo file: dBase III's and dBase IV's .DBT (the latter
// with its block size from the header) and FoxPro's .FPT, found in either letter case.
TEST(ForeignTables, MemoFieldsReadTheirTextFromTheMemoFile) {
    struct Kind {
        const char* table;
        const char* memo;
        std::uint8_t version;
        bool readerToo; // the independent reader's notion of the format matches the files'
    };
    const Kind kinds[] = {{"D3.DBF", "D3.DBT", 0x83, true},
                          {"D4.DBF", "D4.DBT", 0x8B, false},
                          {"fox.dbf", "fox.fpt", 0xF5, true}};
    const std::vector<std::string> memos = {"a memo, \"quoted\"", std::string(700, 'm') + " end",
                                            "caf\xE9 line\r\nnext"};
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.table);
        TempDir dir;
        std::vector<int> blocks;
        const std::string memoFile = k.version == 0x83   ? dbase3Memo(memos, blocks)
                                     : k.version == 0x8B ? dbase4Memo(memos, blocks, 1024)
                                                         : foxMemo(memos, blocks, 64);
        TableDesc desc;
        desc.version = k.version;
        desc.driver = 0x03;
        desc.fields = {{"NAME", 'C', 6}, {"NOTES", 'M', 10}};
        for (std::size_t i = 0; i < memos.size(); ++i)
            desc.records.push_back(" " + left("r" + std::to_string(i + 1), 6) +
                                   right(std::to_string(blocks[i]), 10));
        desc.records.push_back(" " + left("none", 6) + right("", 10));
        writeFile(dir.file(k.table), tableFile(desc));
        writeFile(dir.file(k.memo), memoFile);

        Table t;
        t.openFile(dir.file(k.table), OpenMode::ReadOnly);
        ASSERT_NE(t.memoFile(), nullptr);
        EXPECT_EQ(t.memoFile()->path().filename(), k.memo);
        t.first();
        for (const std::string& m : memos) {
            EXPECT_EQ(t.fieldText("NOTES"), m);
            EXPECT_FALSE(t.isBlank("NOTES"));
            t.next();
        }
        EXPECT_TRUE(t.isBlank("NOTES"));
        EXPECT_EQ(t.fieldText("NOTES"), "");
        EXPECT_EQ(dumpToString(t), "NAME,NOTES\nr1,\"a memo, \"\"quoted\"\"\"\nr2," +
                                       std::string(700, 'm') +
                                       " end\nr3,\"caf\u00E9 line\r\nnext\"\nnone,\n");
        const CheckReport report = checkTable(dir.file(k.table));
        EXPECT_EQ(report.problemCount, 0u) << allText(report.problems);
        if (k.readerToo)
            expectReaderAgrees(dir.file(k.table), dir);

        // dBase tables with memos stay writable, but not their memo text; FoxPro tables are
        // read only.
        t.close();
        if (k.version == 0xF5) {
            try {
                t.openFile(dir.file(k.table), OpenMode::Shared);
                ADD_FAILURE() << "a FoxPro table opened for writing";
            } catch (const DatabaseError& e) {
                EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
            }
        } else {
            t.openFile(dir.file(k.table), OpenMode::Shared);
            t.first();
            t.edit();
            EXPECT_THROW(t.setFieldText("NOTES", "new text"), DatabaseError);
            t.setFieldText("NAME", "edited");
            t.post();
            EXPECT_EQ(t.fieldText("NOTES"), memos[0]);
        }
    }
}

// A bad block number or a damaged memo file is a DatabaseError naming the file when that memo
// is read, and a problem that check reports; the other fields still read and nothing crashes.
TEST(ForeignTables, DamagedMemoFilesAreReportedNeverCrash) {
    const std::vector<std::string> memos = {"first", std::string(200, 'y')};
    std::vector<int> blocks;
    const std::string fpt = foxMemo(memos, blocks, 64);
    TableDesc desc;
    desc.version = 0xF5;
    desc.fields = {{"NAME", 'C', 6}, {"NOTES", 'M', 10}};
    const auto records = [&](const std::string& pointer) {
        return std::vector<std::string>{" " + left("one", 6) + right(std::to_string(blocks[0]), 10),
                                        " " + left("two", 6) + right(pointer, 10)};
    };
    struct Case {
        const char* what;
        std::string pointer;
        std::string memoFile; // empty: no memo file at all
        const char* named;    // the file the error names
    };
    std::string zeroBlockSize = fpt;
    zeroBlockSize[6] = zeroBlockSize[7] = '\0';
    std::string hugeLength = fpt;
    putBe(hugeLength, std::size_t(blocks[1]) * 64 + 4, 0xFFFFFFF0u, 4);
    const std::string second = std::to_string(blocks[1]);
    const Case cases[] = {
        {"block past the end", "99999", fpt, "T.FPT"},
        {"block inside the header", "2", fpt, "T.FPT"},
        {"block number garbled", "12ab", fpt, "T.DBF"},
        {"block size 0", second, zeroBlockSize, "T.FPT"},
        {"header cut short", second, fpt.substr(0, 5), "T.FPT"},
        {"length past the end", second, hugeLength, "T.FPT"},
        {"memo file missing", second, "", "T.FPT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        desc.records = records(c.pointer);
        writeFile(dir.file("T.DBF"), tableFile(desc));
        if (!c.memoFile.empty())
            writeFile(dir.file("T.FPT"), c.memoFile);
        Table t;
        t.openFile(dir.file("T.DBF"), OpenMode::ReadOnly);
        t.last();
        EXPECT_EQ(t.fieldText("NAME"), "two");
        try {
            t.fieldText("NOTES");
            ADD_FAILURE() << "the memo read";
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
        EXPECT_THROW(dumpToString(t), DatabaseError);
        EXPECT_GT(checkTable(dir.file("T.DBF")).problemCount, 0u);
    }

    // Every byte of the memo header and of the first memo's block header, set to a few values:
    // each read either gives text or raises DatabaseError.
    TempDir dir;
    desc.records = records(std::to_string(blocks[1]));
    writeFile(dir.file("T.DBF"), tableFile(desc));
    std::vector<std::size_t> offsets = {0, 1, 2, 3, 4, 5, 6, 7};
    for (std::size_t i = 0; i < 8; ++i)
        offsets.push_back(std::size_t(blocks[0]) * 64 + i);
    for (const std::size_t offset : offsets) {
        for (const unsigned char v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::string damaged = fpt;
            damaged[offset] = static_cast<char>(v);
            writeFile(dir.file("T.FPT"), damaged);
            Table t;
            t.openFile(dir.file("T.DBF"), OpenMode::ReadOnly);
            for (t.first(); !t.eof(); t.next()) {
                try {
                    t.fieldText("NOTES");
                } catch (const DatabaseError&) {
                }
            }
            EXPECT_NO_THROW(checkTable(dir.file("T.DBF"))) << offset << " = " << int(v);
        }
    }
}

// Visual FoxPro's own field types, its null flags and variable-length fields, and its memos
// with binary block numbers; the structural index named by byte 28 is missing, which only
// earns a note.
TEST(ForeignTables, VisualFoxProTablesRead) {
    TempDir dir;
    std::vector<int> blocks;
    std::string fpt = foxMemo({"lamp notes"}, blocks, 32);
    std::vector<int> objects;
    const std::string photo = foxMemo({std::string("\x01\x02\x03", 3)}, objects, 32, 2);
    // The picture goes after the text memo, in the same file.
    const int photoBlock = static_cast<int>(fpt.size() / 32);
    fpt += photo.substr(512);

    TableDesc desc;
    desc.version = 0x32;
    desc.driver = 0x03;
    desc.flags = 0x03; // a structural .CDX and a memo
    desc.fields = {{"NAME", 'C', 8, 0, 0x02},
                   {"QTY", 'I', 4},
                   {"WEIGHT", 'B', 8, 2},
                   {"PRICE", 'Y', 8},
                   {"SEEN", 'T', 8},
                   {"BOUGHT", 'D', 8, 0, 0x02},
                   {"TAG", 'V', 6, 0, 0x02},
                   {"NOTES", 'M', 4},
                   {"PHOTO", 'G', 4},
                   {"OK", 'L', 1},
                   {"_NullFlags", '0', 1, 0, 0x05}};
    // Flag bits in field order: NAME null 0, BOUGHT null 1, TAG length 2 then null 3.
    const std::uint64_t seen = 2460374; // Julian day of 2024-03-04
    std::string weight(8, '\0');
    const double w = 1.25;
    std::memcpy(weight.data(), &w, 8);
    std::string minusHalf(8, '\0');
    const double h = -0.5;
    std::memcpy(minusHalf.data(), &h, 8);
    desc.records = {
        " " + left("Lamp", 8) + le(42, 4) + weight + le(199900, 8) + le(seen, 4) + le(45296000, 4) +
            "20240101" + std::string("ab\0\0\0\x02", 6) + le(std::uint64_t(blocks[0]), 4) +
            le(std::uint64_t(photoBlock), 4) + "T" + "\x04",
        " " + left("", 8) + le(std::uint32_t(-7), 4) + minusHalf + le(std::uint64_t(-1234), 8) +
            std::string(8, '\0') + "        " + "      " + le(0, 4) + le(0, 4) + "F" + "\x0B",
    };
    writeFile(dir.file("V.DBF"), tableFile(desc));
    writeFile(dir.file("V.FPT"), fpt);

    Table t;
    t.openFile(dir.file("V.DBF"), OpenMode::ReadOnly);
    EXPECT_EQ(t.format(), TableFormat::VisualFoxPro);
    ASSERT_EQ(t.fieldCount(), 10); // _NullFlags is no field of the user's
    EXPECT_EQ(t.missingIndex().filename(), "V.CDX");
    EXPECT_FALSE(t.hasProductionIndex());
    t.first();
    EXPECT_EQ(t.fieldInteger("QTY"), 42);
    EXPECT_EQ(t.fieldDouble("WEIGHT"), 1.25);
    EXPECT_EQ(t.fieldText("PRICE"), "19.9900");
    EXPECT_EQ(t.fieldInteger(t.fieldIndex("PRICE")), 20);
    EXPECT_EQ(t.fieldText("SEEN"), "2024-03-04 12:34:56");
    EXPECT_EQ(t.fieldDate("SEEN"), (Date{2024, 3, 4}));
    EXPECT_EQ(t.fieldText("TAG"), "ab");
    EXPECT_EQ(t.fieldText("NOTES"), "lamp notes");
    EXPECT_EQ(t.fieldText("PHOTO"), ""); // a binary object has no text
    EXPECT_FALSE(t.isBlank("PHOTO"));
    t.next();
    EXPECT_TRUE(t.isNull(t.fieldIndex("NAME")));
    EXPECT_TRUE(t.isBlank("BOUGHT"));
    EXPECT_EQ(t.fieldDate("BOUGHT"), std::nullopt);
    EXPECT_EQ(t.fieldText("PRICE"), "-0.1234");
    EXPECT_TRUE(t.isBlank("SEEN"));
    EXPECT_TRUE(t.isNull(t.fieldIndex("TAG")));
    EXPECT_FALSE(t.isNull(t.fieldIndex("QTY")));

    EXPECT_EQ(dumpToString(t),
              "NAME,QTY,WEIGHT,PRICE,SEEN,BOUGHT,TAG,NOTES,PHOTO,OK\n"
              "Lamp,42,1.25,19.9900,2024-03-04 12:34:56,2024-01-01,ab,lamp notes,,T\n"
              ",-7,-0.5,-0.1234,,,,,,F\n");
    const CheckReport report = checkTable(dir.file("V.DBF"));
    EXPECT_EQ(report.problemCount, 0u) << allText(report.problems);
    EXPECT_NE(allText(report.notes).find("V.CDX is not there"), std::string::npos)
        << allText(report.notes);

    t.close();
    EXPECT_THROW(t.openFile(dir.file("V.DBF"), OpenMode::Shared), DatabaseError);
    EXPECT_THROW(t.openFile(dir.file("V.DBF"), OpenMode::Exclusive), DatabaseError);
}

// The language driver byte chooses the code page, double-byte Asian ones included: field names
// and text read as the byte says, as the independent reader reads them.
TEST(ForeignTables, TextReadsInTheCodePageTheDriverNames) {
    struct Case {
        std::uint8_t driver;
        std::string name;  // field name bytes
        std::string value; // a value's bytes
        const char* nameUtf8;
        const char* valueUtf8;
    };
    const Case cases[] = {
        {0x7B, "\x95\x69\x96\xBC", "\x83\x89\x83\x93\x83\x76 \x82\xA0", "\u54C1\u540D",
         "\u30E9\u30F3\u30D7 \u3042"},
        {0x4D, "\xC3\xFB", "\xD6\xD0\xCE\xC4", "\u540D", "\u4E2D\u6587"},
        {0xC9, "\xC8\xCC\xDF", "\xEB\xE0\xEC\xEF\xE0", "\u0418\u041C\u042F",
         "\u043B\u0430\u043C\u043F\u0430"},
        {0x26, "\x88\x8C\x9F", "\xAB\xA0\xAC\xAF\xA0", "\u0418\u041C\u042F",
         "\u043B\u0430\u043C\u043F\u0430"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.driver));
        TempDir dir;
        TableDesc desc;
        desc.driver = c.driver;
        desc.fields = {{c.name, 'C', 12}, {"N", 'N', 3}};
        desc.records = {" " + left(c.value, 12) + right("7", 3)};
        writeFile(dir.file("CP.DBF"), tableFile(desc));
        Table t;
        t.openFile(dir.file("CP.DBF"), OpenMode::ReadOnly);
        EXPECT_EQ(dumpToString(t), std::string(c.nameUtf8) + ",N\n" + c.valueUtf8 + ",7\n");
        EXPECT_EQ(fromUtf8(c.valueUtf8, t.codePage()).bytes, c.value);
        expectReaderAgrees(dir.file("CP.DBF"), dir);
    }
}
