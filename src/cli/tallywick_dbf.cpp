// tallywick-dbf: look into any dBase or FoxPro table from the command line.
//
//   tallywick-dbf info  TABLE.DBF
//   tallywick-dbf dump  TABLE.DBF [-o OUT.csv]
//   tallywick-dbf check TABLE.DBF
//   tallywick-dbf tags  TABLE.DBF
//   tallywick-dbf reindex TABLE.DBF
//
// Results go to standard output (or the -o file), progress and errors to standard error.
// Exit status: 0 fine, 1 check found problems, 2 the table could not be read or bad usage.

#include "dbase/code_page.h"
#include "dbase/table.h"
#include "dbase/table_tools.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace dbase;

namespace {

constexpr int kOk = 0;
constexpr int kProblems = 1;
constexpr int kFailed = 2;

const char* kUsage = "usage: tallywick-dbf info TABLE.DBF\n"
                     "       tallywick-dbf dump TABLE.DBF [-o OUT.csv]\n"
                     "       tallywick-dbf check TABLE.DBF\n"
                     "       tallywick-dbf tags TABLE.DBF\n"
                     "       tallywick-dbf reindex TABLE.DBF\n"
                     "\n"
                     "info   header, fields, record counts and code page\n"
                     "dump   every live record as CSV in UTF-8, with a header row of field names;\n"
                     "       memo fields give their text\n"
                     "check  reads every record and verifies every index tag; reports problems\n"
                     "       (exit status 1 if any)\n"
                     "tags   the tags of the table's production index with their key expressions\n"
                     "reindex  rebuilds every tag of the production index from the records\n"
                     "       (needs exclusive use of the table)\n"
                     "\n"
                     "dBase III and IV tables are read and written; FoxPro and Visual FoxPro\n"
                     "tables are read only. Reading needs no index: a table whose index is\n"
                     "missing is read without it.\n";

// A "\r" progress line, only when a person is watching standard error.
Progress progressLine(const char* verb) {
    if (!::isatty(STDERR_FILENO))
        return {};
    return [verb](std::uint32_t done, std::uint32_t total) {
        std::fprintf(stderr, "\r%s %u of %u records", verb, done, total);
        if (done >= total)
            std::fputc('\n', stderr);
    };
}

const char* typeName(FieldType type) {
    switch (type) {
    case FieldType::Character:
        return "character";
    case FieldType::Numeric:
        return "numeric";
    case FieldType::Float:
        return "float";
    case FieldType::Date:
        return "date";
    case FieldType::Logical:
        return "logical";
    case FieldType::Memo:
        return "memo";
    case FieldType::Integer:
        return "integer";
    case FieldType::Double:
        return "double";
    case FieldType::Currency:
        return "currency";
    case FieldType::DateTime:
        return "datetime";
    case FieldType::Varchar:
        return "varchar";
    case FieldType::Varbinary:
        return "varbinary";
    case FieldType::General:
        return "general";
    case FieldType::Picture:
        return "picture";
    case FieldType::Blob:
        return "blob";
    }
    return "?";
}

const char* formatName(TableFormat format) {
    switch (format) {
    case TableFormat::FoxPro:
        return "FoxPro (read only)";
    case TableFormat::VisualFoxPro:
        return "Visual FoxPro (read only)";
    case TableFormat::Dbase:
        break;
    }
    return "dBase";
}

int info(const fs::path& file) {
    Table t;
    t.openFile(file, OpenMode::ReadOnly);
    const std::uint32_t count = t.recordCount();
    const std::uint32_t live = t.countVisible();
    std::printf("File:             %s\n", file.c_str());
    std::printf("Version byte:     0x%02X (%s)\n", t.versionByte(), formatName(t.format()));
    if (const auto d = t.lastUpdate())
        std::printf("Last update:      %04d-%02d-%02d\n", d->year, d->month, d->day);
    else
        std::printf("Last update:      (not a valid date)\n");
    std::printf("Records:          %u (%u live, %u deleted)\n", count, live, count - live);
    std::printf("Header length:    %d\n", t.headerLength());
    std::printf("Record length:    %d\n", t.recordLength());
    if (!t.missingIndex().empty())
        std::printf("Index:            %s is missing; the records read without it\n",
                    t.missingIndex().filename().c_str());
    else if (t.format() == TableFormat::Dbase)
        std::printf("Production index: %s\n",
                    t.hasProductionIndex() ? "yes (byte 28 = 0x01)" : "no");
    if (const MemoFile* memo = t.memoFile())
        std::printf("Memo file:        %s%s%s\n", memo->path().filename().c_str(),
                    memo->problem().empty() ? "" : ": ", memo->problem().c_str());
    std::printf("Language driver:  0x%02X (%s%s)\n", t.languageDriver(), codePageName(t.codePage()),
                isKnownLanguageDriver(t.languageDriver()) ? "" : "; not a driver known here");
    std::printf("Fields:           %d\n\n", t.fieldCount());
    std::printf("  #  Name        Type       Len  Dec  Offset\n");
    int n = 0;
    for (const Field& f : t.fields()) {
        const std::string name = toUtf8(f.name, t.codePage());
        std::printf("%3d  %-10s  %-9s  %3d  %3d  %6d\n", ++n, name.c_str(), typeName(f.type),
                    f.length, f.decimals, f.offset);
    }
    return kOk;
}

int dump(const fs::path& file, const std::string& output) {
    Table t;
    t.openFile(file, OpenMode::ReadOnly);
    if (output.empty()) {
        const std::uint64_t n = dumpCsv(t, stdout, "standard output", progressLine("dumped"));
        std::fprintf(stderr, "%llu records written\n", static_cast<unsigned long long>(n));
        return kOk;
    }
    // Written beside the target and renamed when complete: never a half-written file.
    const fs::path target = fs::absolute(output);
    const fs::path temp = target.parent_path() / (target.filename().string() + ".partial");
    std::FILE* out = std::fopen(temp.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "tallywick-dbf: %s: cannot be written (%s)\n", output.c_str(),
                     std::strerror(errno));
        return kFailed;
    }
    try {
        const std::uint64_t n = dumpCsv(t, out, output, progressLine("dumped"));
        if (std::fclose(out) != 0) {
            out = nullptr;
            throw DatabaseError(output + ": the CSV output cannot be written (" +
                                std::strerror(errno) + ").");
        }
        out = nullptr;
        fs::rename(temp, target);
        std::fprintf(stderr, "%llu records written to %s\n", static_cast<unsigned long long>(n),
                     output.c_str());
    } catch (...) {
        if (out)
            std::fclose(out);
        std::error_code ec;
        fs::remove(temp, ec);
        throw;
    }
    return kOk;
}

int check(const fs::path& file) {
    const CheckReport r = checkTable(file, progressLine("checked"));
    for (const std::string& p : r.problems)
        std::printf("problem: %s\n", p.c_str());
    if (r.problemCount > r.problems.size())
        std::printf("... and %llu more problems\n",
                    static_cast<unsigned long long>(r.problemCount - r.problems.size()));
    for (const std::string& n : r.notes)
        std::printf("note: %s\n", n.c_str());
    std::printf("%s: %u records (%u live, %u deleted), %llu problem%s\n", file.c_str(), r.records,
                r.live, r.deleted, static_cast<unsigned long long>(r.problemCount),
                r.problemCount == 1 ? "" : "s");
    return r.problemCount == 0 ? kOk : kProblems;
}

int tags(const fs::path& file) {
    Table t;
    t.openFile(file, OpenMode::ReadOnly);
    if (!t.missingIndex().empty()) {
        std::printf("%s: its index %s is missing\n", file.c_str(), t.missingIndex().c_str());
        return kOk;
    }
    if (!t.hasIndex()) {
        std::printf("%s has no production index\n", file.c_str());
        return kOk;
    }
    const auto list = t.indexTags();
    std::printf("%s: %zu tag%s\n", Table::indexPath(file).c_str(), list.size(),
                list.size() == 1 ? "" : "s");
    std::printf("  Name        Key  Len  Expression\n");
    for (const IndexTag& tag : list)
        std::printf("  %-10s  %c    %3d  %s%s%s\n", tag.name.c_str(), tag.keyType, tag.keyLength,
                    tag.expression.c_str(), tag.forCondition.empty() ? "" : "  FOR ",
                    tag.forCondition.c_str());
    return kOk;
}

int reindex(const fs::path& file) {
    Table t;
    // Without the index: a damaged one must not stop its own repair.
    t.openFile(file, OpenMode::Exclusive, false);
    const std::vector<std::string> notes = t.regenerateIndexes();
    for (const std::string& n : notes)
        std::printf("note: %s\n", n.c_str());
    if (!t.hasIndex()) {
        std::printf("%s has no production index\n", file.c_str());
        return kOk;
    }
    const auto list = t.indexTags();
    std::printf("%s: %zu tag%s rebuilt from %u records\n", Table::indexPath(file).c_str(),
                list.size(), list.size() == 1 ? "" : "s", t.recordCount());
    return kOk;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        std::fputs(kUsage, stdout);
        return kOk;
    }
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return kFailed;
    }
    const std::string_view command = argv[1];
    const fs::path file = argv[2];
    std::string output;
    for (int i = 3; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (command == "dump" && arg == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else {
            std::fprintf(stderr, "tallywick-dbf: unexpected argument \"%s\"\n\n%s", argv[i],
                         kUsage);
            return kFailed;
        }
    }
    try {
        if (command == "info")
            return info(file);
        if (command == "dump")
            return dump(file, output);
        if (command == "check")
            return check(file);
        if (command == "tags")
            return tags(file);
        if (command == "reindex")
            return reindex(file);
        std::fprintf(stderr, "tallywick-dbf: unknown command \"%s\"\n\n%s", argv[1], kUsage);
        return kFailed;
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "tallywick-dbf: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallywick-dbf: %s\n", e.what());
    }
    return kFailed;
}
