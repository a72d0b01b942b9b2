#include "engine_support.h"

#include "dbase/code_page.h"

using namespace dbase;
using namespace enginetest;

namespace {

class FieldValues : public ::testing::Test {
protected:
    void SetUp() override {
        Table::create(m_dir.path(), "MIXED", mixedFields());
        m_table.open(m_dir.path(), "MIXED");
    }
    void reopen() {
        m_table.close();
        m_table.open(m_dir.path(), "MIXED");
    }
    TempDir m_dir;
    Table m_table;
};

} // namespace

TEST_F(FieldValues, CreatedLayoutHoldsTheProgramsValues) {
    const fs::path path = m_dir.file("MIXED.DBF");
    const std::string bytes = readFile(path);
    ASSERT_GE(bytes.size(), 32u + 4 * 32 + 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x03);
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 0x00); // no index
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x57);
    EXPECT_EQ(bytes[32 + 4 * 32], '\x0D');
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes.size(), 32u + 4 * 32 + 1 + 1);

    ASSERT_EQ(m_table.fieldCount(), 4);
    EXPECT_EQ(m_table.field(0).name, "NAME");
    EXPECT_EQ(m_table.fieldIndex("qty"), 1);
    EXPECT_EQ(m_table.fieldIndex("nope"), -1);
    EXPECT_EQ(m_table.field(1).type, FieldType::Numeric);
    EXPECT_EQ(m_table.field(1).decimals, 0);
    EXPECT_EQ(m_table.field(2).decimals, 2);
    EXPECT_EQ(m_table.field(3).type, FieldType::Date);
    EXPECT_EQ(m_table.field(3).length, 8);
    EXPECT_EQ(m_table.recordLength(), 1 + 10 + kIntegerFieldWidth + kFloatFieldWidth + 8);
    EXPECT_EQ(m_table.codePage(), CodePage::Windows1252);
    EXPECT_FALSE(m_table.hasProductionIndex());
    EXPECT_TRUE(m_table.lastUpdate().has_value());

    // The largest amounts the program accepts must fit: 12 typed characters, two decimals.
    m_table.append();
    EXPECT_NO_THROW(m_table.setFieldText("Price", "999999999999"));
    EXPECT_NO_THROW(m_table.setFieldText("Price", "-99999999999"));
    EXPECT_NO_THROW(m_table.setFieldText("Qty", "-999"));
    EXPECT_NO_THROW(m_table.setFieldInteger("Qty", 2147483647));
    EXPECT_NO_THROW(m_table.setFieldInteger("Qty", -2147483647 - 1));
    m_table.cancel();
}

TEST_F(FieldValues, EveryTypeRoundTripsAndBlankIsNotZero) {
    m_table.append();
    m_table.setFieldText("Name", "Lamp");
    m_table.setFieldInteger("Qty", 0);
    m_table.setFieldDouble("Price", 0.0);
    m_table.setFieldDate("Bought", {2024, 2, 29});
    m_table.post();

    m_table.append();
    m_table.setFieldText("Name", "Chair");
    m_table.setFieldText("Qty", "-12");
    m_table.setFieldText("Price", "1234.5");
    m_table.post();

    m_table.append(); // all blank
    m_table.post();
    reopen();

    EXPECT_EQ(m_table.recordCount(), 3u);
    m_table.first();
    EXPECT_EQ(m_table.fieldText("Name"), "Lamp");
    EXPECT_EQ(m_table.fieldInteger("Qty"), 0);
    EXPECT_FALSE(m_table.isBlank("Qty"));
    EXPECT_EQ(m_table.fieldDouble("Price"), 0.0);
    EXPECT_EQ(m_table.fieldText("Price"), "0.00");
    EXPECT_EQ(m_table.fieldDate("Bought"), (Date{2024, 2, 29}));
    EXPECT_EQ(m_table.fieldText("Bought"), "20240229");

    m_table.next();
    EXPECT_EQ(m_table.fieldInteger("Qty"), -12);
    EXPECT_EQ(m_table.fieldDouble("Price"), 1234.5);
    EXPECT_EQ(m_table.fieldBytes(m_table.fieldIndex("Price")), "           1234.50");
    EXPECT_FALSE(m_table.fieldDate("Bought").has_value());
    EXPECT_TRUE(m_table.isBlank("Bought"));

    m_table.next();
    for (int i = 0; i < m_table.fieldCount(); ++i)
        EXPECT_TRUE(m_table.isBlank(i)) << i;
    EXPECT_FALSE(m_table.fieldInteger("Qty").has_value());
    EXPECT_FALSE(m_table.fieldDouble("Price").has_value());
    EXPECT_EQ(m_table.fieldText("Name"), "");
}

TEST_F(FieldValues, NumbersAreRoundedToTheFieldsDecimals) {
    m_table.append();
    const int price = m_table.fieldIndex("Price");
    const std::pair<const char*, const char*> cases[] = {
        {"0.005", "0.01"},  {"-0.005", "-0.01"},  {"-0.004", "0.00"},
        {"9.995", "10.00"}, {".5", "0.50"},       {"+7", "7.00"},
        {"007.1", "7.10"},  {"99.999", "100.00"}, {" 12.30 ", "12.30"},
    };
    for (const auto& [in, out] : cases) {
        m_table.setFieldText(price, in);
        EXPECT_EQ(m_table.fieldText(price), out) << in;
    }
    m_table.setFieldDouble(price, 0.1 + 0.2);
    EXPECT_EQ(m_table.fieldText(price), "0.30");
    m_table.setFieldText("Qty", "2.5");
    EXPECT_EQ(m_table.fieldInteger("Qty"), 3);
    m_table.cancel();
}

TEST_F(FieldValues, ValuesThatDoNotFitAreRefusedAndLeaveTheField) {
    m_table.append();
    m_table.setFieldText("Name", "Ok");
    m_table.setFieldInteger("Qty", 5);
    const auto refused = [&](auto&& set) {
        try {
            set();
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("MIXED.DBF"), std::string::npos) << e.what();
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Name", "Eleven char"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldInteger("Qty", 100000000000LL); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Qty", "12abc"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Qty", "1e5"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Qty", "-"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Price", "1234567890123456"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldDouble("Price", 1e300); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldDate("Bought", {2023, 2, 29}); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Bought", "20241301"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("Bought", "2024-01-01"); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldDate("Name", {2024, 1, 1}); }));
    EXPECT_TRUE(refused([&] { m_table.setFieldText("NoSuchField", "x"); }));
    EXPECT_EQ(m_table.fieldText("Name"), "Ok");
    EXPECT_EQ(m_table.fieldInteger("Qty"), 5);
    // Trailing blanks are padding, so they do not count against the width.
    EXPECT_NO_THROW(m_table.setFieldText("Name", "Ten chars!    "));
    m_table.post();
    EXPECT_EQ(m_table.fieldText("Name"), "Ten chars!");

    // Setters outside edit mode are refused.
    EXPECT_THROW(m_table.setFieldText("Name", "x"), DatabaseError);
}

TEST_F(FieldValues, EditPostCancelAndReadOnly) {
    appendNamed(m_table, "First", 1);
    m_table.edit();
    m_table.setFieldText("Name", "Changed");
    m_table.cancel();
    EXPECT_EQ(m_table.fieldText("Name"), "First");
    reopen();
    EXPECT_EQ(m_table.fieldText("Name"), "First");

    m_table.edit();
    EXPECT_EQ(m_table.state(), TableState::Edit);
    m_table.setFieldText("Name", "Second");
    m_table.post();
    EXPECT_EQ(m_table.state(), TableState::Browse);
    reopen();
    EXPECT_EQ(m_table.fieldText("Name"), "Second");

    // A record is written only by post: closing discards an edit and an unposted append.
    m_table.edit();
    m_table.setFieldText("Name", "Lost");
    m_table.append();
    EXPECT_EQ(m_table.recordCount(), 1u); // the move to append posted "Lost"
    m_table.setFieldText("Name", "Unposted");
    m_table.close();
    m_table.open(m_dir.path(), "MIXED", OpenMode::ReadOnly);
    EXPECT_EQ(m_table.recordCount(), 1u);
    EXPECT_EQ(m_table.fieldText("Name"), "Lost");
    EXPECT_THROW(m_table.edit(), DatabaseError);
    EXPECT_THROW(m_table.append(), DatabaseError);
    EXPECT_THROW(m_table.deleteRecord(), DatabaseError);
}

TEST_F(FieldValues, OpenFindsTheTableByNameAndReportsMissingFiles) {
    m_table.close();
    EXPECT_NO_THROW(m_table.open(m_dir.path(), "MIXED.dbf"));
    EXPECT_EQ(m_table.path(), m_dir.file("MIXED.DBF"));
    m_table.close();
    fs::rename(m_dir.file("MIXED.DBF"), m_dir.file("lower.dbf"));
    EXPECT_NO_THROW(m_table.open(m_dir.path(), "lower"));
    m_table.close();
    try {
        m_table.open(m_dir.path(), "ABSENT");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("ABSENT.DBF"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos);
    }
    try {
        m_table.open(m_dir.file("no-such-dir"), "X");
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("no-such-dir"), std::string::npos);
    }
    EXPECT_THROW(Table::create(m_dir.file("no-such-dir"), "X", mixedFields()), DatabaseError);
    EXPECT_THROW(Table::create(m_dir.path(), "X", {}), DatabaseError);
    EXPECT_THROW(Table::create(m_dir.path(), "X", {FieldDef::character("1bad", 5)}), DatabaseError);
    EXPECT_THROW(Table::create(m_dir.path(), "X", {FieldDef::character("Elevenchars", 5)}),
                 DatabaseError);
    EXPECT_THROW(Table::create(m_dir.path(), "X", {FieldDef::character("Wide", 255)}),
                 DatabaseError);
    EXPECT_THROW(
        Table::create(m_dir.path(), "X", {FieldDef::character("A", 5), FieldDef::integer("a")}),
        DatabaseError);
    EXPECT_FALSE(fs::exists(m_dir.file("X.DBF")));
}

TEST_F(FieldValues, CreateReplacesAnExistingTable) {
    appendNamed(m_table, "Old", 1);
    m_table.close();
    Table::create(m_dir.path(), "MIXED", itemFields());
    m_table.open(m_dir.path(), "MIXED");
    EXPECT_EQ(m_table.fieldCount(), 22);
    EXPECT_EQ(m_table.recordCount(), 0u);
    EXPECT_TRUE(m_table.isEmpty());
    // No stray temporary files are left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(CodePages, ConvertBothWaysAndRefuseWhatTheyCannotHold) {
    // Windows-1252: Euro sign and curly quotes live in 0x80-0x9F.
    EXPECT_EQ(toUtf8("\x80\x93\xE9", CodePage::Windows1252), "\u20AC\u201C\u00E9");
    EXPECT_EQ(fromUtf8("caf\u00E9 \u20AC5", CodePage::Windows1252).bytes, "caf\xE9 \x80"
                                                                          "5");
    // DOS pages put other characters at the same bytes.
    EXPECT_EQ(toUtf8("\x82\x9C\xE1", CodePage::Dos437), "\u00E9\u00A3\u00DF");
    EXPECT_EQ(toUtf8("\x9B\xD5\xE1", CodePage::Dos850), "\u00F8\u0131\u00DF");
    EXPECT_EQ(fromUtf8("\u2592", CodePage::Dos437).bytes, "\xB1");

    // Every byte of every page survives the trip through UTF-8.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (CodePage page : {CodePage::Windows1252, CodePage::Dos437, CodePage::Dos850,
                          CodePage::Dos852, CodePage::Dos866}) {
        const EncodeResult back = fromUtf8(toUtf8(all, page), page);
        ASSERT_TRUE(back.ok) << codePageName(page);
        EXPECT_EQ(back.bytes, all) << codePageName(page);
    }
    // The pages iconv converts: a byte the page leaves undefined reads as U+FFFD and cannot be
    // written back; every defined one round-trips.
    EXPECT_EQ(toUtf8("\xC0\x98\xFF", CodePage::Windows1251), "\u0410\uFFFD\u044F");
    EXPECT_FALSE(fromUtf8("\uFFFD", CodePage::Windows1251).ok);
    EXPECT_EQ(fromUtf8("\u0141\u00F3d\u017A", CodePage::Windows1250).bytes, "\xA3\xF3"
                                                                            "d\x9F");

    // Two-byte pages: whole characters both ways; a lead byte cut off by the field's end, or
    // a pair the page does not define, reads as U+FFFD and the rest still reads.
    EXPECT_EQ(toUtf8("\x82\xA0"
                     "A\x82",
                     CodePage::Japanese932),
              "\u3042A\uFFFD");
    EXPECT_EQ(toUtf8("\xD6\xD0", CodePage::ChineseSimplified936), "\u4E2D");
    EXPECT_EQ(toUtf8("\xA4\xA4", CodePage::ChineseTraditional950), "\u4E2D");
    EXPECT_EQ(toUtf8("\xC7\xD1", CodePage::Korean949), "\uD55C");
    EXPECT_EQ(fromUtf8("x\u3042", CodePage::Japanese932).bytes, "x\x82\xA0");
    EXPECT_EQ(fromUtf8("\u4E2D", CodePage::ChineseTraditional950).bytes, "\xA4\xA4");
    const EncodeResult hangulInBig5 = fromUtf8("ab\uD55C", CodePage::ChineseTraditional950);
    EXPECT_FALSE(hangulInBig5.ok);
    EXPECT_EQ(hangulInBig5.badCharacter, U'\uD55C');
    EXPECT_EQ(hangulInBig5.badOffset, 2u);
    EXPECT_FALSE(fromUtf8("a\xC3", CodePage::Japanese932).ok);

    const EncodeResult greek = fromUtf8("ab\u03A9c", CodePage::Windows1252);
    EXPECT_FALSE(greek.ok);
    EXPECT_EQ(greek.badCharacter, U'\u03A9');
    EXPECT_EQ(greek.badOffset, 2u);
    EXPECT_TRUE(greek.bytes.empty());
    EXPECT_TRUE(fromUtf8("\u03A9", CodePage::Dos437).ok); // 437 has Omega
    EXPECT_FALSE(fromUtf8("\u20AC", CodePage::Dos437).ok);
    EXPECT_FALSE(fromUtf8("\xF0\x9F\x98\x80", CodePage::Windows1252).ok); // emoji
    // Malformed UTF-8: truncated, overlong, lone continuation, surrogate.
    for (const char* bad : {"a\xC3", "\xC0\xAF", "\x80", "\xED\xA0\x80"}) {
        const EncodeResult r = fromUtf8(bad, CodePage::Windows1252);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_EQ(r.badCharacter, U'\uFFFD');
    }
}

// The one table of language drivers: which name Windows-1252 (and so upper-case accented
// letters in index keys), which name a DOS code page, and that a byte naming none is only
// read as Windows-1252.
TEST(LanguageDrivers, CodePageAndUpperCasingAgree) {
    for (const std::uint8_t ansi : {0x57, 0x58, 0x59, 0x03}) {
        EXPECT_EQ(codePageForLanguageDriver(ansi), CodePage::Windows1252) << int(ansi);
        EXPECT_TRUE(isWindows1252Driver(ansi)) << int(ansi);
    }
    for (const std::uint8_t dos437 : {0x1B, 0x19, 0x01}) {
        EXPECT_EQ(codePageForLanguageDriver(dos437), CodePage::Dos437) << int(dos437);
        EXPECT_FALSE(isWindows1252Driver(dos437)) << int(dos437);
    }
    for (const std::uint8_t dos850 : {0x37, 0x1A, 0x02}) {
        EXPECT_EQ(codePageForLanguageDriver(dos850), CodePage::Dos850) << int(dos850);
        EXPECT_FALSE(isWindows1252Driver(dos850)) << int(dos850);
    }
    // Other languages' drivers, dBase's and FoxPro's numbering alike.
    const std::pair<std::uint8_t, CodePage> others[] = {
        {0x64, CodePage::Dos852},
        {0x26, CodePage::Dos866},
        {0xC9, CodePage::Windows1251},
        {0xC8, CodePage::Windows1250},
        {0x7B, CodePage::Japanese932},
        {0x13, CodePage::Japanese932},
        {0x4D, CodePage::ChineseSimplified936},
        {0x78, CodePage::ChineseTraditional950},
        {0x79, CodePage::Korean949},
        {0x04, CodePage::MacRoman},
    };
    for (const auto& [driver, page] : others) {
        EXPECT_EQ(codePageForLanguageDriver(driver), page) << int(driver);
        EXPECT_TRUE(isKnownLanguageDriver(driver)) << int(driver);
        EXPECT_FALSE(isWindows1252Driver(driver)) << int(driver);
    }
    // 0x68 names Kamenicky, for which the C library has no converter.
    for (const std::uint8_t none : {0x00, 0x68, 0xFF}) {
        EXPECT_EQ(codePageForLanguageDriver(none), CodePage::Windows1252) << int(none);
        EXPECT_FALSE(isKnownLanguageDriver(none)) << int(none);
        EXPECT_FALSE(isWindows1252Driver(none)) << int(none);
    }
    EXPECT_TRUE(isWindows1252Driver(kDefaultLanguageDriver));
}

TEST_F(FieldValues, HeaderBytesChangeOnlyWhereTheTableChanged) {
    const fs::path path = m_dir.file("MIXED.DBF");
    // An old date in the header, so the update is visible.
    m_table.close();
    std::string bytes = readFile(path);
    bytes[1] = 90;
    bytes[2] = 1;
    bytes[3] = 2;
    writeFile(path, bytes);
    m_table.open(m_dir.path(), "MIXED");
    EXPECT_EQ(m_table.lastUpdate(), (Date{1990, 1, 2}));

    // Reading changes nothing.
    m_table.first();
    m_table.recordCount();
    EXPECT_EQ(readFile(path), bytes);

    m_table.setProductionIndexFlag(true);
    std::string expected = bytes;
    expected[28] = 0x01;
    EXPECT_EQ(readFile(path), expected);

    appendNamed(m_table, "One", 1);
    const std::string after = readFile(path);
    EXPECT_NE(after.substr(1, 3), bytes.substr(1, 3));              // today's date
    EXPECT_EQ(after[4], 1);                                         // the count
    EXPECT_EQ(after.substr(8, 32 - 8), expected.substr(8, 32 - 8)); // byte 28 kept, rest too
    EXPECT_EQ(after.substr(32, 4 * 32 + 1), expected.substr(32, 4 * 32 + 1));
    m_table.close();
    m_table.openFile(path, OpenMode::Shared, false); // byte 28 names an index that is not there
    EXPECT_TRUE(m_table.hasProductionIndex());
    EXPECT_NE(m_table.lastUpdate(), (Date{1990, 1, 2}));
}
