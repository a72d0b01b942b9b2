#pragma once

#include "reports/report_definition.h"

#include <QString>
#include <QStringList>

#include <optional>

class Prompter;

// TWKINV.URP: report definition records back to back, no header. The file is shared by every
// database and every running copy of the program, so each change rewrites the whole file into
// a new file that replaces the old one in one rename, under a lock that keeps two copies from
// interleaving their changes. Readers never see a half-written file.
class ReportFile {
public:
    static constexpr int kAppend = -1;

    explicit ReportFile(QString path) : m_path(std::move(path)) {}
    // TWKINV.URP in the program directory.
    static ReportFile inDirectory(const QString& programDir);
    const QString& path() const { return m_path; }

    // Names in file order. A missing file is an empty list; a damaged one is an empty list
    // and a reason in *problem.
    QStringList names(QString* problem = nullptr) const;
    // Every record. nullopt when the file cannot be read or is damaged (*problem says why);
    // a missing file gives nullopt with an empty problem.
    std::optional<std::vector<ReportDefinition>> readAll(QString* problem = nullptr) const;
    // Record n (from 0).
    std::optional<ReportDefinition> read(int n, QString* problem = nullptr) const;
    // Writes the definition at record n, or at the end for kAppend (a missing file is created).
    // Answers the record number written, or nullopt with the reason; the file is then as
    // it was.
    std::optional<int> write(const ReportDefinition& definition, int n, QString* problem = nullptr);
    // Removes record n; later records move up one place.
    bool remove(int n, QString* problem = nullptr);

    // Writes the eight built-in definitions when the file is missing. False when it could not.
    bool createIfMissing(QString* problem = nullptr);

private:
    QString m_path;
};

// The one-time conversion of a report file of the earlier version.
struct HomeConversion {
    bool found = false;        // HOME.URP was there (and is gone now)
    int converted = 0;         // definitions appended to TWKINV.URP
    int unknownFieldParts = 0; // field parts naming no known field, left as empty space
    QString problem;           // why the conversion stopped early, if it did
};

inline constexpr int kHomeRecordSize = 19831;

// Appends the user's definitions of programDir/HOME.URP to `target` and deletes HOME.URP.
HomeConversion convertHomeFile(const QString& programDir, ReportFile& target);

// Start-up: TWKINV.URP with the built-in definitions when missing, then the HOME.URP
// conversion. What a user needs to know (parts left empty, a conversion cut short) comes back
// as a text for a notice, empty when there is nothing to say.
QString prepareReportFile(const QString& programDir);
// The same, telling the user in a notice.
void prepareReportFile(const QString& programDir, Prompter& prompter);
