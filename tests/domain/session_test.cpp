#include "session/inventory_session.h"

#include "find/search_criteria.h"
#include "find/search_session.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace {
namespace F = item_field;

// A session over HOME.DBF with six items, every other one of Brand "Acme", and a viewer that
// counts how often it was set up again and checks the table is open each time.
struct Session {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    QString path = dir.file(QStringLiteral("HOME.DBF"));
    int reapplied = 0;
    int detached = 0;

    Session() {
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        for (int i = 1; i <= 6; ++i) {
            session.items.table().append();
            session.items.setText(F::Item, QStringLiteral("Item %1").arg(i));
            session.items.setText(F::Brand,
                                  i % 2 ? QStringLiteral("Acme") : QStringLiteral("Other"));
            session.items.table().post();
        }
        session.detachViewer = [this] { ++detached; };
        session.reapplyViewer = [this] {
            EXPECT_TRUE(session.items.isOpen());
            ++reapplied;
        };
    }
    void searchAcme() {
        SearchItem brand;
        brand.text = QStringLiteral("ACME");
        brand.field = F::Brand;
        brand.endOfLevel = true;
        ASSERT_TRUE(applySearch(session, {brand}, session.reapplyViewer));
    }
    quint32 visible() { return session.items.table().countVisible(); }
};

const QString kRefusal = QStringLiteral("Sole use refused.");
} // namespace

TEST(Session, SoleUseWithRestartEndsTheSearchForTheWorkAndStartsItAgain) {
    Session s;
    s.searchAcme();
    ASSERT_EQ(s.visible(), 3u);
    const int before = s.reapplied;

    quint32 seenByWork = 0;
    EXPECT_TRUE(s.session.withExclusiveUse(
        s.prompter, kRefusal,
        [&](ItemTable& items) {
            EXPECT_EQ(items.openMode(), dbase::OpenMode::Exclusive);
            EXPECT_FALSE(s.session.searchOn);
            seenByWork = items.table().countVisible();
        },
        InventorySession::SearchDuringWork::Restart));
    EXPECT_EQ(seenByWork, 6u); // the work saw every record
    EXPECT_TRUE(s.session.searchOn);
    EXPECT_EQ(s.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(s.visible(), 3u); // and the viewer the search's records again
    EXPECT_GT(s.reapplied, before);
    EXPECT_GT(s.detached, 0);

    // Ended by hand and started again: the same records.
    s.session.endSearch();
    EXPECT_EQ(s.visible(), 6u);
    EXPECT_TRUE(s.session.restartSearch());
    EXPECT_TRUE(s.session.searchOn);
    EXPECT_EQ(s.visible(), 3u);
    EXPECT_FALSE(s.session.restartSearch()); // already on

    // Kept, the filter stays on during the work.
    EXPECT_TRUE(s.session.withExclusiveUse(s.prompter, kRefusal, [&](ItemTable& items) {
        seenByWork = items.table().countVisible();
    }));
    EXPECT_EQ(seenByWork, 3u);
}

TEST(Session, RefusedOrFailedSoleUseLeavesTheTableOpenWithTheSearch) {
    Session s;
    s.searchAcme();
    {
        ItemTable otherCopy;
        otherCopy.setPaths(DatabasePaths::forTable(s.path));
        otherCopy.open();
        s.prompter.expectMessage("Error", kRefusal);
        bool ran = false;
        EXPECT_FALSE(s.session.withExclusiveUse(
            s.prompter, kRefusal, [&](ItemTable&) { ran = true; },
            InventorySession::SearchDuringWork::Restart));
        EXPECT_FALSE(ran);
        EXPECT_TRUE(s.session.items.isOpen());
        EXPECT_TRUE(s.session.searchOn);
        EXPECT_EQ(s.visible(), 3u);
    }
    // An engine error in the work rises after the table was reopened with the search.
    EXPECT_THROW(s.session.withExclusiveUse(
                     s.prompter, kRefusal,
                     [](ItemTable&) { throw dbase::DatabaseError("disk full"); },
                     InventorySession::SearchDuringWork::Restart),
                 dbase::DatabaseError);
    EXPECT_EQ(s.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_TRUE(s.session.searchOn);
    EXPECT_EQ(s.visible(), 3u);

    // A read-only database is refused before the table is touched.
    s.session.readOnly = true;
    s.prompter.expectMessage("Error", "The database \"" + s.path +
                                          "\" cannot be written, so it is open for browsing "
                                          "only.");
    const int detached = s.detached;
    EXPECT_FALSE(s.session.withExclusiveUse(s.prompter, kRefusal, [](ItemTable&) {}));
    EXPECT_EQ(s.detached, detached);
}

TEST(Session, BrowseModeNeverChangesTheStoredFieldEditing) {
    Session s;
    s.session.db.fieldEditing = true;
    s.session.startBrowseMode();
    EXPECT_FALSE(s.session.db.fieldEditing);
    QString error;
    ASSERT_TRUE(s.session.saveSettings(&error));
    EXPECT_TRUE(loadDatabaseSettings(s.dir.file("HOME.INI"), {}).fieldEditing);

    // A read-only database writes nothing at all.
    s.session.readOnly = true;
    s.session.db.fieldNames[0] = QStringLiteral("Changed");
    ASSERT_TRUE(s.session.saveSettings(&error));
    EXPECT_EQ(loadDatabaseSettings(s.dir.file("HOME.INI"), {}).fieldNames[0], "Item");
}
