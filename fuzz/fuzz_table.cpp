// The input is a .DBF file. It is opened read-only, every record and field is read through the
// cursor, and the command-line check runs over it.

#include "dbase/table.h"
#include "dbase/table_tools.h"
#include "fuzz_support.h"

using namespace dbase;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = fuzz::scratch() / "T.DBF";
    fuzz::writeFile(file, data, size);
    fuzz::onlyDatabaseErrors([&] {
        Table t;
        t.openFile(file, OpenMode::ReadOnly, false);
        (void)t.lastUpdate();
        (void)t.codePage();
        for (t.first(); !t.eof(); t.next()) {
            for (int i = 0; i < t.fieldCount(); ++i) {
                fuzz::onlyDatabaseErrors([&] {
                    (void)t.fieldText(i);
                    switch (t.field(i).type) {
                    case FieldType::Numeric:
                    case FieldType::Float:
                        (void)t.fieldDouble(i);
                        (void)t.fieldInteger(i);
                        break;
                    case FieldType::Date:
                        (void)t.fieldDate(i);
                        break;
                    case FieldType::Logical:
                        (void)t.fieldLogical(i);
                        break;
                    default:
                        break;
                    }
                });
            }
        }
        for (t.last(); !t.bof(); t.prior()) {
        }
    });
    fuzz::onlyDatabaseErrors([&] { (void)checkTable(file); });
    return 0;
}
