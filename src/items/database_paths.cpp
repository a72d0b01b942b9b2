#include "items/database_paths.h"

#include <QDir>
#include <QFileInfo>

QString tableName(const QString& tablePath) {
    const QString file = QFileInfo(tablePath).fileName();
    const qsizetype dot = file.indexOf(QLatin1Char('.'));
    return dot < 0 ? file : file.left(dot);
}

DatabasePaths DatabasePaths::forTable(const QString& tablePath) {
    DatabasePaths p;
    p.current = tablePath;
    const QFileInfo info(tablePath);
    p.directory = QDir::cleanPath(info.absolutePath());
    p.name = tableName(tablePath);
    p.base = QDir(p.directory).filePath(p.name);
    p.index = p.base + QStringLiteral(".MDX");
    p.settings = p.base + QStringLiteral(".INI");
    return p;
}

QString DatabasePaths::listFile(int list) const {
    return base + QStringLiteral(".%1").arg(list, 3, 10, QLatin1Char('0'));
}

bool DatabasePaths::owns(const QString& file) const {
    QStringList own{current, index, settings};
    for (int list = 1; list <= 5; ++list)
        own << listFile(list);
    for (const QString& f : own)
        if (!f.isEmpty() && samePathOrFile(f, file))
            return true;
    return false;
}

bool samePathOrFile(const QString& a, const QString& b) {
    const QFileInfo ia(a);
    const QFileInfo ib(b);
    if (ia.absoluteFilePath() == ib.absoluteFilePath())
        return true;
    return ia.exists() && ib.exists() && ia.canonicalFilePath() == ib.canonicalFilePath();
}

QString defaultDatabasePath(const QString& programDir) {
    return QDir(programDir).filePath(kDefaultDatabaseFile);
}
