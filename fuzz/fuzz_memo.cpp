// The input is a memo file. Its first byte picks the kind (dBase III or IV .DBT, FoxPro or
// Visual FoxPro .FPT); a small table made here points its memo fields at blocks 0 to 7 and at
// the block number bytes 1-4 of the input name. Every memo is read through the cursor, and the
// command-line check runs over the table.

#include "dbase/table.h"
#include "dbase/table_tools.h"
#include "fuzz_support.h"

#include <string>

using namespace dbase;

namespace {

void put(std::string& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// One memo field, ten records; block numbers as text, or binary in Visual FoxPro.
std::string table(std::uint8_t version, std::uint32_t extraBlock) {
    const bool vfp = version == 0x30;
    const std::size_t fieldLength = vfp ? 4 : 10;
    const std::size_t headerLength = 32 + 32 + 1 + (vfp ? 263 : 0);
    std::string b(headerLength, '\0');
    b[0] = static_cast<char>(version);
    put(b, 4, 9, 4);
    put(b, 8, static_cast<std::uint32_t>(headerLength), 2);
    put(b, 10, static_cast<std::uint32_t>(1 + fieldLength), 2);
    b.replace(32, 5, "NOTES");
    b[32 + 11] = 'M';
    b[32 + 16] = static_cast<char>(fieldLength);
    b[64] = 0x0D;
    for (std::uint32_t r = 0; r < 9; ++r) {
        const std::uint32_t block = r < 8 ? r : extraBlock;
        std::string field(fieldLength, ' ');
        if (vfp) {
            put(field, 0, block, 4);
        } else {
            const std::string digits = std::to_string(block);
            field.replace(fieldLength - digits.size(), digits.size(), digits);
        }
        b += ' ' + field;
    }
    return b + '\x1A';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    static const std::uint8_t versions[] = {0x83, 0x8B, 0xF5, 0x30};
    const std::uint8_t version = versions[data[0] % 4];
    const std::uint32_t extra =
        static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
        static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24;
    const auto dir = fuzz::scratch();
    const std::string dbf = table(version, extra);
    fuzz::writeFile(dir / "M.DBF", dbf.data(), dbf.size());
    const bool fox = version == 0xF5 || version == 0x30;
    std::error_code ec;
    std::filesystem::remove(dir / (fox ? "M.DBT" : "M.FPT"), ec);
    fuzz::writeFile(dir / (fox ? "M.FPT" : "M.DBT"), data + 5, size - 5);
    fuzz::onlyDatabaseErrors([&] {
        Table t;
        t.openFile(dir / "M.DBF", OpenMode::ReadOnly);
        for (t.first(); !t.eof(); t.next())
            fuzz::onlyDatabaseErrors([&] { (void)t.memoBytes(0); });
    });
    fuzz::onlyDatabaseErrors([&] { (void)checkTable(dir / "M.DBF"); });
    return 0;
}
