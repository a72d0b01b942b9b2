// Index tags as other dBase programs write them: equal keys newest first, FOR conditions, key
// functions beyond the ones our sort expressions use, and tag names we would not give. Each
// index is made here, by the engine or from bytes the test writes; it must walk, follow every
// write and check clean, and Perl's XBase::Index must read the edited tags as we do.

#include "dbase/bcd.h"
#include "dbase/mdx_file.h"
#include "engine_support.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

using namespace dbase;
using namespace enginetest;

namespace {

using Row = std::pair<std::string, std::uint32_t>; // name, record number

std::vector<Row> walkRows(Table& t) {
    std::vector<Row> rows;
    for (t.first(); !t.eof(); t.next())
        rows.emplace_back(t.fieldText("Name"), t.recordNumber());
    return rows;
}

std::vector<Row> walkRowsBackward(Table& t) {
    std::vector<Row> rows;
    for (t.last(); !t.bof(); t.prior())
        rows.emplace_back(t.fieldText("Name"), t.recordNumber());
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<std::uint32_t> recnos(const std::vector<Row>& rows) {
    std::vector<std::uint32_t> out;
    for (const Row& r : rows)
        out.push_back(r.second);
    return out;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

std::size_t placeOf(const std::vector<Row>& rows, std::uint32_t recno) {
    return static_cast<std::size_t>(
        std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.second == recno; }) -
        rows.begin());
}

class ForeignIndex : public ::testing::Test {
protected:
    // count records named name(i), with Qty = i.
    void make(int count, const std::function<std::string(int)>& name) {
        m_file = Table::create(m_dir.path(), "T", mixedFields());
        m_table.openFile(m_file, OpenMode::Shared);
        for (int i = 1; i <= count; ++i) {
            appendNamed(m_table, name(i), i);
            m_names[m_table.recordNumber()] = name(i);
        }
    }
    void reopen(OpenMode mode = OpenMode::Shared) {
        m_table.close();
        m_table.openFile(m_file, mode);
    }
    void rename(std::uint32_t recno, const std::string& name) {
        m_table.gotoBookmark({recno});
        m_table.edit();
        m_table.setFieldText("Name", name);
        m_table.post();
        m_names[recno] = name;
    }
    // What a walk of a tag on Upper(Name) must give: by key, then record number.
    std::vector<Row> expectedByName(const std::function<bool(std::uint32_t)>& in) const {
        std::vector<Row> rows;
        for (const auto& [recno, name] : m_names)
            if (in(recno))
                rows.emplace_back(name, recno);
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
            return upper(a.first) != upper(b.first) ? upper(a.first) < upper(b.first)
                                                    : a.second < b.second;
        });
        return rows;
    }
    fs::path mdx() const { return m_dir.file("T.MDX"); }

    TempDir m_dir;
    fs::path m_file;
    Table m_table;
    std::map<std::uint32_t, std::string> m_names;
};

} // namespace

TEST_F(ForeignIndex, EqualKeysNewestFirstWalkOnceFollowEditsAndCheckClean) {
    // 400 records under 5 names: each name's run spans several leaves of 63 keys.
    make(400, [](int i) { return "name" + std::to_string(i % 5); });
    m_table.addIndex("NAMES", "Upper(Name)");
    m_table.close();
    storeEqualKeysNewestFirst(mdx(), 0);
    m_table.openFile(m_file, OpenMode::Shared);
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});

    m_table.setIndex("NAMES");
    const std::vector<Row> rows = walkRows(m_table);
    ASSERT_EQ(rows.size(), 400u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_LE(rows[i - 1].first, rows[i].first);
        if (rows[i - 1].first == rows[i].first) {
            ASSERT_GT(rows[i - 1].second, rows[i].second) << "stored newest first";
        }
    }
    const auto all = recnos(rows);
    EXPECT_EQ(std::set<std::uint32_t>(all.begin(), all.end()).size(), 400u);
    EXPECT_EQ(walkRowsBackward(m_table), rows);

    // A post that keeps the key: the walk goes on from the record's own place in its run.
    m_table.gotoBookmark({rows[100].second});
    m_table.edit();
    m_table.setFieldInteger("Qty", 9999);
    m_table.post();
    m_table.next();
    EXPECT_EQ(m_table.recordNumber(), rows[101].second);
    m_table.prior();
    m_table.prior();
    EXPECT_EQ(m_table.recordNumber(), rows[99].second);

    // A post that moves a record from the middle of one run into another: its old key goes,
    // and the walk goes on from its new place.
    const std::uint32_t moved = rows[130].second;
    ASSERT_EQ(m_names[moved], "name1");
    rename(moved, "Name3");
    Table other;
    other.openFile(m_file, OpenMode::Shared);
    other.setIndex("NAMES");
    const std::vector<Row> after = walkRows(other);
    ASSERT_EQ(after.size(), 400u);
    const std::size_t at = placeOf(after, moved);
    ASSERT_GT(at, 0u);
    ASSERT_LT(at + 1, after.size());
    m_table.next();
    EXPECT_EQ(m_table.recordNumber(), after[at + 1].second);
    m_table.prior();
    m_table.prior();
    EXPECT_EQ(m_table.recordNumber(), after[at - 1].second);
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});

    // Deleting from inside a run; the deleted record keeps its key, hidden from the walk.
    const std::uint32_t gone = after[200].second;
    m_table.gotoBookmark({gone});
    m_table.deleteRecord();
    EXPECT_EQ(m_table.recordNumber(), after[201].second);
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    const std::vector<Row> live = walkRows(m_table);
    EXPECT_EQ(live.size(), 399u);

    if (!havePerlXBase())
        GTEST_SKIP() << "perl with XBase::Index (libdbd-xbase-perl) is not installed";
    const auto theirs = perlTagEntries(mdx(), "NAMES");
    ASSERT_EQ(theirs.size(), 400u);
    std::vector<std::uint32_t> theirLive;
    for (const auto& [key, recno] : theirs) {
        EXPECT_EQ(key, upper(m_names[recno])) << recno;
        if (recno != gone)
            theirLive.push_back(recno);
    }
    EXPECT_EQ(theirLive, recnos(live));
}

TEST_F(ForeignIndex, ForConditionsFollowEveryWriteAndSurviveRebuilds) {
    make(60,
         [](int i) { return std::string(1, static_cast<char>('a' + i % 7)) + std::to_string(i); });
    std::map<std::uint32_t, int> qty;
    for (int i = 1; i <= 60; ++i)
        qty[static_cast<std::uint32_t>(i)] = i;
    std::set<std::uint32_t> deleted;
    // Text equality reads as dBase's with SET EXACT OFF: Name = 'a' is every name from "a".
    const std::string bigCondition = "Qty>=20.AND.Qty<50 .OR. Name = 'a'";
    auto inBig = [&](std::uint32_t r) {
        return (qty[r] >= 20 && qty[r] < 50) || m_names[r][0] == 'a';
    };
    auto inLive = [&](std::uint32_t r) { return deleted.count(r) == 0; };
    m_table.addIndex("LIVE", "Upper(Name)", ".NOT. DELETED()");
    m_table.addIndex("BIG", "Upper(Name)", bigCondition);
    auto expectWalks = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
        m_table.setIndex("BIG");
        EXPECT_EQ(walkRows(m_table),
                  expectedByName([&](std::uint32_t r) { return inBig(r) && inLive(r); }));
        m_table.setIndex("LIVE");
        EXPECT_EQ(walkRows(m_table), expectedByName(inLive));
    };
    expectWalks("built");

    auto setQty = [&](std::uint32_t recno, int value) {
        m_table.gotoBookmark({recno});
        m_table.edit();
        m_table.setFieldInteger("Qty", value);
        m_table.post();
        qty[recno] = value;
    };
    m_table.setIndex("BIG");
    setQty(5, 30); // joins BIG
    expectWalks("a record joins");
    // Leaving the tag: the cursor stays on the record and steps on from where its key would be.
    m_table.setIndex("BIG");
    const auto before = walkRows(m_table);
    const std::size_t at = placeOf(before, 30);
    setQty(30, 3);
    EXPECT_EQ(m_table.recordNumber(), 30u);
    m_table.next();
    EXPECT_EQ(m_table.recordNumber(), before[at + 1].second);
    expectWalks("a record leaves");
    m_table.setIndex("LIVE");
    m_table.gotoBookmark({12});
    m_table.deleteRecord();
    deleted.insert(12);
    expectWalks("deleted");

    // Rebuilding, and rewriting the file without another tag, keep the conditions.
    reopen(OpenMode::Exclusive);
    EXPECT_TRUE(m_table.regenerateIndexes().empty());
    expectWalks("regenerated");
    m_table.addIndex("SPARE", "Name");
    m_table.deleteIndex("SPARE");
    const auto tags = m_table.indexTags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].forCondition, ".NOT. DELETED()");
    EXPECT_EQ(tags[1].forCondition, bigCondition);
    expectWalks("after a tag was deleted");
    EXPECT_THROW(m_table.addIndex("BAD", "Name", "Qty >"), DatabaseError);
    EXPECT_THROW(m_table.addIndex("BAD", "Name", "Qty + 1"), DatabaseError);
    EXPECT_EQ(m_table.indexTags().size(), 2u);

    if (havePerlXBase()) {
        std::vector<std::pair<std::string, std::uint32_t>> want;
        for (const auto& [name, recno] : expectedByName(inLive))
            want.emplace_back(upper(name), recno);
        m_table.close();
        EXPECT_EQ(perlTagEntries(mdx(), "LIVE"), want);
        m_table.openFile(m_file, OpenMode::Exclusive);
    }

    // A tag holding records its condition leaves out is reported, and rebuilt right.
    m_table.close();
    std::string b = readFile(mdx());
    std::size_t header = 0; // LIVE's tag header page, from its tag table entry
    for (int i = 3; i >= 0; --i)
        header = (header << 8) | static_cast<unsigned char>(b[544 + static_cast<std::size_t>(i)]);
    header = header * 512 + 762; // its FOR text
    const std::string narrower = "Qty > 40";
    b.replace(header, narrower.size() + 1, narrower + '\0');
    writeFile(mdx(), b);
    m_table.openFile(m_file, OpenMode::Exclusive);
    const auto problems = m_table.checkIndexes();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("does not meet the FOR condition"), std::string::npos)
        << problems[0];
    m_table.regenerateIndexes();
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    m_table.setIndex("LIVE");
    EXPECT_EQ(walkRows(m_table),
              expectedByName([&](std::uint32_t r) { return inLive(r) && qty[r] > 40; }));
}

TEST_F(ForeignIndex, KeyFunctionsOfOtherProgramsOrderTheWalkAndFollowEdits) {
    const char* names[] = {"12abc", "  7 dwarfs", "Zebra", "apple", "-3.5 x", "", "Apple pie"};
    make(7, [&](int i) { return names[i - 1]; });
    for (std::uint32_t r = 1; r <= 7; ++r) {
        m_table.gotoBookmark({r});
        m_table.edit();
        m_table.setFieldText("Bought", r % 3 ? "2024" + std::string(r < 5 ? "01" : "12") + "0" +
                                                   std::to_string(r)
                                             : "");
        m_table.post();
    }
    struct Case {
        const char* expression;
        std::function<std::string(const std::string& name, int qty, const std::string& date)> key;
    };
    auto padded = [](std::string s, std::size_t n) {
        s.resize(n, ' ');
        return s;
    };
    auto trimmed = [](std::string s) {
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    const Case cases[] = {
        {"SUBSTR(Name,2,3)+RIGHT(Name,2)",
         [&](const std::string& n, int, const std::string&) {
             const std::string f = padded(n, 10);
             return f.substr(1, 3) + f.substr(8, 2);
         }},
        {"IIF(Qty>3,'B','A')+LOWER(Name)",
         [&](const std::string& n, int q, const std::string&) {
             std::string l = padded(n, 10);
             for (char& c : l)
                 c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             return (q > 3 ? "B" : "A") + l;
         }},
        {"STR(VAL(Name),8,2)",
         [](const std::string& n, int, const std::string&) {
             char text[32];
             std::snprintf(text, sizeof text, "%8.2f", std::strtod(n.c_str(), nullptr));
             return std::string(text);
         }},
        {"DTOC(Bought)+'|'",
         [](const std::string&, int, const std::string& d) {
             return (d.empty() ? std::string("  /  /  ")
                               : d.substr(4, 2) + "/" + d.substr(6, 2) + "/" + d.substr(2, 2)) +
                    "|";
         }},
        {"TRIM(Name)+LTRIM(STR(Qty))+RTRIM(' x ')",
         [&](const std::string& n, int q, const std::string&) {
             return padded(trimmed(n) + std::to_string(q) + " x", 23);
         }},
    };
    auto expectOrder = [&](const Case& c) {
        std::vector<std::pair<std::string, std::uint32_t>> want;
        Table reader;
        reader.openFile(m_file, OpenMode::ReadOnly);
        for (reader.first(); !reader.eof(); reader.next())
            want.emplace_back(c.key(reader.fieldText("Name"),
                                    static_cast<int>(*reader.fieldInteger("Qty")),
                                    reader.fieldText("Bought")),
                              reader.recordNumber());
        std::sort(want.begin(), want.end());
        m_table.setIndex("F");
        std::vector<std::uint32_t> got;
        for (m_table.first(); !m_table.eof(); m_table.next())
            got.push_back(m_table.recordNumber());
        std::vector<std::uint32_t> wantRecnos;
        for (const auto& w : want)
            wantRecnos.push_back(w.second);
        EXPECT_EQ(got, wantRecnos);
        EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        m_table.addIndex("F", c.expression);
        expectOrder(c);
        m_table.gotoBookmark({4});
        m_table.edit();
        m_table.setFieldText("Name", "  9 lives");
        m_table.setFieldInteger("Qty", 1);
        m_table.post();
        expectOrder(c);
        m_table.gotoBookmark({4});
        m_table.edit();
        m_table.setFieldText("Name", "apple");
        m_table.setFieldInteger("Qty", 4);
        m_table.post();
        m_table.deleteIndex("F");
    }
}

TEST_F(ForeignIndex, AVariableWidthKeyKeepsTheLengthItsWriterChose) {
    make(30, [](int i) { return (i % 2 ? "al" : "bo") + std::to_string(i % 4); });
    // TRIM(Name)+Name could be 20 long; the other program chose 6. Keys built by the test.
    auto key = [](const std::string& name) {
        std::string k = name + std::string(10 - name.size(), ' ');
        k = name + k;
        k.resize(6, ' ');
        return k;
    };
    MdxTagBuild tag{{"PAIRS", "TRIM(Name)+Name", "", KeyType::Character, 6, false, false},
                    MdxKeySet(6)};
    for (const auto& [recno, name] : m_names)
        tag.keys.add(key(name), recno);
    std::vector<MdxTagBuild> tags;
    tags.push_back(std::move(tag));
    MdxFile::create(mdx().string(), "T", kDefaultLanguageDriver, std::move(tags));
    m_table.setProductionIndexFlag(true);
    reopen();
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    rename(7, "c");
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    m_table.setIndex("PAIRS");
    m_table.last();
    EXPECT_EQ(m_table.recordNumber(), 7u); // "cc    " sorts last
    reopen(OpenMode::Exclusive);
    m_table.regenerateIndexes();
    ASSERT_EQ(m_table.indexTags().size(), 1u);
    EXPECT_EQ(m_table.indexTags()[0].keyLength, 6);
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
}

TEST_F(ForeignIndex, TagNamesOtherProgramsChoseAreKeptThroughRebuilds) {
    make(20, [](int i) { return "n" + std::to_string(i % 6); });
    // Written with the file layer alone, names and keys as another program left them.
    MdxTagBuild byName{{"_ORDER", "UPPER(NAME)", "", KeyType::Character, 10, false, false},
                       MdxKeySet(10)};
    MdxTagBuild byQty{{"_BYQTY", "QTY", "", KeyType::Numeric, 12, false, false}, MdxKeySet(12)};
    for (const auto& [recno, name] : m_names) {
        byName.keys.add(upper(name), recno);
        const BcdKey k = bcdFromDecimal(std::to_string(recno));
        byQty.keys.add(std::string(k.begin(), k.end()), recno);
    }
    std::vector<MdxTagBuild> tags;
    tags.push_back(std::move(byName));
    tags.push_back(std::move(byQty));
    MdxFile::create(mdx().string(), "T", kDefaultLanguageDriver, std::move(tags));
    m_table.setProductionIndexFlag(true);
    reopen(OpenMode::Exclusive);
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});

    EXPECT_TRUE(m_table.regenerateIndexes().empty());
    std::vector<std::string> kept;
    for (const IndexTag& t : m_table.indexTags())
        kept.push_back(t.name);
    EXPECT_EQ(kept, (std::vector<std::string>{"_ORDER", "_BYQTY"}));
    rename(3, "a");
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    m_table.deleteIndex("_byqty");
    ASSERT_EQ(m_table.indexTags().size(), 1u);
    EXPECT_EQ(m_table.indexTags()[0].name, "_ORDER");
    m_table.setIndex("_ORDER");
    EXPECT_EQ(walkRows(m_table), expectedByName([](std::uint32_t) { return true; }));
    EXPECT_EQ(m_table.checkIndexes(), std::vector<std::string>{});
    // New tags still get names dBase itself would give.
    EXPECT_THROW(m_table.addIndex("_MINE", "Name"), DatabaseError);
}
