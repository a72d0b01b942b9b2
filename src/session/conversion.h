#pragma once

#include <QString>

struct InventorySession;
class Prompter;

// Databases of the two earlier versions. Each kept its inventory in one fixed table in the
// program directory: version 2.X in H2LOG.DBF, version 1.X in HLOG.DBF. At start-up the
// program offers to append their records to the open database and then deletes the old table
// file (only the .DBF; an index beside it stays).

inline const QString kVersion2File = QStringLiteral("H2LOG.DBF");
inline const QString kVersion1File = QStringLiteral("HLOG.DBF");

// Silent recognisers: exactly 19 (version 2) or 15 (version 1) fields, the first one not
// looked at, the others named as that version named them (compared on their first 10
// characters, any letter case). A missing index first clears the production-index flag, as
// the own-table check does. Damage that keeps the table from opening throws DatabaseError.
bool CheckDBaseFormatV2(const QString& path);
bool CheckDBaseFormatV1(const QString& path);

struct ConversionResult {
    bool completed = false; // every old record was appended
    int converted = 0;      // records appended (none are left behind when not completed)
    int withoutDate = 0;    // records stored without a purchase date: their date made no date
    QString error;          // why it stopped; the appended records have been removed again
};

// Append the old table's live records to the session's item table. Either every record
// arrives or none does: a conversion that stops part-way removes what it appended. The old
// table is only read. Version 1 reads its dates with "/" and "m/d/y" and puts the user's date
// format back on every way out.
ConversionResult ConvertV2(InventorySession& session, const QString& path);
ConversionResult ConvertV1(InventorySession& session, const QString& path);

// Start-up: the version 2 table first, then the version 1 table; each one found is offered
// for conversion, converted on Yes and then deleted. A database open read only is left for a
// run that can write it.
void CheckForConversion(InventorySession& session, Prompter& prompter);

// The messages, for the tests.
QString conversionQuestion(const QString& version, const QString& file);
QString conversionFailedMessage(const QString& file, const QString& reason);
QString withoutDateMessage(const QString& file, const ConversionResult& result);
QString oldFileNotDeletedMessage(const QString& file);
