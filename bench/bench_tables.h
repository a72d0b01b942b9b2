#pragma once

// Item-shaped tables for the benchmarks: the 22 fields, a scratch directory removed at exit,
// and tables of N records made once per run with a benchmark's own record filler.

#include "dbase/table.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

inline std::vector<dbase::FieldDef> itemFields() {
    using dbase::FieldDef;
    return {FieldDef::character("Item", 40),
            FieldDef::character("Brand", 20),
            FieldDef::character("Model", 20),
            FieldDef::character("Serial", 20),
            FieldDef::character("Location", 30),
            FieldDef::character("Descriptio", 110),
            FieldDef::character("BoughtFrom", 40),
            FieldDef::character("IDMarks", 60),
            FieldDef::integer("Quantity"),
            FieldDef::date("PurchDate"),
            FieldDef::floating("Cost"),
            FieldDef::character("Category", 20),
            FieldDef::floating("RepCost"),
            FieldDef::character("Warranty", 3),
            FieldDef::date("WarDate"),
            FieldDef::character("WarNotes", 30),
            FieldDef::character("Owner", 30),
            FieldDef::floating("Value"),
            FieldDef::character("UserDef1", 40),
            FieldDef::character("UserDef2", 40),
            FieldDef::character("UserDef3", 40),
            FieldDef::character("UserDef4", 40)};
}

using Filler = std::function<void(dbase::Table&, std::uint32_t)>;

inline const char* const kCategories[] = {"Kitchen",   "Electronics", "Furniture", "Tools",
                                          "Jewellery", "Books",       "Clothing",  "Garden",
                                          "Sports",    "Art"};
inline const char* const kBrands[] = {"Acme",  "Globex", "Initech", "Umbrella",
                                      "Stark", "Wayne",  "Tyrell"};
inline const char* const kRooms[] = {"Living Room", "Kitchen", "Garage",
                                     "Bedroom 1",   "Office",  "Attic"};

// Fills the current (appended) record with the values of an ordinary item i: every field but
// the last three user fields, commas and quotes in every description.
inline void fillOrdinaryItem(dbase::Table& t, std::uint32_t i) {
    const std::string n = std::to_string(i);
    t.setFieldText(0, "Item number " + n);
    t.setFieldText(1, kBrands[i % 7]);
    t.setFieldText(2, "Model " + std::to_string(i % 977));
    t.setFieldText(3, "SN-" + n + "-X");
    t.setFieldText(4, kRooms[i % 6]);
    t.setFieldText(5, "A fairly ordinary description of item " + n +
                          ", with a comma and \"quotes\" in it");
    t.setFieldText(6, "Store " + std::to_string(i % 41));
    if (i % 3 == 0)
        t.setFieldText(7, "Engraved initials on the back");
    t.setFieldInteger(8, 1 + i % 9);
    t.setFieldDate(9, {1990 + static_cast<int>(i % 35), 1 + static_cast<int>(i % 12),
                       1 + static_cast<int>(i % 28)});
    t.setFieldText(10, std::to_string(i % 100000) + "." + std::to_string(10 + i % 90));
    t.setFieldText(11, kCategories[i % 10]);
    t.setFieldText(12, std::to_string(i % 120000) + ".50");
    t.setFieldText(13, i % 2 ? "Yes" : "No");
    if (i % 2)
        t.setFieldDate(14, {2030, 1 + static_cast<int>(i % 12), 15});
    t.setFieldText(15, "Two years parts and labour");
    t.setFieldText(16, i % 4 ? "Pat" : "Sam");
    t.setFieldText(17, std::to_string(i % 90000) + ".00");
    if (i % 5 == 0)
        t.setFieldText(18, "Insured separately");
}

// Writes a file just made out to the disk now: otherwise the kernel writes it back some
// seconds later, in the middle of whichever timing runs then.
inline void flushToDisk(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// The table and its production index, if it has one.
inline void flushTable(const fs::path& path) {
    flushToDisk(path);
    flushToDisk(fs::path(path).replace_extension(".MDX"));
}

// Writes dir/ITEMSn.DBF with n records filled by fill(table, i) for i = 1..n.
inline fs::path makeTable(const fs::path& dir, std::uint32_t records, const Filler& fill) {
    const std::string name = "ITEMS" + std::to_string(records);
    const fs::path path = dbase::Table::create(dir, name, itemFields());
    dbase::Table t;
    t.open(dir, name, dbase::OpenMode::Exclusive);
    for (std::uint32_t i = 1; i <= records; ++i) {
        t.append();
        fill(t, i);
        t.post();
    }
    t.close();
    flushTable(path);
    return path;
}

struct Scratch {
    fs::path dir;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "tw-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        dir = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

inline Scratch& scratch() {
    static Scratch s;
    return s;
}

// The table of n records, made on first use in the scratch directory.
inline const fs::path& cachedTable(std::uint32_t records, const Filler& fill) {
    static std::vector<std::pair<std::uint32_t, fs::path>> made;
    for (const auto& [n, p] : made)
        if (n == records)
            return p;
    made.emplace_back(records, makeTable(scratch().dir, records, fill));
    return made.back().second;
}

} // namespace bench
