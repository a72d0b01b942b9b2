#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. The program directory holds MASTER.DBF, the report
// definitions and the default lists; the settings directory holds TWKINV.INI.
struct AppPaths {
    QString programDir;
    QString settingsDir;
    QString currentDir;
    QStringList arguments; // the positional arguments, in order ("/BROWSE" among them)
    bool browse = false;   // browse mode asked for: --browse, or "/BROWSE" first
    // A database named on the command line ("Open with" from a file manager): the first
    // positional argument that is not "/BROWSE", made absolute. Empty when none was named.
    QString databaseFile;

    // Reads --program-dir DIR and --settings-dir DIR, falling back to the XDG locations.
    // Options it does not know are ignored here; parseCommandLine() refuses them.
    static AppPaths fromCommandLine(const QStringList& args);
    static QString defaultProgramDir();
    static QString defaultSettingsDir();
};

// "/BROWSE" in any letter case.
bool isBrowseArgument(const QString& argument);

// The program's command line: --help, --version, --program-dir DIR, --settings-dir DIR,
// --browse, "/BROWSE" (any letter case) as the first argument, and a database file to open.
struct CommandLine {
    enum class Outcome { Run, ShowHelp, ShowVersion, Refused };
    Outcome outcome = Outcome::Run;
    AppPaths paths;
    QString text; // the help or version text, or why the command line was refused
};
// args as QCoreApplication::arguments() gives them, the program first.
CommandLine parseCommandLine(const QStringList& args);
