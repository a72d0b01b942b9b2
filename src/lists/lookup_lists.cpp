#include "lists/lookup_lists.h"

#include "ui/prompter.h"
#include "formats/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace {
constexpr qsizetype kMaxLine = 255;
constexpr qint64 kMaxListFile = 16 * 1024 * 1024;

QString stripSpaces(QStringView s) {
    qsizetype start = 0, end = s.size();
    while (start < end && s[start] == QLatin1Char(' '))
        ++start;
    while (end > start && s[end - 1] == QLatin1Char(' '))
        --end;
    return s.mid(start, end - start).toString();
}

// Asks one of the two List Maintenance questions: question beep, "Warning", No by default.
bool askWarning(Prompter& prompter, const QString& text) {
    prompter.beep();
    return prompter.message({QStringLiteral("Warning"), text, MsgIcon::Question,
                             MsgButton::Yes | MsgButton::No, MsgButton::No}) == MsgButton::Yes;
}
} // namespace

QString lookupListPath(const QString& basePath, int list) {
    return basePath + QStringLiteral(".%1").arg(list, 3, 10, QLatin1Char('0'));
}

QString defaultListPath(const QString& programDir, int list) {
    return QDir(programDir)
        .filePath(QString::fromLatin1(kLookupLists.at(size_t(list - 1)).defaultFile));
}

QStringList readListFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListFile)
        return {};
    const QString text = decodeTextFile(file.read(kMaxListFile));
    QStringList entries;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != QLatin1Char('\n') &&
               text[end] != QLatin1Char('\r'))
            ++end;
        const QString entry =
            stripSpaces(QStringView(text).mid(start, std::min(end - start, kMaxLine)));
        if (!entry.isEmpty())
            entries << entry;
        start = end + 1;
    }
    return entries;
}

bool writeListFile(const QString& path, const QStringList& entries, QString* error) {
    QByteArray bytes;
    for (const QString& e : entries)
        bytes += e.toUtf8() + "\r\n";
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

size_t LookupLists::index(int list) {
    if (list < 1 || list > kLookupListCount)
        throw std::out_of_range("lookup list number out of range");
    return size_t(list - 1);
}

void LookupLists::loadList(int list, const QString& path) {
    setList(list, readListFile(path));
}

void LookupLists::setList(int list, const QStringList& entries) {
    m_editor[index(list)] = entries;
    m_grid[index(list)] = entries;
}

void LookupLists::loadDatabaseLists(const QString& basePath, const QString& programDir) {
    if (!QFileInfo::exists(lookupListPath(basePath, kCategoryList))) {
        loadDefaultLists(programDir);
        return;
    }
    for (int n = 1; n <= kLookupListCount; ++n)
        loadList(n, lookupListPath(basePath, n));
}

void LookupLists::loadDefaultLists(const QString& programDir) {
    for (int n = 1; n <= kLookupListCount; ++n)
        loadList(n, defaultListPath(programDir, n));
}

QStringList LookupLists::saveDatabaseLists(const QString& basePath) const {
    QStringList failed;
    for (int n = 1; n <= kLookupListCount; ++n)
        if (!writeListFile(lookupListPath(basePath, n), editorList(n)))
            failed << lookupListPath(basePath, n);
    return failed;
}

QStringList LookupLists::saveDefaultLists(const QString& programDir) const {
    QStringList failed;
    for (int n = 1; n <= kLookupListCount; ++n)
        if (!writeListFile(defaultListPath(programDir, n), editorList(n)))
            failed << defaultListPath(programDir, n);
    return failed;
}

bool LookupLists::addTypedValue(int list, const QString& text) {
    const QString value = stripSpaces(text);
    if (value.isEmpty() || m_editor[index(list)].contains(value, Qt::CaseSensitive))
        return false;
    m_editor[index(list)] << value;
    m_grid[index(list)] << value;
    return true;
}

bool LookupLists::saveAsDefaults(Prompter& prompter, const QString& programDir) const {
    if (!askWarning(prompter,
                    QStringLiteral("Your current Data Lists will become your default list "
                                   "values.  These values will be used when new databases are "
                                   "created.  Previous default values will be lost.  Do you "
                                   "want to proceed?")))
        return false;
    saveDefaultLists(programDir);
    return true;
}

bool LookupLists::loadInDefaults(Prompter& prompter, const QString& programDir) {
    if (!askWarning(prompter,
                    QStringLiteral("Your current Data Lists will be overridden with your "
                                   "default list values. Previous  values will be lost.  Do "
                                   "you want to proceed?")))
        return false;
    loadDefaultLists(programDir);
    return true;
}
