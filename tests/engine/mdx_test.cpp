#include "dbase/bcd.h"
#include "dbase/database_error.h"
#include "dbase/expression.h"
#include "dbase/little_endian.h"
#include "dbase/mdx_file.h"
#include "engine_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <unistd.h>

using namespace dbase;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "tw-mdx-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(m_path); }
    fs::path path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Just enough of a .DBF reader to check the foreign indexes against their tables.
struct DbfTable {
    std::vector<FieldLayout> fields;
    std::vector<std::vector<uint8_t>> records;
    uint8_t languageDriver = 0;

    explicit DbfTable(const fs::path& p) {
        const auto b = readFile(p);
        const uint32_t count = le::u32(&b[4]);
        const uint16_t headerLength = le::u16(&b[8]);
        const uint16_t recordLength = le::u16(&b[10]);
        languageDriver = b[29];
        uint32_t offset = 1;
        for (std::size_t at = 32; b[at] != 0x0D; at += 32) {
            FieldLayout f;
            f.name = reinterpret_cast<const char*>(&b[at]);
            f.type = char(b[at + 11]);
            f.length = b[at + 16];
            f.decimals = b[at + 17];
            f.offset = offset;
            offset += f.length;
            fields.push_back(f);
        }
        for (uint32_t i = 0; i < count; ++i) {
            const auto* r = &b[headerLength + std::size_t(i) * recordLength];
            records.emplace_back(r, r + recordLength);
        }
    }
};

using Entry = std::pair<std::string, uint32_t>;

std::vector<Entry> walkForward(MdxCursor& c) {
    std::vector<Entry> out;
    for (bool ok = c.first(); ok; ok = c.next())
        out.emplace_back(c.key(), c.recno());
    return out;
}

std::vector<Entry> walkBackward(MdxCursor& c) {
    std::vector<Entry> out;
    for (bool ok = c.last(); ok; ok = c.prior())
        out.emplace_back(c.key(), c.recno());
    std::reverse(out.begin(), out.end());
    return out;
}

const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The reference order of a tag: by key, then by record number.
struct EntryLess {
    KeyType type;
    uint16_t length;
    bool operator()(const Entry& a, const Entry& b) const {
        const int c = compareKeys(type, u8(a.first), u8(b.first), length);
        return c != 0 ? c < 0 : a.second < b.second;
    }
};

MdxTagBuild characterTag(const std::string& name, uint16_t keyLength,
                         const std::vector<Entry>& entries) {
    MdxTagBuild b{{name, "Upper(Left(CATEGORY," + std::to_string(keyLength) + "))", "",
                   KeyType::Character, keyLength, false, false},
                  MdxKeySet(keyLength)};
    for (const auto& [k, r] : entries)
        b.keys.add(k, r);
    return b;
}

std::string padded(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

} // namespace

TEST(MdxForeign, EveryTagWalksInKeyOrderAndFindsEveryRecord) {
    const fs::path data = fs::path(TW_TEST_DATA_DIR) / "foreign-mdx";
    for (const char* name : {"TEST3", "BIG", "ND", "TB"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        fs::copy_file(data / (std::string(name) + ".DBF"), dir / "T.DBF");
        fs::copy_file(data / (std::string(name) + ".MDX"), dir / "T.MDX");
        const DbfTable table(dir / "T.DBF");
        auto mdx = MdxFile::open((dir / "T.MDX").string(), false);
        const auto tags = mdx->tags();
        ASSERT_FALSE(tags.empty());
        for (const MdxTagInfo& tag : tags) {
            SCOPED_TRACE(tag.name);
            const KeyExpression expr(tag.expression, table.fields, table.languageDriver);
            ASSERT_EQ(expr.keyType(), tag.keyType);
            ASSERT_EQ(expr.keyLength(), tag.keyLength);
            auto cursor = mdx->cursor(tag.name);
            const auto forward = walkForward(cursor);
            EXPECT_EQ(walkBackward(cursor), forward);
            EXPECT_EQ(mdx->verifyTag(tag.name, uint32_t(table.records.size())), forward);
            ASSERT_EQ(forward.size(), table.records.size());
            std::set<uint32_t> seen;
            for (std::size_t i = 0; i < forward.size(); ++i) {
                const auto& [key, recno] = forward[i];
                ASSERT_TRUE(recno >= 1 && recno <= table.records.size());
                EXPECT_TRUE(seen.insert(recno).second);
                const std::string expected = expr.evaluate(table.records[recno - 1].data());
                EXPECT_EQ(compareKeys(tag.keyType, u8(key), u8(expected), tag.keyLength), 0);
                if (i > 0) {
                    EXPECT_LE(
                        compareKeys(tag.keyType, u8(forward[i - 1].first), u8(key), tag.keyLength),
                        0);
                }
                // Every key is found again by a lookup.
                ASSERT_TRUE(cursor.seek(expected));
                EXPECT_EQ(compareKeys(tag.keyType, u8(cursor.key()), u8(expected), tag.keyLength),
                          0);
            }
        }
        // Tag names match whatever their letter case.
        EXPECT_TRUE(mdx->findTag("newindex").has_value());
    }
}

TEST(MdxWrite, BulkBuildReadsBackInOrderAndTagsAreManaged) {
    TempDir dir;
    const std::string path = (dir / "ITEMS.MDX").string();
    std::mt19937 rng(7);
    std::vector<Entry> entries;
    const char* words[] = {"lamp", "Chair", "TABLE", "books", "tools", "", "rug", "clock"};
    for (uint32_t r = 1; r <= 5000; ++r)
        entries.emplace_back(padded(std::string(words[rng() % 8]) + std::to_string(rng() % 50), 80),
                             r);
    std::vector<MdxTagBuild> builds;
    builds.push_back(characterTag("NewIndex", 80, entries));
    auto mdx = MdxFile::create(path, "ITEMS", 0x57, std::move(builds));

    auto expected = entries;
    std::sort(expected.begin(), expected.end(), EntryLess{KeyType::Character, 80});
    auto cursor = mdx->cursor("NEWINDEX");
    EXPECT_EQ(walkForward(cursor), expected);
    EXPECT_EQ(walkBackward(cursor), expected);

    // Byte layout other software relies on.
    const auto b = readFile(path);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4])), "ITEMS");
    EXPECT_EQ(le::u16(&b[20]), 2);
    EXPECT_EQ(le::u16(&b[22]), 1024);
    EXPECT_EQ(le::u16(&b[28]), 1);
    EXPECT_EQ(b[31], 0x57);
    EXPECT_EQ(le::u32(&b[32]) * 512, b.size());
    EXPECT_EQ(b[529], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[548])), "NEWINDEX");
    const uint32_t headerPage = le::u32(&b[544]);
    EXPECT_EQ(headerPage, 4u);
    const uint8_t* th = &b[headerPage * 512];
    EXPECT_EQ(th[8], 0x10);
    EXPECT_EQ(th[9], 'C');
    EXPECT_EQ(le::u16(th + 12), 80);
    EXPECT_EQ(le::u16(th + 14), 12);
    EXPECT_EQ(le::u16(th + 18), 84);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(th + 24)), "Upper(Left(CATEGORY,80))");

    // A numeric and a date tag beside it; the name tree covers all three.
    MdxTagBuild price{{"pricetag", "PRICE", "", KeyType::Numeric, 12, false, false}, MdxKeySet(12)};
    MdxTagBuild added{{"ADDEDTAG", "ADDED", "", KeyType::Date, 8, false, false}, MdxKeySet(8)};
    std::vector<Entry> prices, dates;
    for (uint32_t r = 1; r <= 5000; ++r) {
        const auto bcd = bcdFromDecimal(std::to_string(int(rng() % 2000) - 1000) + ".25");
        prices.emplace_back(std::string(bcd.begin(), bcd.end()), r);
        price.keys.add(prices.back().first, r);
        const std::string d = r % 10 == 0 ? "        "
                                          : "2024" + std::to_string(10 + rng() % 3) + "1" +
                                                std::to_string(rng() % 10);
        dates.emplace_back(dateKey(d), r);
        added.keys.add(dates.back().first, r);
    }
    mdx->addTag(std::move(price));
    mdx->addTag(std::move(added));
    EXPECT_THROW(mdx->addTag(characterTag("newINDEX", 80, {})), DatabaseError);
    ASSERT_EQ(mdx->tags().size(), 3u);
    std::sort(prices.begin(), prices.end(), EntryLess{KeyType::Numeric, 12});
    std::sort(dates.begin(), dates.end(), EntryLess{KeyType::Date, 8});
    auto pc = mdx->cursor("PriceTag");
    EXPECT_EQ(walkForward(pc), prices);
    auto dc = mdx->cursor("addedtag");
    EXPECT_EQ(walkForward(dc), dates);
    const auto b3 = readFile(path);
    // NEWINDEX is the root; ADDEDTAG sorts before it, PRICETAG after.
    EXPECT_EQ(b3[544 + 16], 3);
    EXPECT_EQ(b3[544 + 17], 2);
    EXPECT_EQ(b3[544 + 32 + 18], 1);
    EXPECT_EQ(b3[544 + 64 + 18], 1);

    // Deleting a tag rewrites the file compactly; the others stay intact, and a second
    // handle that had the old file open follows to the new one.
    auto other = MdxFile::open(path, false);
    auto otherCursor = other->cursor("ADDEDTAG");
    ASSERT_TRUE(otherCursor.first());
    ASSERT_TRUE(otherCursor.next());
    mdx->deleteTag("PRICETAG");
    ASSERT_TRUE(otherCursor.next()); // steps on in the new file
    EXPECT_EQ(Entry(otherCursor.key(), otherCursor.recno()), dates[2]);
    EXPECT_THROW(mdx->cursor("PRICETAG"), DatabaseError);
    EXPECT_LT(fs::file_size(path), b3.size());
    auto dc2 = mdx->cursor("ADDEDTAG");
    EXPECT_EQ(walkForward(dc2), dates);
    EXPECT_EQ(walkForward(cursor), expected);
    EXPECT_EQ(walkForward(otherCursor), dates);
    EXPECT_EQ(other->tags().size(), 2u);
    mdx->deleteTag("ADDEDTAG");
    mdx->deleteTag("NEWINDEX");
    EXPECT_TRUE(mdx->tags().empty());
    EXPECT_THROW(mdx->deleteTag("NEWINDEX"), DatabaseError);
    EXPECT_THROW(mdx->addTag(characterTag("NOT A NAME", 10, {})), DatabaseError);
}

// Random inserts and removes against a reference set, for a tag with many keys per node and
// one deep enough for several levels; duplicates make record-number order matter.
TEST(MdxWrite, InsertsAndRemovesMatchAReferenceModel) {
    struct Case {
        uint16_t keyLength;
        int distinctKeys;
        int operations;
    };
    for (const Case c : {Case{10, 40, 6000}, Case{100, 5, 6000}, Case{100, 100000, 6000}}) {
        SCOPED_TRACE(c.keyLength * 1000000 + c.distinctKeys);
        TempDir dir;
        const std::string path = (dir / "M.MDX").string();
        std::mt19937 rng(c.keyLength + c.distinctKeys);
        auto randomKey = [&] {
            return padded("K" + std::to_string(rng() % c.distinctKeys), c.keyLength);
        };
        std::vector<Entry> initial;
        for (uint32_t r = 1; r <= 300; ++r)
            initial.emplace_back(randomKey(), r);
        std::vector<MdxTagBuild> builds;
        builds.push_back(characterTag("T", c.keyLength, initial));
        auto mdx = MdxFile::create(path, "M", 0x57, std::move(builds));
        std::set<Entry, EntryLess> model(initial.begin(), initial.end(),
                                         EntryLess{KeyType::Character, c.keyLength});
        std::map<uint32_t, std::string> byRecord;
        for (auto& [k, r] : initial)
            byRecord[r] = k;
        uint32_t nextRecno = 301;
        auto cursor = mdx->cursor("T");
        for (int op = 0; op < c.operations; ++op) {
            const int kind = int(rng() % 10);
            if (kind < 5 || byRecord.empty()) { // append a record
                const std::string k = randomKey();
                mdx->insertKey("T", k, nextRecno);
                model.insert({k, nextRecno});
                byRecord[nextRecno++] = k;
            } else if (kind < 8) { // edit a record's key
                auto it = byRecord.begin();
                std::advance(it, long(rng() % byRecord.size()));
                const std::string k = randomKey();
                ASSERT_TRUE(mdx->removeKey("T", it->second, it->first));
                mdx->insertKey("T", k, it->first);
                model.erase({it->second, it->first});
                model.insert({k, it->first});
                it->second = k;
            } else { // remove, and removing again finds nothing
                auto it = byRecord.begin();
                std::advance(it, long(rng() % byRecord.size()));
                ASSERT_TRUE(mdx->removeKey("T", it->second, it->first));
                EXPECT_FALSE(mdx->removeKey("T", it->second, it->first));
                model.erase({it->second, it->first});
                byRecord.erase(it);
            }
            if (op % 1500 == 1499 || op == c.operations - 1) {
                const std::vector<Entry> want(model.begin(), model.end());
                ASSERT_EQ(walkForward(cursor), want);
                ASSERT_EQ(walkBackward(cursor), want);
                ASSERT_EQ(mdx->verifyTag("T", nextRecno), want);
                for (int s = 0; s < 50; ++s) {
                    const std::string k = randomKey();
                    auto lb = model.lower_bound({k, 0});
                    const bool found = cursor.seek(k);
                    ASSERT_EQ(found, lb != model.end());
                    if (found) {
                        ASSERT_EQ(Entry(cursor.key(), cursor.recno()), *lb);
                    }
                }
            }
        }
        // Remove everything: the tag ends empty and takes keys again.
        for (auto& [r, k] : byRecord)
            ASSERT_TRUE(mdx->removeKey("T", k, r));
        EXPECT_FALSE(cursor.first());
        EXPECT_TRUE(mdx->verifyTag("T", nextRecno).empty());
        mdx->insertKey("T", padded("again", c.keyLength), 1);
        ASSERT_TRUE(cursor.first());
        EXPECT_EQ(cursor.recno(), 1u);
    }
}

// A cursor of another handle keeps its place while a writer changes the tree under it.
TEST(MdxWrite, ACursorFollowsChangesMadeThroughAnotherHandle) {
    TempDir dir;
    const std::string path = (dir / "S.MDX").string();
    std::vector<Entry> entries;
    for (uint32_t r = 1; r <= 2000; ++r)
        entries.emplace_back(padded("key" + std::to_string(100000 + r * 10), 40), r);
    std::vector<MdxTagBuild> builds;
    builds.push_back(characterTag("T", 40, entries));
    auto writer = MdxFile::create(path, "S", 0x57, std::move(builds));
    auto reader = MdxFile::open(path, false);
    auto cursor = reader->cursor("T");
    ASSERT_TRUE(cursor.seek(padded("key101000", 40)));
    ASSERT_EQ(cursor.recno(), 100u);
    // The current entry goes away and many keys arrive around it, splitting its leaf.
    ASSERT_TRUE(writer->removeKey("T", entries[99].first, 100));
    for (uint32_t i = 0; i < 200; ++i)
        writer->insertKey("T", padded("key1010" + std::to_string(10 + i % 90), 40), 3000 + i);
    ASSERT_TRUE(cursor.next());
    EXPECT_EQ(cursor.key(), padded("key101010", 40));
    // A change next to the cursor inside its own leaf is seen by the very next step.
    {
        auto look = writer->cursor("T");
        ASSERT_TRUE(look.seek(cursor.key(), cursor.recno()));
        ASSERT_TRUE(look.next());
        const Entry victim(look.key(), look.recno());
        ASSERT_TRUE(look.next());
        const Entry after(look.key(), look.recno());
        ASSERT_TRUE(writer->removeKey("T", victim.first, victim.second));
        const Entry here(cursor.key(), cursor.recno());
        ASSERT_TRUE(cursor.next());
        EXPECT_EQ(Entry(cursor.key(), cursor.recno()), after);
        writer->insertKey("T", victim.first, victim.second);
        ASSERT_TRUE(cursor.prior());
        EXPECT_EQ(Entry(cursor.key(), cursor.recno()), victim);
        ASSERT_TRUE(cursor.prior());
        EXPECT_EQ(Entry(cursor.key(), cursor.recno()), here);
    }
    ASSERT_TRUE(cursor.prior());
    EXPECT_EQ(cursor.key(), padded("key100990", 40));
    EXPECT_EQ(cursor.recno(), 99u);
    // Everything written is visible to the other handle at once.
    std::size_t n = 0;
    for (bool ok = cursor.first(); ok; ok = cursor.next())
        ++n;
    EXPECT_EQ(n, 2000u - 1 + 200);
    EXPECT_THROW(reader->insertKey("T", padded("x", 40), 1), DatabaseError); // read-only
}

// Damaged files never crash: every cut of the header and every garbled page either reads as
// a valid index or raises DatabaseError.
TEST(MdxDamage, CutsAndGarbledPagesRaiseTheError) {
    TempDir dir;
    const std::string good = (dir / "G.MDX").string();
    std::vector<Entry> entries;
    for (uint32_t r = 1; r <= 400; ++r)
        entries.emplace_back(padded("k" + std::to_string(r * 7919 % 400), 80), r);
    std::vector<MdxTagBuild> builds;
    builds.push_back(characterTag("T", 80, entries));
    MdxFile::create(good, "G", 0x57, std::move(builds));
    const auto original = readFile(good);
    const std::string bad = (dir / "B.MDX").string();

    auto exercise = [&](const std::vector<uint8_t>& bytes) {
        writeFile(bad, bytes);
        auto mdx = MdxFile::open(bad, true);
        for (const auto& t : mdx->tags()) {
            auto c = mdx->cursor(t.name);
            for (bool ok = c.first(); ok; ok = c.next()) {
            }
            for (bool ok = c.last(); ok; ok = c.prior()) {
            }
            c.seek("k1");
            mdx->verifyTag(t.name, 400);
            mdx->insertKey(t.name, padded("k77", t.keyLength), 401);
        }
    };
    for (std::size_t cut = 0; cut < original.size(); cut += (cut < 2048 + 1024 ? 1 : 512)) {
        std::vector<uint8_t> bytes(original.begin(), original.begin() + long(cut));
        EXPECT_THROW(exercise(bytes), DatabaseError) << "cut at " << cut;
    }
    // Single bytes of the file header, the tag table entry and the tag header garbled:
    // either still valid or an error, never a crash.
    std::vector<std::size_t> spots;
    for (std::size_t at = 0; at < 48; ++at)
        spots.push_back(at);
    for (std::size_t at = 544; at < 544 + 32; ++at)
        spots.push_back(at);
    for (std::size_t at = 2048; at < 2048 + 248; ++at)
        spots.push_back(at);
    for (const std::size_t at : spots) {
        auto bytes = original;
        bytes[at] ^= 0xA5;
        try {
            exercise(bytes);
        } catch (const DatabaseError&) {
        }
    }
    // Whole node pages filled with noise.
    std::mt19937 rng(3);
    for (std::size_t page = 6; page * 512 < original.size(); page += 2) {
        auto bytes = original;
        for (std::size_t i = 0; i < 1024; ++i)
            bytes[page * 512 + i] = uint8_t(rng());
        EXPECT_THROW(exercise(bytes), DatabaseError) << "page " << page;
    }
    // Two keys swapped within a leaf, and a record number past the table's end.
    {
        auto bytes = original;
        uint8_t* leaf = &bytes[6 * 512];
        std::swap_ranges(leaf + 8 + 4, leaf + 8 + 84, leaf + 8 + 84 + 4);
        writeFile(bad, bytes);
        auto mdx = MdxFile::open(bad, false);
        EXPECT_THROW(mdx->verifyTag("T", 400), DatabaseError);
        auto c = mdx->cursor("T");
        EXPECT_THROW(walkForward(c), DatabaseError);
    }
    {
        auto bytes = original;
        le::put32(&bytes[6 * 512 + 8], 999);
        writeFile(bad, bytes);
        auto mdx = MdxFile::open(bad, false);
        try {
            mdx->verifyTag("T", 400);
            ADD_FAILURE();
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
        }
    }
}

// An index we wrote is read in the same order by an independent reader.
TEST(MdxIndependentReader, PerlXBaseIndexReadsOurTagInOurOrder) {
    if (std::system("perl -MXBase::Index -e 1 2>/dev/null") != 0)
        GTEST_SKIP() << "perl with XBase::Index (libdbd-xbase-perl) is not installed";
    TempDir dir;
    const std::string path = (dir / "P.MDX").string();
    std::mt19937 rng(11);
    std::vector<Entry> entries;
    for (uint32_t r = 1; r <= 3000; ++r) {
        std::string word;
        for (int i = 0; i < 6; ++i)
            word.push_back(char('A' + rng() % 4));
        entries.emplace_back(padded(word, 80), r);
    }
    std::vector<MdxTagBuild> builds;
    builds.push_back(characterTag("NewIndex", 80, entries));
    auto mdx = MdxFile::create(path, "P", 0x57, std::move(builds));
    // Splits and removals after the bulk build.
    for (uint32_t r = 3001; r <= 4000; ++r) {
        entries.emplace_back(padded("B" + std::to_string(r % 37), 80), r);
        mdx->insertKey("NEWINDEX", entries.back().first, r);
    }
    for (uint32_t r = 1; r <= 4000; r += 3)
        ASSERT_TRUE(mdx->removeKey("NEWINDEX", entries[r - 1].first, r));
    auto cursor = mdx->cursor("NEWINDEX");
    const auto ours = walkForward(cursor);
    ASSERT_EQ(ours.size(), 4000u - 1334u);

    const std::string out = (dir / "dump.txt").string();
    const std::string cmd = "perl -MXBase::Index -e '$i = XBase::Index->new($ARGV[0], tag => "
                            "\"NEWINDEX\") or die XBase::Index->errstr; $i->prepare_select; "
                            "while (my ($k, $v) = $i->fetch) { print \"$k|$v\\n\" }' " +
                            path + " > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(out);
    std::vector<Entry> theirs;
    for (std::string line; std::getline(in, line);) {
        const auto bar = line.rfind('|');
        theirs.emplace_back(padded(line.substr(0, bar), 80),
                            uint32_t(std::stoul(line.substr(bar + 1))));
    }
    EXPECT_EQ(theirs, ours);
}

// Other writers keep equal keys newest first. Every entry is walked once each way, found and
// removed exactly wherever it lies in its run, and a cursor of another handle keeps its place
// while the run it stands in grows and splits.
TEST(MdxForeignOrder, EqualKeysInAnyRecordOrderAreWalkedFoundAndRemovedExactly) {
    TempDir dir;
    const std::string path = (dir / "D.MDX").string();
    std::vector<Entry> initial;
    for (uint32_t r = 1; r <= 900; ++r)
        initial.emplace_back(padded("k" + std::to_string(r % 4), 10), r);
    {
        std::vector<MdxTagBuild> builds;
        builds.push_back(characterTag("T", 10, initial));
        MdxFile::create(path, "D", 0x57, std::move(builds));
    }
    enginetest::storeEqualKeysNewestFirst(path, 0);
    auto mdx = MdxFile::open(path, true);
    auto cursor = mdx->cursor("T");
    std::set<Entry> model(initial.begin(), initial.end());

    auto expectModel = [&] {
        const auto forward = walkForward(cursor);
        ASSERT_EQ(forward.size(), model.size());
        ASSERT_EQ(std::set<Entry>(forward.begin(), forward.end()), model);
        for (std::size_t i = 1; i < forward.size(); ++i)
            ASSERT_LE(forward[i - 1].first, forward[i].first);
        ASSERT_EQ(walkBackward(cursor), forward);
        ASSERT_EQ(mdx->verifyTag("T", 100000), forward);
        for (std::size_t i = 0; i < forward.size(); i += 7) {
            ASSERT_TRUE(cursor.find(forward[i].first, forward[i].second));
            ASSERT_EQ(Entry(cursor.key(), cursor.recno()), forward[i]);
            if (i + 1 < forward.size()) {
                ASSERT_TRUE(cursor.next());
                ASSERT_EQ(Entry(cursor.key(), cursor.recno()), forward[i + 1]);
            }
        }
        EXPECT_FALSE(cursor.find(padded("k1", 10), 999999));
    };
    expectModel();
    {
        const auto forward = walkForward(cursor);
        EXPECT_GT(forward[0].second, forward[1].second); // stored newest first
    }

    std::mt19937 rng(17);
    uint32_t nextRecno = 901;
    for (int op = 0; op < 600; ++op) {
        auto it = model.begin();
        std::advance(it, long(rng() % model.size()));
        const Entry victim = *it;
        if (op % 3 == 0) { // a new record
            const Entry e(padded("k" + std::to_string(rng() % 4), 10), nextRecno++);
            mdx->insertKey("T", e.first, e.second);
            model.insert(e);
        } else if (op % 3 == 1) { // an edit moving a record to another key
            ASSERT_TRUE(mdx->removeKey("T", victim.first, victim.second));
            const Entry e(padded("k" + std::to_string(rng() % 4), 10), victim.second);
            mdx->insertKey("T", e.first, e.second);
            model.erase(victim);
            model.insert(e);
        } else {
            ASSERT_TRUE(mdx->removeKey("T", victim.first, victim.second));
            EXPECT_FALSE(mdx->removeKey("T", victim.first, victim.second));
            model.erase(victim);
        }
    }
    expectModel();

    // A reader halfway through a run while the writer fills it: the entries that were there
    // are each visited once.
    auto reader = MdxFile::open(path, false);
    auto walker = reader->cursor("T");
    const std::set<Entry> before = model;
    std::vector<Entry> seen;
    ASSERT_TRUE(walker.first());
    seen.emplace_back(walker.key(), walker.recno());
    while (seen.size() < model.size() / 2 && walker.next())
        seen.emplace_back(walker.key(), walker.recno());
    const std::string runKey = seen.back().first;
    // Entries behind it in its leaf go, so that it has to find its place again.
    for (std::size_t back = 2; back <= 3; ++back)
        ASSERT_TRUE(
            mdx->removeKey("T", seen[seen.size() - back].first, seen[seen.size() - back].second));
    for (int i = 0; i < 300; ++i)
        mdx->insertKey("T", runKey, nextRecno++);
    while (walker.next())
        seen.emplace_back(walker.key(), walker.recno());
    std::map<Entry, int> visits;
    for (const Entry& e : seen)
        ++visits[e];
    for (const Entry& e : before)
        EXPECT_EQ(visits.count(e) ? visits[e] : 0, 1) << e.first << " " << e.second;
    for (const auto& [e, n] : visits)
        EXPECT_EQ(n, 1) << e.first << " " << e.second;
    EXPECT_EQ(seen.size(), before.size() + 300); // the new entries lie ahead of it
}

// A garbled tree whose interior node leads to one leaf of equal keys over and over: with equal
// keys in any record order, the walk, the lookup and the removal must still see the damage.
TEST(MdxDamage, ATreeLeadingBackToALeafOfEqualKeysIsDamageNotALoop) {
    TempDir dir;
    const std::string path = (dir / "L.MDX").string();
    std::vector<Entry> entries;
    for (uint32_t r = 1; r <= 100; ++r)
        entries.emplace_back(padded("same", 10), r);
    {
        std::vector<MdxTagBuild> builds;
        builds.push_back(characterTag("T", 10, entries));
        MdxFile::create(path, "L", 0x57, std::move(builds));
    }
    auto b = readFile(path);
    const uint32_t root = le::u32(&b[le::u32(&b[544]) * 512]);
    uint8_t* node = &b[root * 512];
    ASSERT_EQ(le::u32(node), 1u); // two leaves below one interior node
    const uint32_t leaf = le::u32(node + 8);
    const uint32_t group = 16, children = 40;
    le::put32(node, children - 1);
    for (uint32_t i = 0; i < children; ++i) {
        le::put32(node + 8 + i * group, leaf);
        if (i + 1 < children)
            std::memcpy(node + 8 + i * group + 4, padded("same", 10).data(), 10);
    }
    writeFile(path, b);

    auto mdx = MdxFile::open(path, true);
    auto c = mdx->cursor("T");
    EXPECT_THROW(walkForward(c), DatabaseError);
    EXPECT_THROW(walkBackward(c), DatabaseError);
    EXPECT_THROW(mdx->verifyTag("T", 100), DatabaseError);
    EXPECT_THROW(c.find(padded("same", 10), 999), DatabaseError);
    EXPECT_THROW(mdx->removeKey("T", padded("same", 10), 999), DatabaseError);
}
