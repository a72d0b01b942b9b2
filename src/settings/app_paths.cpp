#include "settings/app_paths.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {
QString xdgDir(const char* variable, const QString& fallbackUnderHome) {
    const QString set = qEnvironmentVariable(variable);
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    return QDir::cleanPath(QDir::homePath() + '/' + fallbackUnderHome);
}

const char* const kVersion = "0.1";
} // namespace

QString AppPaths::defaultProgramDir() {
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) +
           QStringLiteral("/tallywick-inventory");
}

QString AppPaths::defaultSettingsDir() {
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

bool isBrowseArgument(const QString& argument) {
    return argument.toUpper() == QLatin1String("/BROWSE");
}

CommandLine parseCommandLine(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A home inventory over dBase IV tables.\n"
                       "/BROWSE as the first argument also starts browse mode."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption programDir(
        QStringLiteral("program-dir"),
        QStringLiteral("Keep MASTER.DBF, the report definitions and the default lists in DIR."),
        QStringLiteral("DIR"));
    const QCommandLineOption settingsDir(QStringLiteral("settings-dir"),
                                         QStringLiteral("Keep TWKINV.INI in DIR."),
                                         QStringLiteral("DIR"));
    const QCommandLineOption browse(QStringLiteral("browse"),
                                    QStringLiteral("Browse mode: no command changes data."));
    parser.addOptions({programDir, settingsDir, browse});
    parser.addPositionalArgument(QStringLiteral("/BROWSE"), QStringLiteral("Browse mode."),
                                 QStringLiteral("[/BROWSE]"));
    parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"),
                                 QStringLiteral("Open this database instead of the one used last."),
                                 QStringLiteral("[DATABASE.DBF]"));

    // Without an application object the parser cannot name the program itself.
    const QString program = QFileInfo(args.value(0)).fileName();
    auto help = [&] {
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), program);
        return text;
    };
    CommandLine result;
    AppPaths& p = result.paths;
    p.programDir = AppPaths::defaultProgramDir();
    p.settingsDir = AppPaths::defaultSettingsDir();
    p.currentDir = QDir::currentPath();
    if (!parser.parse(args)) {
        result.outcome = CommandLine::Outcome::Refused;
        result.text = parser.errorText() + QStringLiteral("\n\n") + help();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.outcome = CommandLine::Outcome::ShowHelp;
        result.text = help();
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = CommandLine::Outcome::ShowVersion;
        result.text = QStringLiteral("Tallywick Inventory 97 for Linux %1\n")
                          .arg(QString::fromLatin1(kVersion));
        return result;
    }
    auto absolute = [&](const QString& dir) {
        return QDir::cleanPath(QDir(p.currentDir).absoluteFilePath(dir));
    };
    if (parser.isSet(programDir))
        p.programDir = absolute(parser.value(programDir));
    if (parser.isSet(settingsDir))
        p.settingsDir = absolute(parser.value(settingsDir));
    p.arguments = parser.positionalArguments();
    p.browse = parser.isSet(browse) || (!p.arguments.isEmpty() && isBrowseArgument(p.arguments[0]));
    for (const QString& a : p.arguments) {
        if (!isBrowseArgument(a)) {
            p.databaseFile = absolute(a);
            break;
        }
    }
    return result;
}

AppPaths AppPaths::fromCommandLine(const QStringList& args) {
    // Parse leniently: drop what the full parser would refuse, keep the rest.
    QStringList known{args.value(0)};
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if ((a == QLatin1String("--program-dir") || a == QLatin1String("--settings-dir")) &&
            i + 1 < args.size()) {
            known << a << args[i + 1];
            ++i;
        } else if (a == QLatin1String("--browse") || !a.startsWith(QLatin1Char('-'))) {
            known << a;
        }
    }
    return parseCommandLine(known).paths;
}
