#include "find/search_replace_ops.h"

#include "find/search_criteria.h"
#include "formats/date_format.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "session/inventory_session.h"
#include "ui/prompter.h"

#include <QFileInfo>

const QString kReplaceNoFieldMessage = QStringLiteral("No field has been selected.");
const QString kReplaceBadSearchMessage =
    QStringLiteral("Invalid search value entered.  Please correct.");
const QString kReplaceBadReplaceMessage =
    QStringLiteral("Invalid replacement value entered.  Please correct.");
const QString kReplaceBadSearchDateMessage =
    QStringLiteral("Invalid search date entered.  Please correct.");
const QString kReplaceBadReplaceDateMessage =
    QStringLiteral("Invalid replacement date entered.  Please correct.");
const QString kReplaceInUseMessage = QStringLiteral(
    "Search and Replace requires exclusive use of the DBase File.  Make sure that the DBase "
    "File is not in use by another program  or that no other users are running the software "
    "or that no other copies of the software are in use.");
const QString kReplaceFailedMessage =
    QStringLiteral("Error in running search and replace.  Search and replace will be aborted.");
const QString kReplaceCompleteMessage = QStringLiteral("Global Search and Replace Complete.");

QString replaceConfirmQuestion(const QString& item) {
    return QStringLiteral("Item = \"") + item + QStringLiteral("\".  Change this record?");
}

QString replaceStoppedMessage(const ReplaceCounters& counters, quint32 recordNumber,
                              const QString& item, const QString& reason) {
    return QStringLiteral("Search and replace stopped at record %1 (Item = \"%2\"): the "
                          "replacement could not be stored there.  %3  %4 of %5 matching "
                          "records were changed before it; that record and the records after "
                          "it are as they were.")
        .arg(recordNumber)
        .arg(item, reason)
        .arg(counters.changed)
        .arg(counters.found);
}

namespace {

ReplaceCheckResult refuse(ReplaceCheck outcome, const QString& message) {
    ReplaceCheckResult r;
    r.outcome = outcome;
    r.message = message;
    return r;
}

std::optional<QDate> readDate(const QString& text, const DateFormat& dates) {
    if (text.isEmpty() || isUntouchedDateSlot(text))
        return std::nullopt;
    return dates.parse(text);
}

} // namespace

ReplaceCheckResult checkReplaceInput(const ReplaceInput& input, const DateFormat& dates) {
    const ItemField* field = itemField(input.field);
    if (!field)
        return refuse(ReplaceCheck::NoField, kReplaceNoFieldMessage);
    ReplaceCheckResult r;
    ReplaceValues& v = r.values;
    v.field = input.field;
    v.letter = field->letter;
    const QString search = input.searchText.trimmed();
    const QString replace = input.replaceText.trimmed();
    switch (field->letter) {
    case 'N': {
        const auto s = readPlainDecimal(search);
        if (search.isEmpty() || !s)
            return refuse(ReplaceCheck::BadSearch, kReplaceBadSearchMessage);
        if (replace.isEmpty() || !readPlainDecimal(replace))
            return refuse(ReplaceCheck::BadReplace, kReplaceBadReplaceMessage);
        v.searchNumber = *s;
        v.searchText = search;
        v.replaceText = replace;
        break;
    }
    case 'D': {
        const auto s = readDate(search, dates);
        if (!s)
            return refuse(ReplaceCheck::BadSearch, kReplaceBadSearchDateMessage);
        const auto n = readDate(replace, dates);
        if (!n)
            return refuse(ReplaceCheck::BadReplace, kReplaceBadReplaceDateMessage);
        v.searchDate = *s;
        v.replaceDate = *n;
        break;
    }
    default:
        v.searchText = search.toUpper();
        v.replaceText = replace;
        break;
    }
    return r;
}

namespace {

void reopenShared(ItemTable& items, const ReplaceHooks& hooks) {
    if (items.isOpen())
        items.close();
    items.open(dbase::OpenMode::Shared);
    if (hooks.reapplyViewer)
        hooks.reapplyViewer();
}

bool matches(const ItemTable& items, const ReplaceValues& v) {
    switch (v.letter) {
    case 'N': {
        const auto stored = items.floating(v.field);
        return stored && *stored == v.searchNumber;
    }
    case 'D': {
        const auto stored = items.date(v.field);
        return stored && *stored == v.searchDate;
    }
    default:
        return items.text(v.field).toUpper() == v.searchText;
    }
}

void writeReplacement(ItemTable& items, const ReplaceValues& v) {
    if (v.letter == 'D')
        items.setDate(v.field, v.replaceDate);
    else
        items.setText(v.field, v.replaceText);
}

} // namespace

ReplaceResult runSearchAndReplace(InventorySession& session, const ReplaceValues& values,
                                  bool confirmEach, Prompter& prompter, const ReplaceHooks& hooks) {
    ItemTable& items = session.items;
    ReplaceResult result;
    items.close();
    if (DBaseInUse(items.paths().current)) {
        prompter.error(kReplaceInUseMessage);
        reopenShared(items, hooks);
        result.outcome = ReplaceOutcome::InUse;
        return result;
    }
    if (hooks.progress)
        hooks.progress(result.counters, false);

    // Record order without the sort tag, so a changed record does not move under the pass.
    const QString followedIndex = items.indexName();
    bool tagDropped = false;
    try {
        items.open(dbase::OpenMode::Exclusive);
        if (QFileInfo::exists(items.paths().index)) {
            items.setIndex({});
            dbase::Table& t = items.table();
            if (t.hasIndex())
                for (const dbase::IndexTag& tag : t.indexTags())
                    if (QString::fromStdString(tag.name).compare(kSortTagName,
                                                                 Qt::CaseInsensitive) == 0) {
                        t.deleteIndex(tag.name);
                        tagDropped = true;
                        break;
                    }
        }
    } catch (const dbase::DatabaseError&) {
        prompter.error(kReplaceFailedMessage);
        // A tag already gone is built again while sole use lasts; the viewer keeps its order.
        try {
            if (tagDropped && items.isOpen() && items.openMode() == dbase::OpenMode::Exclusive)
                selectSortIndex(items, session.sortExpression, SortIndexUse::Rebuild);
            else
                items.setIndex(followedIndex);
        } catch (const dbase::DatabaseError&) {
            items.setIndex({});
        }
        reopenShared(items, hooks);
        result.outcome = ReplaceOutcome::Failed;
        return result;
    }
    if (hooks.reapplyViewer)
        hooks.reapplyViewer();

    // The pass visits every record: a search in force is set aside and put back afterwards.
    dbase::Table& table = items.table();
    const bool searchWasOn = session.searchOn;
    const dbase::Table::Filter searchFilter = table.filter();
    if (searchWasOn) {
        session.searchOn = false;
        table.clearFilter();
    }

    ReplaceCounters& c = result.counters;
    QString stopMessage;
    try {
        for (table.first(); !table.isEmpty() && !table.eof(); table.next()) {
            if (matches(items, values)) {
                if (confirmEach &&
                    !prompter.confirm(replaceConfirmQuestion(items.text(item_field::Item)))) {
                    ++c.found;
                } else {
                    try {
                        table.edit();
                        writeReplacement(items, values);
                        table.post();
                    } catch (const dbase::DatabaseError& e) {
                        // Never a half-changed record: the edit is dropped as a whole.
                        const quint32 recNo = table.recordNumber();
                        if (table.state() == dbase::TableState::Edit)
                            table.cancel();
                        ++c.found;
                        stopMessage = replaceStoppedMessage(c, recNo, items.text(item_field::Item),
                                                            QString::fromStdString(e.what()));
                        break;
                    }
                    ++c.found;
                    ++c.changed;
                }
            }
            ++c.processed;
            if (hooks.progress)
                hooks.progress(c, false);
        }
    } catch (const dbase::DatabaseError& e) {
        // Reading a damaged record: stop the pass the same way, the changes so far stay.
        stopMessage = replaceStoppedMessage(c, table.recordNumber(), QString(),
                                            QString::fromStdString(e.what()));
    }

    if (searchWasOn) {
        table.setFilter(searchFilter);
        session.searchOn = true;
    }
    QString rebuildError;
    try {
        selectSortIndex(items, session.sortExpression, SortIndexUse::Rebuild);
    } catch (const dbase::DatabaseError& e) {
        rebuildError = QString::fromStdString(e.what());
        items.setIndex({});
    }
    reopenShared(items, hooks);
    if (hooks.progress)
        hooks.progress(c, true);
    if (!stopMessage.isEmpty()) {
        prompter.error(stopMessage);
        result.outcome = ReplaceOutcome::Stopped;
    } else {
        prompter.message({QStringLiteral("Finished"), kReplaceCompleteMessage, MsgIcon::Information,
                          static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    }
    if (!rebuildError.isEmpty())
        prompter.error(rebuildError);
    return result;
}
