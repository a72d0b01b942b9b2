#pragma once

#include "dbase/table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

} // namespace enginetest
