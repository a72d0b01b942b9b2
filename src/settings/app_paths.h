#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. The program directory holds MASTER.DBF, the report
// definitions and the default lists; the settings directory holds TWKINV.INI.
struct AppPaths {
    QString programDir;
    QString settingsDir;
    QString currentDir;
    QStringList arguments; // what remains of the command line after our own options

    // Reads --program-dir DIR and --settings-dir DIR, falling back to the XDG locations.
    static AppPaths fromCommandLine(const QStringList& args);
    static QString defaultProgramDir();
    static QString defaultSettingsDir();
};
