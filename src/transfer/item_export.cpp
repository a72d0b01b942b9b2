#include "transfer/item_export.h"

#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "settings/settings.h"
#include "transfer/delimited_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <filesystem>
#include <unordered_map>

namespace {
constexpr std::uint64_t kProgressEvery = 4096;
constexpr size_t kOutputChunk = 1 << 20;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

struct Column {
    int index = -1;
    FieldType type = FieldType::Character;
};

std::vector<Column> columnsFor(const dbase::Table& table, const std::vector<int>& fields) {
    std::vector<Column> columns;
    for (const int number : fields) {
        const ItemField* f = itemField(number);
        const int index = f ? table.fieldIndex(f->name) : -1;
        if (index < 0)
            throw dbase::DatabaseError("The item table has no field " +
                                       (f ? std::string(f->name) : std::to_string(number)) + ".");
        columns.push_back({index, f->type});
    }
    return columns;
}

// Walks the table from its first record, then puts the cursor back where it was.
template <typename Each>
std::uint64_t walk(dbase::Table& table, const ExportProgress& progress, Each each) {
    const dbase::Bookmark mark = table.bookmark();
    table.suspendUpdates();
    const auto restore = qScopeGuard([&table, mark] {
        if (mark.isValid())
            table.gotoBookmark(mark);
        table.resumeUpdates();
    });
    const std::uint64_t total = table.recordCount();
    std::uint64_t done = 0;
    for (table.first(); !table.eof(); table.next()) {
        each();
        if (++done % kProgressEvery == 0 && progress)
            progress(done, total);
    }
    if (progress)
        progress(total, total);
    return done;
}

QString nativePath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The user's date format with the year in four digits: a two-digit year read back lands in
// the sliding century window, so 1931 would come back as 2031.
DateFormat withFullYear(DateFormat format) {
    QStringList parts = format.pattern.split(QLatin1Char('/'));
    for (QString& p : parts)
        if (p.startsWith(QLatin1Char('y'), Qt::CaseInsensitive))
            p = QStringLiteral("yyyy");
    format.pattern = parts.join(QLatin1Char('/'));
    return format;
}

// Dates in the user's order and separator, each distinct date formatted once.
class DateTexts {
public:
    explicit DateTexts(const DateFormat& format) : m_format(withFullYear(format)) {}
    const std::string& text(std::string_view stored) {
        std::uint32_t key = 0;
        for (const char c : stored) {
            if (c < '0' || c > '9')
                return m_empty;
            key = key * 10 + std::uint32_t(c - '0');
        }
        if (stored.size() != 8)
            return m_empty;
        auto it = m_cache.find(key);
        if (it == m_cache.end()) {
            const QDate d(int(key / 10000), int(key / 100 % 100), int(key % 100));
            it =
                m_cache.emplace(key, d.isValid() ? m_format.format(d).toStdString() : std::string())
                    .first;
        }
        return it->second;
    }

private:
    DateFormat m_format;
    std::unordered_map<std::uint32_t, std::string> m_cache;
    std::string m_empty;
};
} // namespace

std::vector<int> exportList(const std::array<int, 22>& order, const std::array<bool, 22>& flags) {
    std::vector<int> list;
    std::array<bool, 22> taken{};
    for (int position = 1; position <= kItemFieldCount; ++position)
        for (int n = 1; n <= kItemFieldCount; ++n)
            if (order[size_t(n - 1)] == position && !taken[size_t(n - 1)]) {
                taken[size_t(n - 1)] = true;
                if (flags[size_t(n - 1)])
                    list.push_back(n);
                break;
            }
    for (int n = 1; n <= kItemFieldCount; ++n)
        if (!taken[size_t(n - 1)] && flags[size_t(n - 1)])
            list.push_back(n);
    return list;
}

QStringList exportHeader(const dbase::Table& table, const std::vector<int>& fields,
                         const DatabaseSettings& settings) {
    QStringList labels;
    for (const int number : fields) {
        const ItemField* f = itemField(number);
        if (settings.displayFields[size_t(number - 1)]) {
            labels << settings.fieldNames[size_t(number - 1)];
            continue;
        }
        const int index = table.fieldIndex(f->name);
        labels << (index >= 0 ? QString::fromStdString(table.field(index).name) : f->qName());
    }
    return labels;
}

ExportResult exportText(dbase::Table& table, const std::vector<int>& fields,
                        const QStringList* header, const DateFormat& dates, const QString& path,
                        const ExportProgress& progress) {
    ExportResult result;
    const std::vector<Column> columns = columnsFor(table, fields);
    QSaveFile file(path);
    const auto failed = [&] {
        result.error = QStringLiteral("The file %1 cannot be written: %2.")
                           .arg(nativePath(path), file.errorString());
        return result;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();

    std::array<std::string, 256> utf8;
    for (int b = 0; b < 256; ++b)
        utf8[size_t(b)] = dbase::toUtf8(std::string(1, char(b)), table.codePage());
    DateTexts dateTexts(dates);
    std::string out;
    out.reserve(kOutputChunk + 64 * 1024);
    std::string converted;

    if (header) {
        for (qsizetype i = 0; i < header->size(); ++i)
            appendDelimitedValue(out, header->at(i).toStdString(), i == 0);
        out += '\n';
    }
    bool writeFailed = false;
    result.records = walk(table, progress, [&] {
        bool first = true;
        for (const Column& c : columns) {
            const std::string_view raw = trimmed(table.fieldBytes(c.index));
            if (c.type == FieldType::Date) {
                appendDelimitedValue(out, dateTexts.text(raw), first);
            } else {
                bool ascii = true;
                for (const char ch : raw)
                    ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
                if (ascii) {
                    appendDelimitedValue(out, raw, first);
                } else {
                    converted.clear();
                    for (const char ch : raw)
                        converted += utf8[static_cast<unsigned char>(ch)];
                    appendDelimitedValue(out, converted, first);
                }
            }
            first = false;
        }
        out += '\n';
        if (out.size() >= kOutputChunk && !writeFailed) {
            writeFailed = file.write(out.data(), qint64(out.size())) != qint64(out.size());
            out.clear();
        }
    });
    if (writeFailed || file.write(out.data(), qint64(out.size())) != qint64(out.size()) ||
        !file.commit())
        return failed();
    return result;
}

ExportResult exportDbase(dbase::Table& table, const std::vector<int>& fields, const QString& path,
                         const ExportProgress& progress) {
    ExportResult result;
    const std::vector<Column> columns = columnsFor(table, fields);
    const QFileInfo target(path);
    if (target.exists() && DBaseInUse(path)) {
        result.error = QStringLiteral("The table \"%1\" is currently in use by another program.  "
                                      "The export was not written.")
                           .arg(nativePath(path));
        return result;
    }
    std::vector<dbase::FieldDef> defs;
    for (const int number : fields) {
        const ItemField* f = itemField(number);
        const std::string name(f->name);
        switch (f->type) {
        case FieldType::Character:
            defs.push_back(dbase::FieldDef::character(name, f->width));
            break;
        case FieldType::Integer:
            defs.push_back(dbase::FieldDef::integer(name));
            break;
        case FieldType::Float:
            defs.push_back(dbase::FieldDef::floating(name));
            break;
        case FieldType::Date:
            defs.push_back(dbase::FieldDef::date(name));
            break;
        }
    }
    const QString tempName = QStringLiteral(".%1.%2.DBF")
                                 .arg(target.completeBaseName())
                                 .arg(QCoreApplication::applicationPid());
    const std::string dir = QFile::encodeName(target.absolutePath()).toStdString();
    std::filesystem::path tempPath;
    bool renamed = false;
    const auto cleanUp = qScopeGuard([&] {
        std::error_code ignored;
        if (!renamed && !tempPath.empty())
            std::filesystem::remove(tempPath, ignored);
    });
    try {
        tempPath = dbase::Table::create(dir, QFile::encodeName(tempName).toStdString(), defs);
        dbase::Table out;
        out.openFile(tempPath, dbase::OpenMode::Exclusive, false);
        const bool samePage = out.codePage() == table.codePage();
        result.records = walk(table, progress, [&] {
            out.append();
            for (size_t j = 0; j < columns.size(); ++j) {
                const Column& c = columns[j];
                if (c.type != FieldType::Character || samePage) {
                    out.setFieldText(int(j), table.fieldText(c.index));
                    continue;
                }
                const std::string utf8 = dbase::toUtf8(table.fieldText(c.index), table.codePage());
                dbase::EncodeResult r = dbase::fromUtf8(utf8, out.codePage());
                if (!r.ok)
                    r = dbase::fromUtf8(std::string_view(utf8).substr(0, r.badOffset),
                                        out.codePage());
                out.setFieldText(int(j), r.bytes);
            }
            out.post();
        });
        out.close();
        std::filesystem::rename(tempPath, QFile::encodeName(path).toStdString());
        renamed = true;
    } catch (const dbase::DatabaseError& e) {
        result.error = QString::fromStdString(e.what());
        return result;
    } catch (const std::filesystem::filesystem_error& e) {
        result.error = QStringLiteral("The table %1 cannot be written: %2.")
                           .arg(nativePath(path), QString::fromLocal8Bit(e.code().message()));
        return result;
    }
    std::error_code ignored;
    std::filesystem::remove(dbase::Table::indexPath(QFile::encodeName(path).toStdString()),
                            ignored);
    return result;
}

std::optional<QString> exportTargetProblem(const QString& target, const DatabasePaths& open,
                                           const QString& programDir) {
    if (open.owns(target))
        return QStringLiteral("The file %1 belongs to the open database.  Choose another name "
                              "for the export.")
            .arg(nativePath(target));
    if (!programDir.isEmpty() &&
        samePathOrFile(target, QDir(programDir).filePath(kReportDefinitionsFile)))
        return QStringLiteral("The file %1 holds the report definitions.  Choose another name "
                              "for the export.")
            .arg(nativePath(target));
    return std::nullopt;
}
