#include "settings/app_paths.h"

#include <QDir>

namespace {
QString xdgDir(const char* variable, const QString& fallbackUnderHome) {
    const QString set = qEnvironmentVariable(variable);
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    return QDir::cleanPath(QDir::homePath() + '/' + fallbackUnderHome);
}
} // namespace

QString AppPaths::defaultProgramDir() {
    return xdgDir("XDG_DATA_HOME", QStringLiteral(".local/share")) +
           QStringLiteral("/tallywick-inventory");
}

QString AppPaths::defaultSettingsDir() {
    return xdgDir("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

AppPaths AppPaths::fromCommandLine(const QStringList& args) {
    AppPaths p;
    p.programDir = defaultProgramDir();
    p.settingsDir = defaultSettingsDir();
    p.currentDir = QDir::currentPath();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if ((a == QLatin1String("--program-dir") || a == QLatin1String("--settings-dir")) &&
            i + 1 < args.size()) {
            const QString dir = QDir::cleanPath(QDir(p.currentDir).absoluteFilePath(args[i + 1]));
            (a == QLatin1String("--program-dir") ? p.programDir : p.settingsDir) = dir;
            ++i;
        } else {
            p.arguments << a;
        }
    }
    return p;
}
