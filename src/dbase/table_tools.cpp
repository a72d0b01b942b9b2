#include "table_tools.h"

#include "dbf_layout.h"
#include "file_io.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace dbase {

namespace {

constexpr std::size_t kOutputBuffer = 1 << 20;
constexpr std::uint32_t kProgressEvery = 65536;
constexpr std::size_t kMaxListedProblems = 100;

// What a byte asks of a CSV cell: quoting, doubling, conversion to UTF-8.
constexpr unsigned kQuote = 1;
constexpr unsigned kEscape = 2;
constexpr unsigned kHigh = 4;
constexpr std::array<unsigned char, 256> kByteClass = [] {
    std::array<unsigned char, 256> table{};
    table[','] = kQuote;
    table['\n'] = kQuote;
    table['\r'] = kQuote;
    table['"'] = kQuote | kEscape;
    for (int b = 0x80; b < 0x100; ++b)
        table[static_cast<std::size_t>(b)] = kHigh;
    return table;
}();

// Buffered CSV output; the table's bytes go through a per-byte UTF-8 table.
class CsvWriter {
public:
    CsvWriter(std::FILE* out, std::string name, CodePage page)
        : m_out(out), m_name(std::move(name)), m_page(page), m_singleByte(isSingleByte(page)) {
        m_buffer.reserve(kOutputBuffer + 4096);
        for (int b = 0; b < 256; ++b)
            m_utf8[b] = toUtf8(std::string(1, static_cast<char>(b)), page);
    }

    // bytes in the table's code page (convert) or already UTF-8.
    void cell(std::string_view bytes, bool convert) {
        if (convert && !m_singleByte) {
            // A character may take two bytes here: convert the whole text first. No trail
            // byte of these code pages is a quote, comma or line break, so quoting is unchanged.
            const std::string utf8 = toUtf8(bytes, m_page);
            cell(utf8, false);
            return;
        }
        if (m_cells++ > 0)
            m_buffer += ',';
        unsigned seen = 0;
        for (const char c : bytes)
            seen |= kByteClass[static_cast<unsigned char>(c)];
        const bool quote = (seen & kQuote) != 0;
        const bool plain = (seen & kEscape) == 0 && (!convert || (seen & kHigh) == 0);
        if (quote)
            m_buffer += '"';
        if (plain) {
            m_buffer.append(bytes); // the common case: nothing to escape or convert
        } else {
            for (const char c : bytes) {
                const auto b = static_cast<unsigned char>(c);
                if (c == '"')
                    m_buffer += "\"\"";
                else if (b < 0x80 || !convert)
                    m_buffer += c;
                else
                    m_buffer += m_utf8[b];
            }
        }
        if (quote)
            m_buffer += '"';
    }

    void endRow() {
        m_buffer += '\n';
        m_cells = 0;
        if (m_buffer.size() >= kOutputBuffer)
            flush();
    }

    void flush() {
        if (!m_buffer.empty() &&
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
            failed();
        m_buffer.clear();
        if (std::fflush(m_out) != 0)
            failed();
    }

private:
    [[noreturn]] void failed() {
        throw DatabaseError(m_name + ": the CSV output cannot be written (" + std::strerror(errno) +
                            ").");
    }

    std::FILE* m_out;
    std::string m_name;
    CodePage m_page;
    bool m_singleByte;
    std::string m_buffer;
    std::array<std::string, 256> m_utf8;
    int m_cells = 0;
};

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    return s;
}

} // namespace

std::uint64_t dumpCsv(Table& table, std::FILE* out, const std::string& outputName,
                      const Progress& progress) {
    CsvWriter csv(out, outputName, table.codePage());
    const std::vector<Field>& fields = table.fields();
    for (const Field& f : fields)
        csv.cell(f.name, true);
    csv.endRow();

    bool nullable = false;
    for (const Field& f : fields)
        nullable |= f.nullBit >= 0;
    const std::uint32_t total = table.recordCount();
    std::uint64_t written = 0;
    char date[10];
    for (table.first(); !table.eof(); table.next()) {
        const std::string_view rec = table.recordBuffer();
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            const Field& f = fields[static_cast<std::size_t>(i)];
            if (nullable && table.isNull(i)) {
                csv.cell({}, false);
                continue;
            }
            const std::string_view raw =
                rec.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length));
            switch (f.type) {
            case FieldType::Character: {
                std::string_view text = raw;
                while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
                    text.remove_suffix(1);
                csv.cell(text, true);
                break;
            }
            case FieldType::Date: {
                const std::string_view t = trimBlanks(raw);
                if (parseDateDigits(t)) {
                    std::memcpy(date, t.data(), 4);
                    date[4] = '-';
                    std::memcpy(date + 5, t.data() + 4, 2);
                    date[7] = '-';
                    std::memcpy(date + 8, t.data() + 6, 2);
                    csv.cell(std::string_view(date, 10), false);
                } else {
                    csv.cell(t == "00000000" ? std::string_view() : t, true);
                }
                break;
            }
            case FieldType::Logical: {
                const char c = raw[0];
                if (c == 'T' || c == 't' || c == 'Y' || c == 'y')
                    csv.cell("T", false);
                else if (c == 'F' || c == 'f' || c == 'N' || c == 'n')
                    csv.cell("F", false);
                else
                    csv.cell({}, false);
                break;
            }
            case FieldType::Numeric:
            case FieldType::Float: {
                const std::string_view t = trimBlanks(raw);
                if (t.find('*') == std::string_view::npos)
                    csv.cell(t, true);
                else
                    csv.cell(table.fieldText(i), true); // the overflow mark reads as blank
                break;
            }
            default:
                // Memo text, Visual FoxPro values; binary fields read as "".
                csv.cell(table.fieldText(i), true);
            }
        }
        csv.endRow();
        ++written;
        if (progress && written % kProgressEvery == 0)
            progress(table.recordNumber(), total);
    }
    csv.flush();
    if (progress)
        progress(total, total);
    return written;
}

CheckReport checkTable(const fs::path& file, const Progress& progress) {
    Table table;
    table.openFile(file, OpenMode::ReadOnly, false); // the index is checked on its own below
    CheckReport report;
    auto problem = [&](std::string text) {
        if (report.problems.size() < kMaxListedProblems)
            report.problems.push_back(std::move(text));
        ++report.problemCount;
    };

    report.records = table.recordCount();
    const std::vector<Field>& fields = table.fields();
    for (std::uint32_t r = 1; r <= report.records; ++r) {
        const std::string raw = table.readRecord(r);
        const std::string where = "record " + std::to_string(r);
        if (raw[0] == layout::kDeletedFlag) {
            ++report.deleted;
            continue;
        }
        ++report.live;
        if (raw[0] != layout::kLiveFlag)
            problem(where + ": deletion flag is byte " +
                    std::to_string(static_cast<unsigned char>(raw[0])) + ", neither ' ' nor '*'");
        if (progress && r % kProgressEvery == 0)
            progress(r, report.records);
    }

    // A memo file that cannot be read at all is one problem, not one per record.
    const MemoFile* memo = table.memoFile();
    const bool readMemos = memo && memo->problem().empty();
    if (memo && !readMemos)
        problem(memo->path().filename().string() + ": " + memo->problem() +
                "; the memo fields cannot be read");

    // Field values are decoded through the cursor so the checks are the ones readers meet.
    for (table.first(); !table.eof(); table.next()) {
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            try {
                switch (fields[static_cast<std::size_t>(i)].type) {
                case FieldType::Numeric:
                case FieldType::Float:
                case FieldType::Integer:
                case FieldType::Double:
                case FieldType::Currency:
                    table.fieldDouble(i);
                    break;
                case FieldType::Date:
                case FieldType::DateTime:
                    table.fieldDate(i);
                    break;
                case FieldType::Logical:
                    table.fieldLogical(i);
                    break;
                case FieldType::Memo:
                case FieldType::General:
                case FieldType::Picture:
                case FieldType::Blob:
                    if (readMemos)
                        table.memoBytes(i);
                    break;
                default:
                    break;
                }
            } catch (const DatabaseError& e) {
                std::string text = e.what();
                const std::string prefix = file.string() + ": ";
                if (text.compare(0, prefix.size(), prefix) == 0)
                    text.erase(0, prefix.size());
                if (!text.empty() && text.back() == '.')
                    text.pop_back();
                problem(text);
            }
        }
    }

    // What lies past the records: one end marker and nothing else.
    const std::uint64_t dataEnd =
        static_cast<std::uint64_t>(table.headerLength()) +
        std::uint64_t{report.records} * static_cast<std::uint64_t>(table.recordLength());
    struct stat st {};
    if (::fstat(table.fileDescriptor(), &st) == 0) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        char marker = 0;
        if (size == dataEnd)
            report.notes.push_back("no end-of-file marker (0x1A) after the last record");
        else if (io::readAt(table.fileDescriptor(), &marker, 1, dataEnd) &&
                 marker != layout::kEndOfFile)
            report.notes.push_back("the byte after the last record is " +
                                   std::to_string(static_cast<unsigned char>(marker)) +
                                   ", not the end-of-file marker");
        if (size > dataEnd + 1)
            report.notes.push_back(std::to_string(size - dataEnd - 1) +
                                   " bytes follow the last record");
    }

    if (!table.missingIndex().empty()) {
        // Reading needs no index; only writing does.
        const std::string name = table.missingIndex().filename().string();
        if (table.format() == TableFormat::Dbase)
            report.notes.push_back("the header says a production index belongs to the table, but " +
                                   name +
                                   " is not there; the records read without it, and reindex "
                                   "clears the flag");
        else
            report.notes.push_back("the header says a structural index belongs to the table, but " +
                                   name + " is not there; the records read without it");
    }
    if (table.hasProductionIndex() && table.missingIndex().empty()) {
        // Every tag: its tree, its order, and every record's key.
        try {
            Table indexed;
            indexed.openFile(file, OpenMode::ReadOnly);
            for (const std::string& p : indexed.checkIndexes())
                problem(p);
        } catch (const DatabaseError& e) {
            problem(e.what());
        }
    }
    if (progress)
        progress(report.records, report.records);
    return report;
}

} // namespace dbase
