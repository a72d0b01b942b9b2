#include "engine_support.h"

#include "dbase/code_page.h"

#include <cstdio>
#include <sstream>

using namespace dbase;
using namespace enginetest;

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

const char* pythonEncoding(CodePage page) {
    switch (page) {
    case CodePage::Dos437:
        return "cp437";
    case CodePage::Dos850:
        return "cp850";
    case CodePage::Windows1252:
        break;
    }
    return "cp1252";
}

std::string runReader(const fs::path& file, CodePage page, const TempDir& dir) {
    const fs::path script = dir.file("reader.py");
    writeFile(script, kReaderScript);
    const std::string command = std::string(kPython) + " '" + script.string() + "' '" +
                                file.string() + "' " + pythonEncoding(page);
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
