#include "dbf_layout.h"

#include "database_error.h"
#include "file_io.h"
#include "little_endian.h"

#include <bit>
#include <cerrno>
#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dbase {

namespace {

[[noreturn]] void damaged(const std::string& fileName, const std::string& what) {
    throw DatabaseError(fileName + ": not a readable dBase table (" + what + ").");
}

bool validNameByte(unsigned char c) {
    return c > 0x20 && c != 0x7F;
}

int expectedLength(FieldType type) {
    switch (type) {
    case FieldType::Date:
    case FieldType::Double:
    case FieldType::Currency:
    case FieldType::DateTime:
        return 8;
    case FieldType::Logical:
        return 1;
    case FieldType::Integer:
        return 4;
    default:
        return 0;
    }
}

// The type letters each kind of table uses.
bool typeAllowed(char type, TableFormat format) {
    switch (type) {
    case 'C':
    case 'N':
    case 'F':
    case 'D':
    case 'L':
    case 'M':
        return true;
    case 'G':
    case 'P':
        return format != TableFormat::Dbase;
    case 'I':
    case 'B':
    case 'Y':
    case 'T':
    case 'V':
    case 'Q':
    case 'W':
    case layout::kNullFlagsType:
        return format == TableFormat::VisualFoxPro;
    default:
        return false;
    }
}

std::optional<TableFormat> formatOf(std::uint8_t version) {
    using namespace layout;
    if ((version & 0x07) == 0x03)
        return TableFormat::Dbase;
    if (version == kVersionFoxPro2)
        return TableFormat::FoxPro;
    if (version == kVersionVisualFoxPro || version == kVersionVisualFoxProAutoIncrement ||
        version == kVersionVisualFoxProVarchar)
        return TableFormat::VisualFoxPro;
    return std::nullopt;
}

// More character fields than this with a decimals byte set are read as they stand.
constexpr std::size_t kMaxWideCandidates = 12;

struct Descriptor {
    Field field;
    bool system = false;
    bool nullable = false;
};

// A character field's length, read here from its low byte only; the caller adds the high byte
// where the record length shows it belongs.
Descriptor parseDescriptor(std::string_view d, int index, int offset, TableFormat format,
                           const std::string& fileName) {
    using namespace layout;
    const std::string where = "field " + std::to_string(index + 1);
    Descriptor out;
    Field& f = out.field;
    std::size_t n = 0;
    while (n < kFieldNameSize && d[kFieldName + n] != '\0')
        ++n;
    if (n == 0)
        damaged(fileName, where + " has no name");
    if (n == kFieldNameSize)
        damaged(fileName, where + " has an unterminated name");
    for (std::size_t i = 0; i < n; ++i)
        if (!validNameByte(static_cast<unsigned char>(d[kFieldName + i])))
            damaged(fileName, where + " has a garbled name");
    f.name.assign(d.substr(kFieldName, n));

    const char type = d[kFieldType];
    if (!typeAllowed(type, format)) {
        const auto c = static_cast<unsigned char>(type);
        std::string shown =
            (c >= 0x20 && c < 0x7F) ? std::string(1, type) : "byte " + std::to_string(c);
        damaged(fileName, "field " + f.name + " has the unknown type " + shown);
    }
    if (format == TableFormat::VisualFoxPro) {
        const std::uint8_t flags = readU8(d, kFieldFlags);
        out.system = type == kNullFlagsType || (flags & kFieldFlagSystem) != 0;
        out.nullable = !out.system && (flags & kFieldFlagNullable) != 0;
    }
    // The hidden field keeps Character as its type; it never leaves the header reader.
    f.type = type == kNullFlagsType ? FieldType::Character : static_cast<FieldType>(type);
    f.length = readU8(d, kFieldLength);
    f.decimals = readU8(d, kFieldDecimals);
    f.offset = offset;
    if (f.length == 0 && !(f.type == FieldType::Character && f.decimals > 0))
        damaged(fileName, "field " + f.name + " has length 0");
    if (const int want = expectedLength(f.type); want != 0 && f.length != want)
        damaged(fileName, "field " + f.name + " has length " + std::to_string(f.length));
    if (f.type == FieldType::Numeric || f.type == FieldType::Float) {
        // dBase IV stops at 20 digits; some writers go further, which reads just as well.
        if (f.length > kMaxNumericWidth || f.decimals >= f.length)
            damaged(fileName, "field " + f.name + " has width " + std::to_string(f.length) +
                                  " with " + std::to_string(f.decimals) + " decimals");
    } else {
        // Only numbers carry decimals; elsewhere the byte is sometimes used for other things.
        f.decimals = 0;
    }
    return out;
}

// Gives each nullable field and each V and Q field its bit in _NullFlags, in field order; a
// V or Q field that is also nullable has its length bit first.
void assignFlagBits(std::vector<Descriptor>& descriptors, DbfHeader& h,
                    const std::string& fileName) {
    int bits = 0;
    const Descriptor* flags = nullptr;
    for (Descriptor& d : descriptors) {
        if (d.system) {
            if (d.field.name == "_NullFlags" || !flags)
                flags = &d;
            continue;
        }
        if (d.field.type == FieldType::Varchar || d.field.type == FieldType::Varbinary)
            d.field.lengthBit = bits++;
        if (d.nullable)
            d.field.nullBit = bits++;
    }
    if (bits == 0)
        return;
    if (!flags || flags->field.length * 8 < bits)
        damaged(fileName, "its fields need " + std::to_string(bits) +
                              " null and length flags but the _NullFlags field " +
                              (flags ? "is too short" : "is missing"));
    h.nullFlagsOffset = flags->field.offset;
    h.nullFlagsLength = flags->field.length;
}

} // namespace

DbfHeader readHeader(int fd, const std::string& fileName) {
    using namespace layout;
    DbfHeader h;
    h.fixed.resize(kFixedHeaderSize);
    const bool gotFixed = io::readAt(fd, h.fixed.data(), kFixedHeaderSize, 0);
    // The size is taken after the record count was read: another program appending meanwhile
    // only makes the file longer than the count says, never shorter.
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        damaged(fileName, "its size cannot be read");
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    if (!gotFixed || fileSize < kFixedHeaderSize)
        damaged(fileName, "the file is only " + std::to_string(fileSize) + " bytes long");

    const std::uint8_t version = readU8(h.fixed, kVersion);
    const std::optional<TableFormat> format = formatOf(version);
    if (!format)
        damaged(fileName, "unknown version byte " + std::to_string(version));
    h.format = *format;
    h.recordCount = readU32(h.fixed, kRecordCount);
    h.headerLength = readU16(h.fixed, kHeaderLength);
    h.recordLength = readU16(h.fixed, kRecordLength);

    const std::size_t minHeader = kFixedHeaderSize + kDescriptorSize + 1;
    if (h.headerLength < minHeader)
        damaged(fileName, "header length " + std::to_string(h.headerLength) + " is too short");
    if (h.headerLength > fileSize)
        damaged(fileName,
                "header length " + std::to_string(h.headerLength) + " is past the end of the file");

    std::string all(h.headerLength, '\0');
    if (!io::readAt(fd, all.data(), all.size(), 0))
        damaged(fileName, "the field descriptors cannot be read");

    // Descriptors run until the terminator, which must sit at a descriptor boundary. A name
    // never starts with a control character, so a line feed there can only be a terminator.
    std::size_t pos = kFixedHeaderSize;
    std::vector<std::string_view> raw;
    while (true) {
        if (pos >= all.size())
            damaged(fileName, "the field list has no end marker within the header length");
        if (all[pos] == kHeaderTerminator || all[pos] == kHeaderTerminatorLf)
            break;
        if (pos + kDescriptorSize > all.size())
            damaged(fileName, "the header length " + std::to_string(h.headerLength) +
                                  " cuts a field descriptor");
        if (raw.size() == kMaxFields)
            damaged(fileName, "more than 255 fields");
        raw.push_back(std::string_view(all).substr(pos, kDescriptorSize));
        pos += kDescriptorSize;
    }
    if (raw.empty())
        damaged(fileName, "the table has no fields");
    // dBase III wrote one spare NUL after the terminator; Visual FoxPro keeps the path of its
    // database there; anything else disagrees.
    const std::size_t expected = pos + 1;
    const bool lengthAgrees = h.format == TableFormat::VisualFoxPro
                                  ? h.headerLength >= expected + kVisualFoxProBacklink
                                  : h.headerLength == expected ||
                                        (h.headerLength == expected + 1 && all[expected] == '\0');
    if (!lengthAgrees)
        damaged(fileName, "header length " + std::to_string(h.headerLength) + " does not match " +
                              std::to_string(raw.size()) + " fields");

    std::vector<Descriptor> descriptors;
    std::vector<int> highBytes; // character fields' decimals bytes, by field
    std::uint32_t narrow = 1;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        descriptors.push_back(parseDescriptor(raw[i], static_cast<int>(i), 0, h.format, fileName));
        const Field& f = descriptors.back().field;
        narrow += static_cast<std::uint32_t>(f.length);
        highBytes.push_back(f.type == FieldType::Character ? readU8(raw[i], kFieldDecimals) : 0);
    }
    // Character fields wider than 255 keep their high length byte in the decimals byte; other
    // writers leave noise there. The record length tells which: of the readings that add up to
    // it, the one with the most wide fields wins.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < highBytes.size(); ++i)
        if (highBytes[i] > 0)
            candidates.push_back(i);
    if (candidates.size() > kMaxWideCandidates)
        candidates.resize(kMaxWideCandidates);
    int bestCount = -1;
    std::uint32_t best = 0;
    for (std::uint32_t mask = 0; mask < (1u << candidates.size()); ++mask) {
        std::uint64_t total = narrow;
        for (std::size_t c = 0; c < candidates.size(); ++c)
            if (mask & (1u << c))
                total += std::uint64_t{256} * static_cast<std::uint64_t>(highBytes[candidates[c]]);
        const int count = std::popcount(mask);
        if (total == h.recordLength && count > bestCount) {
            bestCount = count;
            best = mask;
        }
    }
    if (bestCount < 0)
        damaged(fileName, "record length " + std::to_string(h.recordLength) +
                              " does not match the fields, which need " + std::to_string(narrow));
    for (std::size_t c = 0; c < candidates.size(); ++c)
        if (best & (1u << c))
            descriptors[candidates[c]].field.length += 256 * highBytes[candidates[c]];
    int offset = 1;
    for (Descriptor& d : descriptors) {
        if (d.field.length == 0)
            damaged(fileName, "field " + d.field.name + " has length 0");
        d.field.offset = offset;
        offset += d.field.length;
    }
    if (h.format == TableFormat::VisualFoxPro)
        assignFlagBits(descriptors, h, fileName);
    for (Descriptor& d : descriptors)
        if (!d.system)
            h.fields.push_back(std::move(d.field));
    if (h.fields.empty())
        damaged(fileName, "the table has no fields");

    const std::uint64_t needed =
        std::uint64_t{h.headerLength} + std::uint64_t{h.recordCount} * h.recordLength;
    if (needed > fileSize)
        damaged(fileName, "the header counts " + std::to_string(h.recordCount) +
                              " records but the file holds only " +
                              std::to_string((fileSize - h.headerLength) / h.recordLength));
    return h;
}

std::string buildHeader(const std::vector<Field>& fields, std::uint8_t languageDriver,
                        const Date& date) {
    using namespace layout;
    std::string h(kFixedHeaderSize + kDescriptorSize * fields.size() + 1, '\0');
    std::uint32_t recordLength = 1;
    for (const Field& f : fields)
        recordLength += static_cast<std::uint32_t>(f.length);
    writeU8(h, kVersion, kVersionDbase);
    putUpdateDate(h, date);
    writeU32(h, kRecordCount, 0);
    writeU16(h, kHeaderLength, static_cast<std::uint16_t>(h.size()));
    writeU16(h, kRecordLength, static_cast<std::uint16_t>(recordLength));
    writeU8(h, kProductionIndex, 0);
    writeU8(h, kLanguageDriver, languageDriver);
    std::size_t pos = kFixedHeaderSize;
    for (const Field& f : fields) {
        h.replace(pos + kFieldName, f.name.size(), f.name);
        h[pos + kFieldType] = static_cast<char>(f.type);
        writeU8(h, pos + kFieldLength, static_cast<std::uint8_t>(f.length));
        writeU8(h, pos + kFieldDecimals, static_cast<std::uint8_t>(f.decimals));
        pos += kDescriptorSize;
    }
    h[pos] = kHeaderTerminator;
    return h;
}

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void putUpdateDate(std::string& fixed, const Date& date) {
    using namespace layout;
    int year = date.year - 1900;
    year = year < 0 ? 0 : (year > 255 ? 255 : year);
    writeU8(fixed, kUpdateYear, static_cast<std::uint8_t>(year));
    writeU8(fixed, kUpdateMonth, static_cast<std::uint8_t>(date.month));
    writeU8(fixed, kUpdateDay, static_cast<std::uint8_t>(date.day));
}

} // namespace dbase
