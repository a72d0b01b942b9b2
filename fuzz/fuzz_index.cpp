// The input is a .MDX file, put beside a small sound table that names it as its production
// index. Every tag is walked both ways, sought in and checked; then the table is opened for
// writing (which repairs an interrupted write), a record is appended and edited through the
// tags, and the indexes are regenerated.

#include "dbase/table.h"
#include "fuzz_support.h"

#include <vector>

using namespace dbase;

namespace {

const std::filesystem::path& pristineTable() {
    static const std::filesystem::path file = [] {
        const auto dir = fuzz::scratch() / "pristine";
        std::filesystem::create_directories(dir);
        const auto path = Table::create(dir, "T",
                                        {FieldDef::character("Name", 12), FieldDef::integer("Qty"),
                                         FieldDef::floating("Price"), FieldDef::date("Bought")});
        Table t;
        t.openFile(path, OpenMode::Exclusive);
        for (int i = 0; i < 40; ++i) {
            t.append();
            t.setFieldText("Name", "N" + std::to_string((i * 7) % 40));
            t.setFieldInteger("Qty", i);
            t.setFieldText("Bought", "202401" + std::to_string(10 + i % 19));
            t.post();
        }
        t.setProductionIndexFlag(true);
        return path;
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto dir = fuzz::scratch() / "work";
    std::filesystem::create_directories(dir);
    const auto table = dir / "T.DBF";
    std::filesystem::copy_file(pristineTable(), table,
                               std::filesystem::copy_options::overwrite_existing);
    fuzz::writeFile(dir / "T.MDX", data, size);

    fuzz::onlyDatabaseErrors([&] {
        Table t;
        t.openFile(table, OpenMode::ReadOnly);
        for (const IndexTag& tag : t.indexTags()) {
            fuzz::onlyDatabaseErrors([&] {
                t.setIndex(tag.name);
                for (t.first(); !t.eof(); t.next()) {
                }
                for (t.last(); !t.bof(); t.prior()) {
                }
                t.findNearest(tag.keyType == 'C' ? "N2" : tag.keyType == 'D' ? "20240115" : "7");
            });
        }
        (void)t.checkIndexes();
    });
    fuzz::onlyDatabaseErrors([&] {
        Table t;
        t.openFile(table, OpenMode::Exclusive);
        const std::vector<IndexTag> tags = t.indexTags();
        if (!tags.empty())
            t.setIndex(tags.front().name);
        t.append();
        t.setFieldText("Name", "N5");
        t.setFieldInteger("Qty", 5);
        t.post();
        t.first();
        t.edit();
        t.setFieldText("Name", "A");
        t.post();
    });
    fuzz::onlyDatabaseErrors([&] {
        Table t;
        t.openFile(table, OpenMode::Exclusive, false);
        (void)t.regenerateIndexes();
    });
    return 0;
}
