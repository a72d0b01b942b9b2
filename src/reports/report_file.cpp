#include "reports/report_file.h"

#include "dbase/code_page.h"
#include "dbase/little_endian.h"
#include "ui/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kNotLocated = QStringLiteral("Report format could not be located.");

QString damaged(const QString& path, const QString& why) {
    return QStringLiteral("The report definitions file %1 is damaged: %2.  Restore it from a "
                          "backup, or delete it to get the built-in reports back.")
        .arg(QDir::toNativeSeparators(path), why);
}

// Changes to the file are serialised by an exclusive lock on its directory: the file itself
// is replaced by every change, so a lock on it would be left behind on the old copy.
class DirectoryLock {
public:
    explicit DirectoryLock(const QString& file) {
        const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
        m_fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        int rc;
        do
            rc = ::flock(m_fd, LOCK_EX);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~DirectoryLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    bool ok() const { return m_fd >= 0; }
    const QString& error() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};

void setProblem(QString* problem, const QString& text) {
    if (problem)
        *problem = text;
}

// Replaces the file with these records in one rename.
bool replaceFile(const QString& path, const std::vector<ReportDefinition>& records,
                 QString* problem) {
    std::string bytes;
    bytes.reserve(records.size() * std::size_t(kReportRecordSize));
    for (const ReportDefinition& d : records) {
        EncodedReport enc = encodeReport(d);
        if (!enc.error.isEmpty()) {
            setProblem(problem, enc.error);
            return false;
        }
        bytes += enc.bytes;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !out.commit()) {
        setProblem(problem, QStringLiteral("The report definitions file %1 could not be "
                                           "written: %2.")
                                .arg(QDir::toNativeSeparators(path), out.errorString()));
        return false;
    }
    return true;
}

} // namespace

ReportFile ReportFile::inDirectory(const QString& programDir) {
    return ReportFile(QDir(programDir).filePath(QStringLiteral("TWKINV.URP")));
}

std::optional<std::vector<ReportDefinition>> ReportFile::readAll(QString* problem) const {
    setProblem(problem, {});
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        setProblem(problem, QStringLiteral("The report definitions file %1 could not be "
                                           "read: %2.")
                                .arg(QDir::toNativeSeparators(m_path), file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() % kReportRecordSize != 0) {
        setProblem(problem, damaged(m_path, QStringLiteral("its length is not a whole number of "
                                                           "report records")));
        return std::nullopt;
    }
    std::vector<ReportDefinition> records;
    const qsizetype count = bytes.size() / kReportRecordSize;
    records.reserve(std::size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        QString why;
        auto d = decodeReport(
            std::string_view(bytes.constData() + i * kReportRecordSize, kReportRecordSize), &why);
        if (!d) {
            setProblem(problem, damaged(m_path, QStringLiteral("record %1 cannot be a report "
                                                               "definition, as %2")
                                                    .arg(i + 1)
                                                    .arg(why)));
            return std::nullopt;
        }
        records.push_back(std::move(*d));
    }
    return records;
}

QStringList ReportFile::names(QString* problem) const {
    QStringList names;
    if (auto all = readAll(problem))
        for (const ReportDefinition& d : *all)
            names << d.name;
    return names;
}

std::optional<ReportDefinition> ReportFile::read(int n, QString* problem) const {
    QString why;
    auto all = readAll(&why);
    if (!all || n < 0 || std::size_t(n) >= all->size()) {
        setProblem(problem, why.isEmpty() ? kNotLocated : why);
        return std::nullopt;
    }
    setProblem(problem, {});
    return (*all)[std::size_t(n)];
}

std::optional<int> ReportFile::write(const ReportDefinition& definition, int n, QString* problem) {
    DirectoryLock lock(m_path);
    if (!lock.ok()) {
        setProblem(problem, QStringLiteral("The report definitions file %1 could not be "
                                           "locked: %2.")
                                .arg(QDir::toNativeSeparators(m_path), lock.error()));
        return std::nullopt;
    }
    QString why;
    auto all = readAll(&why);
    if (!all) {
        if (!why.isEmpty()) { // damaged: writing would throw away the other definitions
            setProblem(problem, why);
            return std::nullopt;
        }
        all.emplace(); // missing: created anew
    }
    if (n == kAppend || std::size_t(n) == all->size()) {
        n = int(all->size());
        all->push_back(definition);
    } else if (n < 0 || std::size_t(n) > all->size()) {
        setProblem(problem, kNotLocated);
        return std::nullopt;
    } else {
        (*all)[std::size_t(n)] = definition;
    }
    if (!replaceFile(m_path, *all, problem))
        return std::nullopt;
    setProblem(problem, {});
    return n;
}

bool ReportFile::remove(int n, QString* problem) {
    DirectoryLock lock(m_path);
    if (!lock.ok()) {
        setProblem(problem, QStringLiteral("The report definitions file %1 could not be "
                                           "locked: %2.")
                                .arg(QDir::toNativeSeparators(m_path), lock.error()));
        return false;
    }
    QString why;
    auto all = readAll(&why);
    if (!all || n < 0 || std::size_t(n) >= all->size()) {
        setProblem(problem, why.isEmpty() ? kNotLocated : why);
        return false;
    }
    all->erase(all->begin() + n);
    if (!replaceFile(m_path, *all, problem))
        return false;
    setProblem(problem, {});
    return true;
}

bool ReportFile::createIfMissing(QString* problem) {
    DirectoryLock lock(m_path);
    if (!lock.ok()) {
        setProblem(problem, lock.error());
        return false;
    }
    if (QFileInfo::exists(m_path))
        return true;
    return replaceFile(m_path, builtInReports(), problem);
}

// HOME.URP record, 19831 bytes:
//
// | offset | size  | meaning                                   |
// |--------|-------|-------------------------------------------|
// | 0      | 31    | string[30] name                           |
// | 31     | 2     | int16 characters per line                 |
// | 33     | 50    | not read                                  |
// | 83     | 1     | flag column headers                       |
// | 84     | 1     | flag page numbers                         |
// | 85     | 1     | flag use totals                           |
// | 86     | 2     | int16 lines per item                      |
// | 88     | 1500  | totals line, 20 parts of 75 bytes         |
// | 1588   | 3x81  | string[80] title lines 1-3                |
// | 1831   | 18000 | body lines 1-12                           |
//
// Parts have the layout of TWKINV.URP; their field-number byte is not kept and is derived
// from the field name instead.
namespace {

namespace home {
constexpr std::size_t name = 0;
constexpr std::size_t charsPerLine = 31;
constexpr std::size_t columnHeaders = 83;
constexpr std::size_t pageNumbers = 84;
constexpr std::size_t useTotals = 85;
constexpr std::size_t numLines = 86;
constexpr std::size_t totals = 88;
constexpr std::size_t titles = 1588;
constexpr std::size_t body = 1831;
constexpr std::size_t partSize = 75;
constexpr std::size_t lineSize = 1500;
constexpr std::size_t partWidth = 32;
constexpr std::size_t partLabel = 34;
} // namespace home
static_assert(home::body + 12 * home::lineSize == kHomeRecordSize);

const std::array<const char*, 7> kOldBuiltInNames = {
    "90 Column 1 Line Report",   "120 Column 2 Line Report", "Full Report",
    "Statistics/Summary Report", "120 Column 1 Line Report", "120 Column 4 Line Report",
    "1 Line Warranty Report"};

// A string[N] of the old file; nullopt when its length byte claims more than N.
std::optional<QString> oldString(std::string_view rec, std::size_t at, int capacity) {
    const int length = dbase::readU8(rec, at);
    if (length > capacity)
        return std::nullopt;
    return QString::fromStdString(
        dbase::toUtf8(rec.substr(at + 1, std::size_t(length)), dbase::CodePage::Windows1252));
}

std::optional<ReportLine> oldLine(std::string_view rec, std::size_t at, bool totals, int& unknown) {
    ReportLine line;
    for (int i = 0; i < kPartsPerLine; ++i) {
        const std::size_t p = at + std::size_t(i) * home::partSize;
        auto kind = oldString(rec, p, kPartKindLength);
        auto label = oldString(rec, p + home::partLabel, kLabelLength);
        if (!kind || !label)
            return std::nullopt;
        ReportPart& part = line.parts[std::size_t(i)];
        part.kind = *kind;
        part.width = std::int16_t(dbase::readU16(rec, p + home::partWidth));
        part.label = *label;
        if (part.partKind() == PartKind::Field) {
            part.fieldNumber =
                totals ? totalsFieldNumberOfName(*kind) : itemFieldNumberOfName(*kind);
            if (part.fieldNumber == 0) {
                // Keep the space it took, so the rest of the line stays where it was.
                part.kind = kFillerKind;
                part.label.clear();
                if (part.width > 0 && i < line.usedParts())
                    ++unknown;
            }
        }
    }
    return line;
}

std::optional<ReportDefinition> convertOld(std::string_view rec, int& unknown) {
    ReportDefinition d;
    auto name = oldString(rec, home::name, kReportNameLength);
    if (!name)
        return std::nullopt;
    d.name = *name;
    d.charsPerLine = std::int16_t(dbase::readU16(rec, home::charsPerLine));
    d.columnHeaders = dbase::readU8(rec, home::columnHeaders) != 0;
    d.pageNumbers = dbase::readU8(rec, home::pageNumbers) != 0;
    d.useTotals = dbase::readU8(rec, home::useTotals) != 0;
    d.numLines = std::int16_t(dbase::readU16(rec, home::numLines));
    if (d.charsPerLine <= 0 || d.numLines < 0 || d.numLines > kBodyLineCount)
        return std::nullopt;
    for (int i = 0; i < 5; ++i) {
        ReportFont& f = d.fonts[std::size_t(i)];
        f.face = QStringLiteral("Courier New");
        f.size = d.charsPerLine == 90 ? 10 : 8;
        f.bold = i == TitleFont || i == HeaderFont || i == FootnoteFont;
    }
    int lineUnknown = 0;
    auto totals = oldLine(rec, home::totals, true, lineUnknown);
    if (!totals)
        return std::nullopt;
    d.totals = *totals;
    for (std::size_t i = 0; i < 3; ++i) {
        auto title = oldString(rec, home::titles + i * (kTitleLength + 1), kTitleLength);
        if (!title)
            return std::nullopt;
        d.titles[i] = *title;
    }
    for (std::size_t i = 0; i < std::size_t(kBodyLineCount); ++i) {
        auto body = oldLine(rec, home::body + i * home::lineSize, false, lineUnknown);
        if (!body)
            return std::nullopt;
        d.body[i] = *body;
    }
    unknown += lineUnknown;
    return d;
}

} // namespace

HomeConversion convertHomeFile(const QString& programDir, ReportFile& target) {
    HomeConversion result;
    const QString homePath = QDir(programDir).filePath(QStringLiteral("HOME.URP"));
    QFile home(homePath);
    if (!home.exists())
        return result;
    result.found = true;
    if (!home.open(QIODevice::ReadOnly)) {
        result.problem = QStringLiteral("The report file %1 of the earlier version could not "
                                        "be read: %2.")
                             .arg(QDir::toNativeSeparators(homePath), home.errorString());
        return result;
    }
    const QByteArray bytes = home.readAll();
    home.close();

    std::vector<ReportDefinition> converted;
    int skipped = 0;
    for (qsizetype at = 0; at + kHomeRecordSize <= bytes.size(); at += kHomeRecordSize) {
        const std::string_view rec(bytes.constData() + at, kHomeRecordSize);
        auto name = oldString(rec, home::name, kReportNameLength);
        if (name && std::find_if(kOldBuiltInNames.begin(), kOldBuiltInNames.end(),
                                 [&](const char* n) { return *name == QLatin1String(n); }) !=
                        kOldBuiltInNames.end())
            continue;
        if (auto d = convertOld(rec, result.unknownFieldParts))
            converted.push_back(std::move(*d));
        else
            ++skipped;
    }
    if (skipped > 0)
        result.problem = QStringLiteral("%1 damaged report definitions of %2 could not be "
                                        "converted.")
                             .arg(skipped)
                             .arg(QDir::toNativeSeparators(homePath));

    if (!converted.empty()) {
        // All at once, so a failure leaves both files as they were and the next start tries
        // again instead of losing the user's definitions.
        DirectoryLock lock(target.path());
        QString why;
        auto all = target.readAll(&why);
        if (!lock.ok() || (!all && !why.isEmpty())) {
            result.problem = lock.ok() ? why : lock.error();
            return result;
        }
        if (!all)
            all.emplace();
        all->insert(all->end(), converted.begin(), converted.end());
        if (!replaceFile(target.path(), *all, &why)) {
            result.problem = why;
            return result;
        }
        result.converted = int(converted.size());
    }
    QFile::remove(homePath);
    return result;
}

QString prepareReportFile(const QString& programDir) {
    QDir().mkpath(programDir);
    ReportFile file = ReportFile::inDirectory(programDir);
    file.createIfMissing();
    const HomeConversion c = convertHomeFile(programDir, file);
    QStringList notes;
    if (c.unknownFieldParts > 0)
        notes << QStringLiteral("%1 report parts converted from HOME.URP name no known field "
                                "and were left as empty space.")
                     .arg(c.unknownFieldParts);
    if (!c.problem.isEmpty())
        notes << c.problem;
    return notes.join(QStringLiteral("  "));
}

void prepareReportFile(const QString& programDir, Prompter& prompter) {
    const QString note = prepareReportFile(programDir);
    if (!note.isEmpty())
        prompter.notice(note);
}
