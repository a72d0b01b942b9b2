#pragma once

#include <QDate>
#include <QString>

#include <functional>
#include <optional>

class Prompter;
struct DateFormat;
struct InventorySession;

// Search and replace: one pass over every record of the item table, in record order, that
// writes a new value into each record whose field holds the searched value. Needs sole use of
// the table; the sort index is dropped for the pass and built again afterwards.

struct ReplaceInput {
    int field = 0; // 1-22; 0 when none is chosen
    QString searchText;
    QString replaceText;
};

enum class ReplaceCheck { Ok, NoField, BadSearch, BadReplace };

// The values ready for the pass: texts trimmed, numbers and dates read.
struct ReplaceValues {
    int field = 0;
    char letter = 'C';
    QString searchText; // character fields: upper case
    QString replaceText;
    double searchNumber = 0;
    QDate searchDate;
    QDate replaceDate;
};

struct ReplaceCheckResult {
    ReplaceCheck outcome = ReplaceCheck::Ok;
    QString message; // empty for Ok
    ReplaceValues values;
};

// The checks made before anything is touched. Dates are read in the given format.
ReplaceCheckResult checkReplaceInput(const ReplaceInput& input, const DateFormat& dates);

struct ReplaceCounters {
    qint64 processed = 0; // records visited
    qint64 found = 0;     // records whose field matched
    qint64 changed = 0;   // records written
};

enum class ReplaceOutcome {
    Completed, // every record visited; "Finished" has been shown
    InUse,     // another program holds the table; nothing touched
    Failed,    // sole use or dropping the index failed; nothing changed
    Stopped,   // a replacement could not be stored; the records before it keep their change
};

struct ReplaceResult {
    ReplaceOutcome outcome = ReplaceOutcome::Completed;
    ReplaceCounters counters;
};

struct ReplaceHooks {
    // After every counter change, and once more with final set before the closing message; the
    // window draws the counters.
    std::function<void(const ReplaceCounters&, bool final)> progress;
    // After every reopening of the table.
    std::function<void()> reapplyViewer;
};

// The pass, with its messages and questions through the prompter. A search in force is set
// aside for the pass (every record is visited) and in force again afterwards; the table is
// open shared, in its sort order, whatever the outcome.
ReplaceResult runSearchAndReplace(InventorySession& session, const ReplaceValues& values,
                                  bool confirmEach, Prompter& prompter, const ReplaceHooks& hooks);

extern const QString kReplaceNoFieldMessage;
extern const QString kReplaceBadSearchMessage;
extern const QString kReplaceBadReplaceMessage;
extern const QString kReplaceBadSearchDateMessage;
extern const QString kReplaceBadReplaceDateMessage;
extern const QString kReplaceInUseMessage;
extern const QString kReplaceFailedMessage;
extern const QString kReplaceCompleteMessage;
QString replaceConfirmQuestion(const QString& item);
QString replaceStoppedMessage(const ReplaceCounters& counters, quint32 recordNumber,
                              const QString& item, const QString& reason);
