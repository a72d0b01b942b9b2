// tallywick-cli: the jobs people script, run over a database without the windows.
//
//   tallywick-cli reports
//   tallywick-cli report DATABASE.DBF REPORT -o OUT.txt|OUT.pdf [--search LEVEL]...
//   tallywick-cli export DATABASE.DBF -o OUT.txt|OUT.DBF [--search LEVEL]...
//   tallywick-cli import DATABASE.DBF SOURCE.txt|SOURCE.DBF [--map FIELD=SOURCE]...
//   tallywick-cli backup DATABASE.DBF DIRECTORY
//   tallywick-cli new DATABASE.DBF
//
// Each command takes --help. Results and notices go to standard output, errors to standard
// error. The exit status is one of the kExit values below (the README lists them).

#include "backup/backup_ops.h"
#include "dbase/database_error.h"
#include "find/search_criteria.h"
#include "formats/text_codec.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "reports/report_file.h"
#include "reports/report_generator.h"
#include "reports/report_session.h"
#include "session/inventory_session.h"
#include "session/session_lifecycle.h"
#include "settings/app_paths.h"
#include "transfer/delimited_text.h"
#include "transfer/item_export.h"
#include "transfer/item_import.h"
#include "ui/prompter.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <functional>
#include <map>

namespace {

constexpr int kExitOk = 0;       // the job was done
constexpr int kExitFailed = 1;   // the job ran and did not complete (nothing half-written)
constexpr int kExitUsage = 2;    // bad command line
constexpr int kExitDatabase = 3; // the database is missing, not ours or cannot be opened

const char* const kProgram = "tallywick-cli";

const char* const kUsage =
    "usage: tallywick-cli [--program-dir DIR] [--settings-dir DIR] COMMAND ARGUMENTS\n"
    "\n"
    "  reports                              list the reports of TWKINV.URP\n"
    "  report DATABASE.DBF REPORT -o FILE   run a report to a text file (or PDF: FILE.pdf)\n"
    "  export DATABASE.DBF -o FILE          export to delimited text (or dBase: FILE.DBF)\n"
    "  import DATABASE.DBF SOURCE           import delimited text or a dBase table\n"
    "  backup DATABASE.DBF DIRECTORY        copy the database's files into DIRECTORY\n"
    "  new DATABASE.DBF                     create an empty database\n"
    "\n"
    "tallywick-cli COMMAND --help tells more about each command.\n"
    "Exit status: 0 done, 1 the job failed, 2 bad usage, 3 the database cannot be opened.\n";

void say(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

void fail(const QString& text) {
    say(stderr, QStringLiteral("%1: %2").arg(QLatin1String(kProgram), text));
}

// The program's messages, for a terminal: errors to standard error, notices to standard
// output. There is nobody to ask, so a question is answered with its default button and no
// file or directory is chosen.
class ConsolePrompter : public Prompter {
public:
    MsgButton message(const MessageRequest& r) override {
        if (r.caption == QLatin1String("Error"))
            fail(r.text);
        else if (!quietNotices)
            say(stdout, r.text);
        return r.defaultButton;
    }
    bool quietNotices = false; // the command sums up itself
    void beep() override {}
    std::optional<QString> openFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> saveFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> directory(const QString&, const QString&) override { return {}; }
    std::optional<FontChoice> font(const FontChoice&, const QString&) override { return {}; }
    std::optional<QColor> color(const QColor&, const QString&) override { return {}; }
    bool print(PrintRequest&) override { return false; }
};

// --- Command lines -----------------------------------------------------------------------

struct Command {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption programDir{QStringLiteral("program-dir"),
                                  QStringLiteral("Where TWKINV.URP and the default lists are."),
                                  QStringLiteral("DIR")};
    QCommandLineOption settingsDir{QStringLiteral("settings-dir"),
                                   QStringLiteral("Where TWKINV.INI is."), QStringLiteral("DIR")};
    QString name;

    explicit Command(const QString& commandName, const QString& description) : name(commandName) {
        parser.setApplicationDescription(description);
        parser.addOption(help);
        parser.addOption(programDir);
        parser.addOption(settingsDir);
    }
    // nullopt: go on; a value: the exit status to end with (help shown, or bad usage).
    std::optional<int> parse(const QStringList& args, int positionals) {
        if (!parser.parse(QStringList{QString::fromLatin1(kProgram)} + args)) {
            fail(parser.errorText());
            return kExitUsage;
        }
        if (parser.isSet(help)) {
            // The parser names the program by its full path; the usage line names the command.
            QString text = parser.helpText();
            const qsizetype options = text.indexOf(QLatin1String(" [options]"));
            if (options >= 0)
                text = QStringLiteral("Usage: %1 %2").arg(QLatin1String(kProgram), name) +
                       text.mid(options);
            if (!text.endsWith(QLatin1Char('\n')))
                text += QLatin1Char('\n');
            std::fputs(text.toLocal8Bit().constData(), stdout);
            return kExitOk;
        }
        if (parser.positionalArguments().size() != positionals) {
            fail(QStringLiteral("%1 takes %2 argument%3; see %4 %1 --help")
                     .arg(name)
                     .arg(positionals)
                     .arg(positionals == 1 ? "" : "s")
                     .arg(QLatin1String(kProgram)));
            return kExitUsage;
        }
        return std::nullopt;
    }
    QString positional(int i) const { return parser.positionalArguments().value(i); }
    AppPaths paths() const {
        AppPaths p;
        p.currentDir = QDir::currentPath();
        const auto absolute = [&](const QString& dir) {
            return QDir::cleanPath(QDir(p.currentDir).absoluteFilePath(dir));
        };
        p.programDir = parser.isSet(programDir) ? absolute(parser.value(programDir))
                                                : AppPaths::defaultProgramDir();
        p.settingsDir = parser.isSet(settingsDir) ? absolute(parser.value(settingsDir))
                                                  : AppPaths::defaultSettingsDir();
        return p;
    }
};

const QCommandLineOption kOutput({QStringLiteral("o"), QStringLiteral("output")},
                                 QStringLiteral("The file to write."), QStringLiteral("FILE"));
const QCommandLineOption kSearch(
    QStringLiteral("search"),
    QStringLiteral("Only the items one search level describes: criteria FIELD=CRITERION joined "
                   "by \";\", all of which must hold (text fields: the text the field contains; "
                   "numbers and dates: \"= N\", \"> N\", \"< N\" or \"> N AND < M\", dates in "
                   "the date format of the settings). Give --search again for another level; "
                   "an item passes when any level holds."),
    QStringLiteral("LEVEL"));
const QCommandLineOption kText(QStringLiteral("text"),
                               QStringLiteral("Delimited text, whatever the file is called."));
const QCommandLineOption kDbase(QStringLiteral("dbase"),
                                QStringLiteral("A dBase table, whatever the file is called."));

bool endsWith(const QString& path, const char* ending) {
    return path.endsWith(QLatin1String(ending), Qt::CaseInsensitive);
}

// --- The database ------------------------------------------------------------------------

// Opens the database the way the program does: the own-table check, its settings and its sort
// order (the sort tag is used as it stands, never rebuilt here).
std::optional<int> openDatabase(InventorySession& s, Prompter& prompter, const QString& path,
                                dbase::OpenMode mode) {
    const QString file = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(file).isFile()) {
        fail(missingDatabaseMessage(file));
        return kExitDatabase;
    }
    try {
        if (!CheckDBaseFormat(file, prompter))
            return kExitDatabase;
        loadGlobalState(s);
        const DatabasePaths paths = DatabasePaths::forTable(file);
        s.db = loadDatabaseSettings(paths.settings, globalSettingsPath(s.paths.settingsDir));
        s.sortExpression = BuildSortString(s.db.sortKeys);
        // Backup writes the lists before it copies them: they must be the database's own.
        s.lists.loadDatabaseLists(paths.base, s.paths.programDir);
        s.items.setPaths(paths);
        s.items.open(mode);
        selectSortIndex(s.items, s.sortExpression, SortIndexUse::Keep);
    } catch (const std::exception& e) {
        fail(QString::fromStdString(e.what()));
        return kExitDatabase;
    }
    return std::nullopt;
}

// Item field named by its dBase name, its display name in this database or its number.
int itemFieldNumber(const InventorySession& s, const QString& name) {
    bool isNumber = false;
    const int n = name.toInt(&isNumber);
    if (isNumber)
        return n >= 1 && n <= kItemFieldCount ? n : 0;
    for (const ItemField& f : kItemFields)
        if (f.qName().compare(name, Qt::CaseInsensitive) == 0)
            return f.number;
    for (int i = 0; i < kItemFieldCount; ++i)
        if (s.db.fieldNames[size_t(i)].compare(name, Qt::CaseInsensitive) == 0)
            return i + 1;
    return 0;
}

// The --search levels as the search window would save them, then switched on.
std::optional<int> applySearchLevels(InventorySession& s, const QStringList& levels) {
    if (levels.isEmpty())
        return std::nullopt;
    SearchCriteria criteria;
    for (const QString& level : levels) {
        std::array<QString, kSearchRows> cells;
        std::array<RowOperator, kSearchRows> operators;
        operators.fill(RowOperator::Equals);
        for (const QString& criterion : level.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const qsizetype eq = criterion.indexOf(QLatin1Char('='));
            const int field = eq > 0 ? itemFieldNumber(s, criterion.left(eq).trimmed()) : 0;
            if (field == 0) {
                fail(
                    QStringLiteral("\"%1\" names no field; write FIELD=CRITERION.").arg(criterion));
                return kExitUsage;
            }
            const QString cell = criterion.mid(eq + 1).trimmed();
            cells[size_t(field - 1)] = cell;
            RowOperator& op = operators[size_t(field - 1)];
            if (cell.contains(QLatin1String("AND")))
                op = RowOperator::Range;
            else if (cell.startsWith(QLatin1Char('>')))
                op = RowOperator::Greater;
            else if (cell.startsWith(QLatin1Char('<')))
                op = RowOperator::Less;
        }
        const SaveResult saved = SaveFields(criteria, cells, operators, s.formats.current());
        if (saved.outcome == SaveOutcome::Invalid) {
            fail(QStringLiteral("The criterion for %1 is not a valid %2.")
                     .arg(kItemFields[size_t(saved.row - 1)].qName(),
                          searchRowKind(saved.row) == RowKind::Date ? QStringLiteral("date")
                                                                    : QStringLiteral("number")));
            return kExitUsage;
        }
        if (saved.outcome == SaveOutcome::Overflow) {
            fail(tooManyItemsMessage());
            return kExitUsage;
        }
    }
    if (criteria.items.empty())
        return std::nullopt;
    s.startSearch(BuildFilter(criteria.items, s.items));
    return std::nullopt;
}

// --- Commands ----------------------------------------------------------------------------

std::optional<std::vector<ReportDefinition>> readReports(const AppPaths& paths) {
    ReportFile file = ReportFile::inDirectory(paths.programDir);
    QString problem;
    // The program writes the built-in reports on its first start; so does this.
    if (!QDir().mkpath(paths.programDir) || !file.createIfMissing(&problem)) {
        fail(QStringLiteral("%1 cannot be written.  %2").arg(file.path(), problem));
        return std::nullopt;
    }
    auto all = file.readAll(&problem);
    if (!all)
        fail(QStringLiteral("%1 cannot be read.  %2").arg(file.path(), problem));
    return all;
}

int commandReports(const QStringList& args) {
    Command c(QStringLiteral("reports"),
              QStringLiteral("Lists the reports of TWKINV.URP with their numbers."));
    if (const auto done = c.parse(args, 0))
        return *done;
    const auto reports = readReports(c.paths());
    if (!reports)
        return kExitFailed;
    int n = 0;
    for (const ReportDefinition& d : *reports)
        say(stdout, QStringLiteral("%1  %2").arg(++n, 3).arg(d.name));
    return kExitOk;
}

int commandReport(const QStringList& args) {
    Command c(QStringLiteral("report"),
              QStringLiteral("Runs a report of TWKINV.URP over a database into a text file, or "
                             "into a PDF when the file name ends in .pdf.  REPORT is the "
                             "report's name or its number in the list of \"reports\".  The "
                             "items come in the database's sort order."));
    c.parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"), QStringLiteral("The database."));
    c.parser.addPositionalArgument(QStringLiteral("REPORT"), QStringLiteral("Name or number."));
    c.parser.addOptions({kOutput, kSearch});
    if (const auto done = c.parse(args, 2))
        return *done;
    if (!c.parser.isSet(kOutput)) {
        fail(QStringLiteral("report needs -o FILE."));
        return kExitUsage;
    }
    const QString output = QFileInfo(c.parser.value(kOutput)).absoluteFilePath();
    InventorySession s;
    s.paths = c.paths();
    const auto reports = readReports(s.paths);
    if (!reports)
        return kExitFailed;
    const QString wanted = c.positional(1);
    std::optional<ReportDefinition> definition;
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    if (isNumber && number >= 1 && number <= int(reports->size()))
        definition = (*reports)[size_t(number - 1)];
    for (size_t i = 0; !definition && i < reports->size(); ++i)
        if ((*reports)[i].name.compare(wanted, Qt::CaseInsensitive) == 0)
            definition = (*reports)[i];
    if (!definition) {
        fail(QStringLiteral("There is no report \"%1\"; \"%2 reports\" lists them.")
                 .arg(wanted, QLatin1String(kProgram)));
        return kExitUsage;
    }

    ConsolePrompter prompter;
    if (const auto stop = openDatabase(s, prompter, c.positional(0), dbase::OpenMode::ReadOnly))
        return *stop;
    if (const auto stop = applySearchLevels(s, c.parser.values(kSearch)))
        return *stop;
    if (s.items.paths().owns(output) ||
        samePathOrFile(output, ReportFile::inDirectory(s.paths.programDir).path())) {
        fail(QStringLiteral("The file %1 holds this program's own data.  Choose another name for "
                            "the report.")
                 .arg(output));
        return kExitUsage;
    }
    const ReportDestination destination =
        endsWith(output, ".pdf") ? ReportDestination::Pdf : ReportDestination::TextFile;
    ReportRun run(*definition, reportSource(s), destination, output);
    run.setPaperSize(defaultPaperSize());
    const ReportOutcome outcome = run.run();
    if (outcome.outcome != PageOutput::Outcome::Completed) {
        fail(QStringLiteral("The report \"%1\" was not written.  %2")
                 .arg(definition->name, outcome.error));
        return kExitFailed;
    }
    say(stdout, QStringLiteral("%1: %2 page%3 written to %4")
                    .arg(definition->name)
                    .arg(outcome.pages)
                    .arg(outcome.pages == 1 ? "" : "s")
                    .arg(output));
    return kExitOk;
}

int commandExport(const QStringList& args) {
    Command c(QStringLiteral("export"),
              QStringLiteral("Exports a database's items in its sort order, with the fields and "
                             "the field order its export settings keep, to delimited text or "
                             "to a new dBase table (a file name ending in .DBF)."));
    c.parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"), QStringLiteral("The database."));
    const QCommandLineOption header(QStringLiteral("header"),
                                    QStringLiteral("Text: a first line of field names."));
    const QCommandLineOption noHeader(QStringLiteral("no-header"),
                                      QStringLiteral("Text: no line of field names."));
    c.parser.addOptions({kOutput, kSearch, kText, kDbase, header, noHeader});
    if (const auto done = c.parse(args, 1))
        return *done;
    if (!c.parser.isSet(kOutput)) {
        fail(QStringLiteral("export needs -o FILE."));
        return kExitUsage;
    }
    const QString output = QFileInfo(c.parser.value(kOutput)).absoluteFilePath();
    InventorySession s;
    s.paths = c.paths();
    ConsolePrompter prompter;
    if (const auto stop = openDatabase(s, prompter, c.positional(0), dbase::OpenMode::ReadOnly))
        return *stop;
    if (const auto stop = applySearchLevels(s, c.parser.values(kSearch)))
        return *stop;
    const bool dbase =
        c.parser.isSet(kDbase) || (!c.parser.isSet(kText) && endsWith(output, ".DBF"));
    if (const auto problem = exportTargetProblem(output, s.items.paths(), s.paths.programDir)) {
        fail(*problem);
        return kExitFailed;
    }
    const std::vector<int> fields = exportList(s.db.exportOrder, s.db.exportFields);
    if (fields.empty()) {
        fail(QStringLiteral("No fields selected for export."));
        return kExitFailed;
    }
    ExportResult result;
    try {
        if (dbase) {
            result = exportDbase(s.items.table(), fields, output);
        } else {
            const bool firstRow =
                c.parser.isSet(header) || (!c.parser.isSet(noHeader) && s.db.exportFirstRow);
            const QStringList names = exportHeader(s.items.table(), fields, s.db);
            result = exportText(s.items.table(), fields, firstRow ? &names : nullptr,
                                s.formats.current(), output);
        }
    } catch (const dbase::DatabaseError& e) {
        result.error = QString::fromStdString(e.what());
    }
    if (!result.error.isEmpty()) {
        fail(result.error);
        return kExitFailed;
    }
    say(stdout, QStringLiteral("%1 records written to %2").arg(result.records).arg(output));
    return kExitOk;
}

int commandImport(const QStringList& args) {
    Command c(QStringLiteral("import"),
              QStringLiteral("Imports delimited text or a dBase table (a file name ending in "
                             ".DBF) into a database: every source record becomes a new item.  "
                             "Without --map, source fields named like an item field go into "
                             "that field."));
    c.parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"), QStringLiteral("The database."));
    c.parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("The file to import."));
    const QCommandLineOption map(
        QStringLiteral("map"),
        QStringLiteral("Item field FIELD (its name, display name or number) takes the source "
                       "field SOURCE (its name: the first line's value in text, the field name "
                       "in dBase; or #N for the Nth).  Give one --map per field."),
        QStringLiteral("FIELD=SOURCE"));
    const QCommandLineOption skipFirst(QStringLiteral("skip-first"),
                                       QStringLiteral("Text: the first line holds field names."));
    const QCommandLineOption keepFirst(QStringLiteral("keep-first"),
                                       QStringLiteral("Text: the first line is an item too."));
    c.parser.addOptions({map, kText, kDbase, skipFirst, keepFirst});
    if (const auto done = c.parse(args, 2))
        return *done;
    InventorySession s;
    s.paths = c.paths();
    ConsolePrompter prompter;
    const QString source = QFileInfo(c.positional(1)).absoluteFilePath();
    const ImportFileType type =
        c.parser.isSet(kDbase) || (!c.parser.isSet(kText) && endsWith(source, ".DBF"))
            ? ImportFileType::Dbase
            : ImportFileType::Text;

    // The source's field names, as the import window shows them.
    QStringList names;
    QString text;
    if (type == ImportFileType::Text) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("The file %1 cannot be read: %2.").arg(source, file.errorString()));
            return kExitFailed;
        }
        text = decodeTextFile(file.readAll());
        const FirstLineScan scan = GetFirstLine(text);
        if (scan.code != 0) {
            fail(firstLineMessage(scan.code));
            return kExitFailed;
        }
        names = scan.names;
    } else {
        try {
            const auto fields = dbaseImportFields(source);
            if (!fields) {
                fail(tooManyFieldsEnding());
                return kExitFailed;
            }
            names = *fields;
        } catch (const dbase::DatabaseError& e) {
            fail(QString::fromStdString(e.what()));
            return kExitFailed;
        }
    }

    if (const auto stop = openDatabase(s, prompter, c.positional(0), dbase::OpenMode::Shared))
        return *stop;
    if (s.readOnly) {
        fail(readOnlyDatabaseMessage(s.items.paths().current));
        return kExitDatabase;
    }

    // The grid of the import window: for each item field, the source field it takes.
    QStringList rowImport;
    QStringList rowUse;
    for (int i = 0; i < kItemFieldCount; ++i) {
        rowImport << QString();
        rowUse << QStringLiteral("No");
    }
    const auto choose = [&](int field, const QString& sourceName) {
        rowImport[field - 1] = sourceName;
        rowUse[field - 1] = QStringLiteral("Yes");
    };
    if (c.parser.isSet(map)) {
        for (const QString& m : c.parser.values(map)) {
            const qsizetype eq = m.indexOf(QLatin1Char('='));
            const int field = eq > 0 ? itemFieldNumber(s, m.left(eq).trimmed()) : 0;
            QString from = eq > 0 ? m.mid(eq + 1).trimmed() : QString();
            if (from.startsWith(QLatin1Char('#'))) {
                bool ok = false;
                const int n = from.mid(1).toInt(&ok);
                from = ok && n >= 1 && n <= names.size() ? names[n - 1] : QString();
            }
            for (const QString& name : names)
                if (name.compare(from, Qt::CaseInsensitive) == 0)
                    from = name; // the grid takes the source's own spelling
            if (field == 0 || from.isEmpty() || !names.contains(from)) {
                fail(QStringLiteral("--map %1: write ITEMFIELD=SOURCEFIELD; the source fields "
                                    "are: %2")
                         .arg(m, names.join(QStringLiteral(", "))));
                return kExitUsage;
            }
            choose(field, from);
        }
    } else {
        for (const QString& name : names)
            if (const int field = itemFieldNumber(s, name);
                field > 0 && !name.isEmpty() && rowUse[field - 1] == QLatin1String("No"))
                choose(field, name);
    }

    ImportRun run;
    run.items = &s.items;
    run.mapping = buildImportMapping(names, rowImport, rowUse);
    run.dates = s.formats.current();
    const bool skip =
        c.parser.isSet(skipFirst) || (!c.parser.isSet(keepFirst) && s.db.importSkipFirst);
    ImportReport report;
    try {
        report =
            type == ImportFileType::Text ? importText(run, text, skip) : importDbase(run, source);
    } catch (const dbase::DatabaseError& e) {
        report.stopError = QString::fromStdString(e.what());
    }
    const QString summary = importSummary(report, type);
    if (!report.stopError.isEmpty()) {
        fail(summary);
        return kExitFailed;
    }
    say(stdout, summary);
    say(stdout, QStringLiteral("%1 records imported.").arg(report.imported));
    return kExitOk;
}

int commandNew(const QStringList& args) {
    Command c(QStringLiteral("new"),
              QStringLiteral("Creates an empty database, replacing a table of that name that no "
                             "one holds open.  Its settings and lists start from the defaults "
                             "when the program first opens it."));
    c.parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"), QStringLiteral("The database."));
    if (const auto done = c.parse(args, 1))
        return *done;
    const QString path = QFileInfo(c.positional(0)).absoluteFilePath();
    if (!endsWith(path, ".DBF")) {
        fail(kInvalidFileTypeMessage);
        return kExitUsage;
    }
    ConsolePrompter prompter;
    try {
        if (!MakeNewDB(path, prompter))
            return kExitFailed;
    } catch (const std::exception& e) {
        fail(QString::fromStdString(e.what()));
        return kExitFailed;
    }
    say(stdout, QStringLiteral("%1 created").arg(path));
    return kExitOk;
}

int commandBackup(const QStringList& args) {
    Command c(QStringLiteral("backup"),
              QStringLiteral("Copies a database's files into DIRECTORY: the table and its index, "
                             "the lookup lists and the settings file (and TWKINV.URP with "
                             "--reports).  The table copy needs sole use of the table."));
    c.parser.addPositionalArgument(QStringLiteral("DATABASE.DBF"), QStringLiteral("The database."));
    c.parser.addPositionalArgument(QStringLiteral("DIRECTORY"), QStringLiteral("Where to."));
    const QCommandLineOption reports(QStringLiteral("reports"),
                                     QStringLiteral("Also copy the report definitions."));
    c.parser.addOption(reports);
    if (const auto done = c.parse(args, 2))
        return *done;
    const QString directory = QFileInfo(c.positional(1)).absoluteFilePath();
    if (!QFileInfo(directory).isDir()) {
        fail(QStringLiteral("%1 is not a directory.").arg(directory));
        return kExitUsage;
    }
    InventorySession s;
    s.paths = c.paths();
    ConsolePrompter prompter;
    if (const auto stop = openDatabase(s, prompter, c.positional(0), dbase::OpenMode::Shared))
        return *stop;
    prompter.quietNotices = true;
    std::vector<BackupKind> kinds = {BackupKind::Database, BackupKind::Lists, BackupKind::Settings};
    QStringList copied = {QStringLiteral("the table and its index"),
                          QStringLiteral("the lookup lists"), QStringLiteral("the settings")};
    if (c.parser.isSet(reports)) {
        kinds.push_back(BackupKind::ReportDefinitions);
        copied << QStringLiteral("the report definitions");
    }
    for (BackupKind kind : kinds) {
        BackupJob job;
        job.kind = kind;
        job.destination = directory;
        job.freeSpace = fileSystemFreeSpace;
        try {
            if (!runBackup(s, job, prompter))
                return kExitFailed;
        } catch (const std::exception& e) {
            fail(QString::fromStdString(e.what()));
            return kExitFailed;
        }
    }
    say(stdout, QStringLiteral("%1 backed up to %2: %3.")
                    .arg(s.items.paths().name, directory, copied.join(QStringLiteral(", "))));
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    // Reports lay text out with fonts, which needs a GUI application but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);

    // --program-dir and --settings-dir may come before the command.
    QStringList leading;
    while (args.size() >= 2 && (args[0] == QLatin1String("--program-dir") ||
                                args[0] == QLatin1String("--settings-dir"))) {
        leading << args[0] << args[1];
        args = args.mid(2);
    }
    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("-h") || command == QLatin1String("--help") ||
        command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("reports"), commandReports}, {QStringLiteral("report"), commandReport},
        {QStringLiteral("export"), commandExport},   {QStringLiteral("import"), commandImport},
        {QStringLiteral("backup"), commandBackup},   {QStringLiteral("new"), commandNew}};
    const auto it = commands.find(command);
    if (it == commands.end()) {
        fail(QStringLiteral("unknown command \"%1\"").arg(command));
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    try {
        return it->second(leading + args);
    } catch (const std::exception& e) {
        fail(QString::fromStdString(e.what()));
        return kExitFailed;
    }
}
