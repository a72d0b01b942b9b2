#include "dbase/bcd.h"
#include "dbase/database_error.h"
#include "dbase/expression.h"
#include "dbase/field.h"
#include "dbase/little_endian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace dbase;

namespace {

// A record laid out like the item table's interesting fields.
std::vector<FieldLayout> itemFields() {
    std::vector<FieldLayout> f = {{"CATEGORY", 'C', 20, 0, 0}, {"DESCRIPTIO", 'C', 110, 0, 0},
                                  {"COST", 'N', 12, 2, 0},     {"QUANTITY", 'N', 4, 0, 0},
                                  {"PURCHDATE", 'D', 8, 0, 0}, {"ACTIVE", 'L', 1, 0, 0},
                                  {"RATE", 'F', 10, 3, 0}};
    uint32_t offset = 1;
    for (auto& field : f) {
        field.offset = offset;
        offset += field.length;
    }
    return f;
}

struct Record {
    std::vector<FieldLayout> fields = itemFields();
    std::vector<uint8_t> bytes;
    Record() { bytes.assign(fields.back().offset + fields.back().length, ' '); }
    Record& set(const std::string& name, const std::string& value) {
        for (const auto& f : fields)
            if (f.name == name) {
                std::string v = value;
                if (f.type == 'N' || f.type == 'F')
                    v.insert(0, f.length - std::min<std::size_t>(f.length, v.size()), ' ');
                v.resize(f.length, ' ');
                std::memcpy(bytes.data() + f.offset, v.data(), f.length);
            }
        return *this;
    }
    std::string key(const std::string& expression, uint8_t driver = 0x57) const {
        return KeyExpression(expression, fields, driver).evaluate(bytes.data());
    }
};

std::string padded(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

} // namespace

TEST(KeyExpression, TextTermsUpperCaseAndCutToTheFieldOrTheCount) {
    Record r;
    r.set("CATEGORY", "Kitchen \xe9quipement").set("DESCRIPTIO", "a long description text");
    // The field is narrower than 80: the key is the whole field, upper-cased, blank-padded.
    KeyExpression wide("Upper(Left(Category,80))", r.fields);
    EXPECT_EQ(wide.keyType(), KeyType::Character);
    EXPECT_EQ(wide.keyLength(), 20);
    EXPECT_EQ(wide.evaluate(r.bytes.data()), "KITCHEN \xc9QUIPEMENT  ");
    // A DOS code page upper-cases plain letters only.
    EXPECT_EQ(r.key("UPPER(LEFT(CATEGORY,80))", 0x1B), "KITCHEN \xe9QUIPEMENT  ");
    // Narrower than the field: cut to the count.
    KeyExpression narrow("upper(left(descriptio,10))", r.fields);
    EXPECT_EQ(narrow.keyLength(), 10);
    EXPECT_EQ(narrow.evaluate(r.bytes.data()), "A LONG DES");
    // A plain field and a literal.
    EXPECT_EQ(r.key("category+'|'"), "Kitchen \xe9quipement  |");
}

TEST(KeyExpression, StrRightAlignsRoundsAndOverflowsToAsterisks) {
    Record r;
    EXPECT_EQ(r.set("COST", "1234.50").key("STR(Cost,12,2)"), "     1234.50");
    EXPECT_EQ(r.set("COST", "-12.35").key("STR(Cost,12,2)"), "      -12.35");
    EXPECT_EQ(r.set("COST", "").key("STR(Cost,12,2)"), "        0.00");      // blank
    EXPECT_EQ(r.set("COST", "2.50").key("STR(Cost,12,0)"), "           3");  // half up
    EXPECT_EQ(r.set("COST", "-2.50").key("STR(Cost,12,0)"), "          -3"); // away from 0
    EXPECT_EQ(r.set("COST", "-0.40").key("STR(Cost,12,0)"), "           0"); // no "-0"
    EXPECT_EQ(r.set("COST", "99.99").key("STR(Cost,5,1)"), "100.0");
    EXPECT_EQ(r.set("COST", "1234.50").key("STR(Cost,5,2)"), "*****"); // too wide
    EXPECT_EQ(r.set("COST", "-99999999.99").key("STR(Cost,12,2)"), "-99999999.99");
    EXPECT_EQ(r.set("COST", "-99999999.99").key("STR(Cost,11,2)"), "***********");
    EXPECT_EQ(r.set("QUANTITY", "7").key("STR(Quantity)"), "         7"); // default width 10
    EXPECT_EQ(r.set("RATE", "1.5E+02").key("STR(Rate,8,1)"), "   150.0"); // F in E notation
    EXPECT_EQ(r.set("QUANTITY", "x").key("STR(Quantity,4,0)"), "   0");   // garbage is zero
}

TEST(KeyExpression, DtosAndCombinedSortExpressions) {
    Record r;
    r.set("CATEGORY", "tools").set("COST", "-5.00").set("PURCHDATE", "20240229");
    EXPECT_EQ(r.key("DTOS(PurchDate)"), "20240229");
    EXPECT_EQ(r.set("PURCHDATE", "").key("dtos(purchdate)"), "        ");
    EXPECT_EQ(r.set("PURCHDATE", "20230229").key("DTOS(PURCHDATE)"), "        "); // no such day
    r.set("PURCHDATE", "19961231");
    KeyExpression all("Upper(Left(Category,20))+STR(Quantity,12,0)+STR(Cost,12,2)+DTOS(PurchDate)",
                      r.fields);
    EXPECT_EQ(all.keyLength(), 20 + 12 + 12 + 8);
    EXPECT_EQ(all.evaluate(r.bytes.data()), "TOOLS                          0       -5.0019961231");
}

TEST(KeyExpression, NumericAndDateKeysUseTheirBinaryForms) {
    Record r;
    KeyExpression cost("Cost", r.fields);
    EXPECT_EQ(cost.keyType(), KeyType::Numeric);
    EXPECT_EQ(cost.keyLength(), 12);
    EXPECT_EQ(hex(cost.evaluate(r.set("COST", "11.07").bytes.data())), "361111070000000000000000");
    EXPECT_EQ(hex(r.set("QUANTITY", "1").key("Quantity + 99")), "370510000000000000000000");

    KeyExpression date("PurchDate", r.fields);
    EXPECT_EQ(date.keyType(), KeyType::Date);
    EXPECT_EQ(date.keyLength(), 8);
    EXPECT_EQ(hex(date.evaluate(r.set("PURCHDATE", "20240101").bytes.data())), "000000804bc54241");
    const std::string blank = date.evaluate(r.set("PURCHDATE", "").bytes.data());
    EXPECT_EQ(le::f64(reinterpret_cast<const uint8_t*>(blank.data())), kBlankDateKey);
}

TEST(KeyExpression, BadExpressionsAreDatabaseErrorsNamingTheExpression) {
    const auto fields = itemFields();
    const char* bad[] = {"Upper(Left(Colour,80))",  // unknown field
                         "Soundex(Category)",       // unknown function
                         "Upper(Left(Category,80)", // unclosed
                         "Category+Cost",           // mixed types
                         "Active",                  // logical key
                         "Left(Category)",          // argument count
                         "Left(Category,Quantity)", // count must be a constant
                         "STR(Category,12,2)",      // wrong argument type
                         "Upper(Descriptio)",       // 110 characters: too long a key
                         "'open",                   // unterminated literal
                         "",
                         "Category Cost"};
    for (const char* text : bad) {
        try {
            KeyExpression e(text, fields);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + std::string(text) + "\""),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST(BcdKeys, EncodingMatchesOtherWritersAndOrdersByValue) {
    auto enc = [](const char* text) {
        const BcdKey k = bcdFromDecimal(text);
        return hex(std::string(k.begin(), k.end()));
    };
    EXPECT_EQ(enc("11.07"), "361111070000000000000000");
    EXPECT_EQ(enc("1"), "350510000000000000000000");
    EXPECT_EQ(enc("100"), "370510000000000000000000");
    EXPECT_EQ(enc("31.21"), "361131210000000000000000");
    EXPECT_EQ(enc("0.05"), "330550000000000000000000");
    EXPECT_EQ(enc("0"), "340100000000000000000000");
    EXPECT_EQ(enc("-0.00"), "340100000000000000000000");
    EXPECT_EQ(enc("-5"), "358550000000000000000000");

    const char* ascending[] = {
        "-1000", "-100", "-5.5", "-5",   "-0.01", "0",   "0.0001",
        "0.01",  "0.05", "1",    "9.99", "10",    "100", "123456789012345678",
        "1e3"};
    // "1e3" is no plain decimal and encodes as zero; leave it out of the order.
    std::vector<BcdKey> keys;
    for (const char* v : ascending)
        if (std::string(v) != "1e3")
            keys.push_back(bcdFromDecimal(v));
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t j = 0; j < keys.size(); ++j)
            EXPECT_EQ(compareBcd(keys[i].data(), keys[j].data()), i < j ? -1 : (i > j ? 1 : 0))
                << ascending[i] << " vs " << ascending[j];
    // Writers that count trailing digits differently still compare equal.
    const uint8_t tdbfOne[12] = {0x35, 0x09, 0x10};
    EXPECT_EQ(compareBcd(tdbfOne, bcdFromDecimal("1").data()), 0);
    for (const char* v : {"-12.5", "0", "0.05", "123456789012345678", "1000"})
        EXPECT_EQ(bcdToDecimal(bcdFromDecimal(v).data()), v);
}

TEST(DateKeys, JulianDaysAndCalendarChecks) {
    EXPECT_EQ(julianDayNumber(2024, 1, 1), 2460311);
    EXPECT_EQ(julianDayNumber(2000, 3, 1) - julianDayNumber(2000, 2, 28), 2); // leap year
    EXPECT_EQ(julianDayNumber(1900, 3, 1) - julianDayNumber(1900, 2, 28), 1); // not leap
    EXPECT_TRUE(parseDateDigits("20000229"));
    EXPECT_FALSE(parseDateDigits("19000229"));
    EXPECT_FALSE(parseDateDigits("2024 101"));
    EXPECT_FALSE(parseDateDigits("20241301"));
    EXPECT_FALSE(parseDateDigits("00000101"));
    const std::string early = dateKey("19991231");
    const std::string late = dateKey("20000101");
    const std::string blank = dateKey("        ");
    auto cmp = [](const std::string& a, const std::string& b) {
        return compareKeys(KeyType::Date, reinterpret_cast<const uint8_t*>(a.data()),
                           reinterpret_cast<const uint8_t*>(b.data()), 8);
    };
    EXPECT_LT(cmp(early, late), 0);
    EXPECT_LT(cmp(late, blank), 0);
    EXPECT_EQ(cmp(blank, dateKey("00000000")), 0);
}

TEST(KeyExpression, TheCommonDBaseFunctionsKeepTheirMeaning) {
    Record r;
    r.set("CATEGORY", "  Kitchen").set("DESCRIPTIO", "12.5kg box").set("QUANTITY", "7");
    r.set("PURCHDATE", "19961231").set("COST", "-5.25");
    EXPECT_EQ(r.key("VAL(Descriptio)+Quantity"), r.key("19.5+0"));
    EXPECT_EQ(r.key("STR(VAL('  -3.5x'),6,2)"), " -3.50");
    EXPECT_EQ(r.key("STR(VAL('x1'),3)"), "  0"); // no number at the start
    EXPECT_EQ(r.key("SUBSTR(Category,3,4)"), "Kitc");
    EXPECT_EQ(r.key("SUBSTR(Category,18)"), "   ");     // to the end of the field
    EXPECT_EQ(r.key("SUBSTR(Category,30,2)+'|'"), "|"); // past the end: nothing
    EXPECT_EQ(r.key("RIGHT(Descriptio,4)"), "    ");    // fields keep their trailing blanks
    EXPECT_EQ(r.key("RIGHT(TRIM(Descriptio),3)+'|'"), "box|");
    EXPECT_EQ(r.key("DTOC(PurchDate)"), "12/31/96");
    EXPECT_EQ(r.set("PURCHDATE", "").key("DTOC(PurchDate)"), "  /  /  ");
    EXPECT_EQ(r.key("IIF(Quantity>5,'many','few')+'|'"), "many|");
    EXPECT_EQ(r.key("IIF(Cost<0,-Cost,Cost)"), r.key("5.25"));
    EXPECT_EQ(r.key("LOWER(LEFT(Category,5))"), "  kit");
    EXPECT_EQ(r.key("DTOS(CTOD('02/29/2000'))"), "20000229");
    EXPECT_EQ(r.key("STR(YEAR(CTOD('1/2/95'))*100+MONTH({01/02/95}),6)"), "199501");
    // "-" moves the trailing blanks of the left text to the end.
    EXPECT_EQ(r.key("LEFT(Descriptio,12)-'|'"), "12.5kg box|  ");

    // TRIM and LTRIM make the width depend on the record: the key is padded to the widest.
    KeyExpression trimmed("TRIM(Category)+LTRIM(Category)", r.fields);
    EXPECT_TRUE(trimmed.variableWidth());
    EXPECT_EQ(trimmed.keyLength(), 40);
    EXPECT_EQ(trimmed.evaluate(r.bytes.data()), padded("  KitchenKitchen", 40));
    // ... or to the length another program chose for it.
    trimmed.useKeyLength(12);
    EXPECT_EQ(trimmed.evaluate(r.bytes.data()), "  KitchenKit");
    EXPECT_THROW(KeyExpression("Category", r.fields).useKeyLength(12), DatabaseError);
    EXPECT_FALSE(KeyExpression("SUBSTR(Category,2,3)+DTOC(PurchDate)", r.fields).variableWidth());
}

TEST(ForCondition, LogicalOperatorsComparisonsAndDeleted) {
    Record r;
    r.set("CATEGORY", "Smithson").set("QUANTITY", "12").set("ACTIVE", "T");
    r.set("PURCHDATE", "19960315").set("COST", "2.50");
    auto meets = [&](const char* text) {
        return ForCondition(text, r.fields).matches(r.bytes.data());
    };
    EXPECT_TRUE(meets(".NOT. DELETED()"));
    r.bytes[0] = '*';
    EXPECT_FALSE(meets(".NOT.DELETED()"));
    EXPECT_TRUE(meets("deleted()"));
    r.bytes[0] = ' ';
    // Texts compare as with SET EXACT OFF: up to the right side's length.
    EXPECT_TRUE(meets("Category = 'Smith'"));
    EXPECT_FALSE(meets("'Smith' = Category"));
    EXPECT_FALSE(meets("Category == 'Smith'"));
    EXPECT_TRUE(meets("Category == 'Smithson'"));
    EXPECT_TRUE(meets("Category <> 'Jones' .AND. Category # 'Jo' .AND. Category != 'x'"));
    EXPECT_FALSE(meets("Category > 'Sm' .OR. Category < 'A'"));
    EXPECT_TRUE(meets("Category >= 'Sm' .AND. Category < 'T'"));
    EXPECT_TRUE(meets("'thso' $ Category"));
    EXPECT_TRUE(meets("UPPER(Category) = 'SMITH'"));
    // Numbers and dates by value; logical fields and constants.
    EXPECT_TRUE(meets("Quantity>10.AND.Cost<=2.5"));
    EXPECT_FALSE(meets("Quantity*Cost > 30"));
    EXPECT_TRUE(meets("PurchDate > {12/31/95} .AND. PurchDate < CTOD('04/01/96')"));
    EXPECT_TRUE(meets("Active .AND. .NOT. .F."));
    EXPECT_TRUE(meets("!Active = .F."));
    // .AND. binds tighter than .OR.; .NOT. tighter than both.
    EXPECT_TRUE(meets(".T. .OR. .F. .AND. .F."));
    EXPECT_FALSE(meets("(.T. .OR. .F.) .AND. .F."));
    EXPECT_FALSE(meets(".NOT. .T. .OR. .F."));
    r.set("PURCHDATE", "");
    EXPECT_TRUE(meets("PurchDate < {01/01/00}")); // a blank date is below every date
    EXPECT_TRUE(meets("DTOS(PurchDate) = ' '"));

    const auto fields = itemFields();
    for (const char* bad : {"Quantity", "Category = 5", "Active > .F.", ".NOT. Category",
                            "Quantity >", "PurchDate = {13/45/96}", "Category $ Quantity"}) {
        try {
            ForCondition c(bad, fields);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + std::string(bad) + "\""), std::string::npos)
                << e.what();
        }
    }
}
