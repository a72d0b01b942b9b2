#pragma once

#include <QString>

// The files of one database share a directory and a base name. NAME is the table file's
// name up to its first "." (MY.DATA.DBF gives MY); the companions are NAME.MDX, NAME.INI and
// NAME.001 to NAME.005, spelled with upper-case extensions.
struct DatabasePaths {
    QString current;   // the table file as chosen
    QString directory; // its directory, absolute
    QString name;      // NAME
    QString base;      // directory + "/" + NAME
    QString index;     // base + ".MDX"
    QString settings;  // base + ".INI"

    static DatabasePaths forTable(const QString& tablePath);
    QString listFile(int list) const; // base + ".00n"
    // Whether `file` names one of this database's own files (table, index, settings, lists),
    // as written or through a link: nothing else may be written there.
    bool owns(const QString& file) const;
};

// Whether the two paths name the same file: equal as absolute paths, or, for files that
// exist, through links.
bool samePathOrFile(const QString& a, const QString& b);

// NAME of a table path: the file name up to the first ".".
QString tableName(const QString& tablePath);

inline const QString kDefaultDatabaseFile = QStringLiteral("MASTER.DBF");
// The report definitions every database shares, in the program directory.
inline const QString kReportDefinitionsFile = QStringLiteral("TWKINV.URP");
QString defaultDatabasePath(const QString& programDir);
