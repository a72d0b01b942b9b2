#include "engine_support.h"

using namespace dbase;
using namespace enginetest;

namespace {

// Opens the file and reads every field of every record; DatabaseError is the only failure
// allowed. Returns the error text, or "" when everything read.
std::string openAndReadAll(const fs::path& file) {
    try {
        Table t;
        t.openFile(file, OpenMode::ReadOnly, false); // records only; the index has its own tests
        for (t.first(); !t.eof(); t.next()) {
            for (int i = 0; i < t.fieldCount(); ++i) {
                t.fieldText(i);
                switch (t.field(i).type) {
                case FieldType::Numeric:
                case FieldType::Float:
                    t.fieldDouble(i);
                    break;
                case FieldType::Date:
                    t.fieldDate(i);
                    break;
                case FieldType::Logical:
                    t.fieldLogical(i);
                    break;
                default:
                    break;
                }
            }
        }
        return "";
    } catch (const DatabaseError& e) {
        return e.what();
    }
}

class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_good = readFile(m_dir.copyFixture("foreign-mdx/TEST3.DBF"));
        m_file = m_dir.file("BAD.DBF");
    }
    // Writes the good file with one change and expects open to fail naming the file.
    void expectRefused(const std::string& bytes, const std::string& why) {
        writeFile(m_file, bytes);
        const std::string error = openAndReadAll(m_file);
        EXPECT_NE(error, "") << why;
        EXPECT_NE(error.find("BAD.DBF"), std::string::npos) << why << ": " << error;
    }
    std::string patched(std::size_t offset, std::string_view bytes) const {
        std::string s = m_good;
        s.replace(offset, bytes.size(), bytes);
        return s;
    }
    TempDir m_dir;
    std::string m_good;
    fs::path m_file;
};

constexpr std::size_t kHeaderLength = 225; // TEST3.DBF: 6 fields
constexpr std::size_t kRecordLength = 146;
constexpr std::size_t kDesc = 32; // first descriptor (ID N 6)

} // namespace

TEST_F(DamagedFiles, EveryCutLengthIsRefusedUntilAllRecordsArePresent) {
    const std::size_t dataEnd = kHeaderLength + 3 * kRecordLength;
    ASSERT_EQ(m_good.size(), dataEnd + 1);
    for (std::size_t cut = 0; cut <= m_good.size(); ++cut) {
        writeFile(m_file, m_good.substr(0, cut));
        const std::string error = openAndReadAll(m_file);
        if (cut < dataEnd) {
            EXPECT_NE(error.find("BAD.DBF"), std::string::npos) << "cut at " << cut;
        } else {
            // Only the end-of-file marker is missing: other writers leave it out too.
            EXPECT_EQ(error, "") << "cut at " << cut;
        }
    }
}

TEST_F(DamagedFiles, GarbledHeaderValuesAreRefused) {
    expectRefused(patched(0, "\x30"), "FoxPro version byte");
    expectRefused(patched(0, "\x04"), "dBase 7 version byte");
    expectRefused(patched(4, std::string("\x04\x00\x00\x00", 4)), "count one past the end");
    expectRefused(patched(4, "\xFF\xFF\xFF\xFF"), "huge count");
    expectRefused(patched(8, std::string("\x01\x01", 2)), "header length past the fields");
    expectRefused(patched(8, std::string("\xE0\x00", 2)), "header length one short");
    expectRefused(patched(8, std::string("\x20\x00", 2)), "header length of 32");
    expectRefused(patched(8, std::string("\xFF\xFF", 2)), "header length past end of file");
    expectRefused(patched(10, std::string("\x93\x00", 2)), "record length too long");
    expectRefused(patched(10, std::string("\x91\x00", 2)), "record length too short");
    expectRefused(patched(10, std::string("\x00\x00", 2)), "record length zero");
    expectRefused(patched(kHeaderLength - 1, "A"), "terminator missing");
}

TEST_F(DamagedFiles, GarbledDescriptorsAreRefused) {
    expectRefused(patched(kDesc + 11, "X"), "unknown type letter");
    expectRefused(patched(kDesc + 11, std::string(1, '\0')), "type byte zero");
    expectRefused(patched(kDesc + 16, std::string(1, '\0')), "length zero");
    expectRefused(patched(kDesc, std::string(1, '\0')), "empty name");
    expectRefused(patched(kDesc, "ABCDEFGHIJK"), "unterminated name");
    expectRefused(patched(kDesc, "\x01"), "control character in name");
    expectRefused(patched(kDesc + 17, "\x06"), "decimals as wide as the field");
    // ADDED is the fifth field (D 8): a date of another width is garbled.
    expectRefused(patched(kDesc + 4 * 32 + 16, "\x09"), "date of width 9");
    expectRefused(patched(kDesc + 5 * 32 + 16, "\x02"), "logical of width 2");
}

TEST_F(DamagedFiles, GarbledRecordBytesRaiseErrorsWhenRead) {
    const std::size_t rec1 = kHeaderLength;
    // ID holds letters.
    expectRefused(patched(rec1 + 1, "  abc "), "letters in a number field");
    // ADDED at offset 1+6+100+20+10 = 137 holds month 13.
    expectRefused(patched(rec1 + 137, "20241301"), "month 13");
    expectRefused(patched(rec1 + 137, "2024ab01"), "letters in a date");
    expectRefused(patched(rec1 + 145, "Q"), "bad logical");
    // Blank and all-zero dates are blank, not errors.
    writeFile(m_file, patched(rec1 + 137, "00000000"));
    EXPECT_EQ(openAndReadAll(m_file), "");
}

TEST_F(DamagedFiles, NoSingleByteChangeInTheHeaderCrashes) {
    // Every header byte set to a handful of values: either it opens and reads, or it reports.
    const unsigned char values[] = {0x00, 0x01, 0x0D, 0x20, 0x7F, 0x80, 0xFF};
    for (std::size_t offset = 0; offset < kHeaderLength; ++offset) {
        for (unsigned char v : values) {
            std::string s = m_good;
            s[offset] = static_cast<char>(v);
            writeFile(m_file, s);
            const std::string error = openAndReadAll(m_file);
            if (!error.empty()) {
                EXPECT_NE(error.find("BAD.DBF"), std::string::npos) << offset << ": " << error;
            }
        }
    }
}

TEST_F(DamagedFiles, NotATableAtAll) {
    expectRefused("", "empty file");
    expectRefused("hello, world\n", "a text file");
    expectRefused(std::string(4096, '\0'), "zeros");
    fs::create_directory(m_dir.file("DIR.DBF"));
    EXPECT_NE(openAndReadAll(m_dir.file("DIR.DBF")).find("DIR.DBF"), std::string::npos);
}
