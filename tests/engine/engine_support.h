#pragma once

#include "dbase/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace enginetest {

namespace fs = std::filesystem;

// A scratch directory removed when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tw-engine-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    fs::path file(const std::string& name) const { return m_path / name; }

    // Copies tests/data/<relative> in and returns the copy.
    fs::path copyFixture(const std::string& relative) const {
        const fs::path from = fs::path(TW_TEST_DATA_DIR) / relative;
        const fs::path to = m_path / from.filename();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        return to;
    }

private:
    fs::path m_path;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The 22 fields of the item table, in their order.
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

// A small table of every writable type.
inline std::vector<dbase::FieldDef> mixedFields() {
    using dbase::FieldDef;
    return {FieldDef::character("Name", 10), FieldDef::integer("Qty"), FieldDef::floating("Price"),
            FieldDef::date("Bought")};
}

// Appends a record with Name = name and Qty = qty to a mixed table.
inline void appendNamed(dbase::Table& t, const std::string& name, int qty) {
    t.append();
    t.setFieldText("Name", name);
    t.setFieldInteger("Qty", qty);
    t.post();
}

// Names of the visible records in walking order.
inline std::vector<std::string> walkNames(dbase::Table& t) {
    std::vector<std::string> names;
    for (t.first(); !t.eof(); t.next())
        names.push_back(t.fieldText("Name"));
    return names;
}

// Rewrites tag number `tag` (0-based) of an index so that every run of equal keys lists its
// records newest first, as other dBase writers keep them. Keys and tree stay as they are.
inline void storeEqualKeysNewestFirst(const fs::path& mdx, int tag) {
    std::string b = readFile(mdx);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
        return v;
    };
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(b[at]) |
                                        (static_cast<unsigned char>(b[at + 1]) << 8));
    };
    const std::size_t header = std::size_t{u32(544 + 32 * static_cast<std::size_t>(tag))} * 512;
    const std::size_t keyLength = u16(header + 12);
    const std::size_t group = u16(header + 18);
    std::vector<std::size_t> entries; // leaf entries in key order
    std::function<void(std::uint32_t)> walk = [&](std::uint32_t page) {
        const std::size_t node = std::size_t{page} * 512;
        const std::uint32_t n = u32(node);
        const bool leaf = u32(node + 8 + n * group) == 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            if (leaf)
                entries.push_back(node + 8 + i * group);
            else
                walk(u32(node + 8 + i * group));
        }
        if (!leaf)
            walk(u32(node + 8 + n * group));
    };
    walk(u32(header));
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t j = i + 1;
        while (j < entries.size() &&
               b.compare(entries[j] + 4, keyLength, b, entries[i] + 4, keyLength) == 0)
            ++j;
        for (std::size_t lo = i, hi = j - 1; lo < hi; ++lo, --hi)
            std::swap_ranges(b.begin() + static_cast<long>(entries[lo]),
                             b.begin() + static_cast<long>(entries[lo] + 4),
                             b.begin() + static_cast<long>(entries[hi]));
        i = j;
    }
    writeFile(mdx, b);
}

inline bool havePerlXBase() {
    return std::system("perl -MXBase::Index -e 1 2>/dev/null") == 0;
}

// (key, record number) of a character tag as Perl's XBase::Index (libdbd-xbase-perl) reads
// it, in its order; keys without their trailing blanks.
inline std::vector<std::pair<std::string, std::uint32_t>> perlTagEntries(const fs::path& mdx,
                                                                         const std::string& tag) {
    const fs::path out = mdx.parent_path() / "perl-dump.txt";
    const std::string cmd = "perl -MXBase::Index -e '$i = XBase::Index->new($ARGV[0], tag => "
                            "$ARGV[1]) or die XBase::Index->errstr; $i->prepare_select; "
                            "while (my ($k, $v) = $i->fetch) { print \"$k|$v\\n\" }' " +
                            mdx.string() + " " + tag + " > " + out.string();
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    if (std::system(cmd.c_str()) != 0) {
        ADD_FAILURE() << "XBase::Index could not read tag " << tag << " of " << mdx;
        return entries;
    }
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto bar = line.rfind('|');
        std::string key = line.substr(0, bar);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        entries.emplace_back(key, static_cast<std::uint32_t>(std::stoul(line.substr(bar + 1))));
    }
    return entries;
}

} // namespace enginetest
