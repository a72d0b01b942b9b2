#include "reports/report_definition.h"

#include "dbase/code_page.h"
#include "dbase/little_endian.h"
#include "items/item_schema.h"

#include <bit>
#include <cmath>
#include <cstring>

// Report definition record, 20622 bytes, all numbers little-endian:
//
// | offset | size  | meaning                                                    |
// |--------|-------|------------------------------------------------------------|
// | 0      | 31    | string[30] report name                                     |
// | 31     | 2     | int16 characters per line (90, 120, 150)                   |
// | 33     | 5x61  | fonts: title, column header, body, spare, footnote         |
// | 338    | 1     | flag column headers                                        |
// | 339    | 1     | flag page numbers                                          |
// | 340    | 1     | flag landscape                                             |
// | 341    | 1     | flag date on pages                                         |
// | 342    | 1     | flag use totals                                            |
// | 343    | 2     | int16 lines per item, 0-12                                 |
// | 345    | 1500  | totals line (20 parts)                                     |
// | 1845   | 4x8   | double margins top, bottom, left, right (inches)           |
// | 1877   | 1     | flag vertical lines                                        |
// | 1878   | 1     | flag horizontal lines                                      |
// | 1879   | 3x81  | string[80] title lines 1-3                                 |
// | 2122   | 18000 | body lines 1-12, 1500 bytes each                           |
// | 20122  | 1     | flag group by sort level 1                                 |
// | 20123  | 1     | flag group by sort level 2                                 |
// | 20124  | 498   | reserved, kept as found                                    |
//
// A string[N] is a length byte and N bytes, of which the first `length` are Windows-1252 text.
// A flag is one byte, anything but 0 being on; we write 1.
//
// Font, 61 bytes: 0 string[50] face; 51 int16 points; 53 bold; 54 italic; 55 underline;
// 56 strike-out; 57 int32 colour (0x00BBGGRR).
//
// Report part, 75 bytes: 0 string[30] "<FILLER>", "<LABEL>" or field name; 31 uint8 field
// number; 32 int16 width; 34 string[40] label text.

namespace {

namespace off {
constexpr std::size_t name = 0;
constexpr std::size_t charsPerLine = 31;
constexpr std::size_t fonts = 33;
constexpr std::size_t columnHeaders = 338;
constexpr std::size_t pageNumbers = 339;
constexpr std::size_t landscape = 340;
constexpr std::size_t dateOnPage = 341;
constexpr std::size_t useTotals = 342;
constexpr std::size_t numLines = 343;
constexpr std::size_t totals = 345;
constexpr std::size_t topMargin = 1845;
constexpr std::size_t bottomMargin = 1853;
constexpr std::size_t leftMargin = 1861;
constexpr std::size_t rightMargin = 1869;
constexpr std::size_t vertLines = 1877;
constexpr std::size_t horzLines = 1878;
constexpr std::size_t titles = 1879;
constexpr std::size_t body = 2122;
constexpr std::size_t level1Group = 20122;
constexpr std::size_t level2Group = 20123;
constexpr std::size_t reserved = 20124;

constexpr std::size_t fontSize = 61;
constexpr std::size_t fontPoints = 51;
constexpr std::size_t fontBold = 53;
constexpr std::size_t fontItalic = 54;
constexpr std::size_t fontUnderline = 55;
constexpr std::size_t fontStrikeOut = 56;
constexpr std::size_t fontColor = 57;

constexpr std::size_t partSize = 75;
constexpr std::size_t lineSize = partSize * kPartsPerLine;
constexpr std::size_t partFieldNumber = 31;
constexpr std::size_t partWidth = 32;
constexpr std::size_t partLabel = 34;
constexpr std::size_t titleSize = kTitleLength + 1;
} // namespace off

static_assert(off::reserved + kReservedSize == kReportRecordSize);
static_assert(off::body + kBodyLineCount * off::lineSize == off::level1Group);
static_assert(off::totals + off::lineSize == off::topMargin);

class Writer {
public:
    Writer() : m_bytes(kReportRecordSize, '\0') {}

    void string(std::size_t at, const QString& text, int capacity, const char* what) {
        if (!m_error.isEmpty())
            return;
        const QByteArray utf8 = text.toUtf8();
        const auto enc = dbase::fromUtf8({utf8.constData(), std::size_t(utf8.size())},
                                         dbase::CodePage::Windows1252);
        if (!enc.ok) {
            m_error = QStringLiteral("The %1 \"%2\" holds the character \"%3\", which a report "
                                     "definition cannot store.")
                          .arg(QLatin1String(what), text, QString::fromUcs4(&enc.badCharacter, 1));
            return;
        }
        if (enc.bytes.size() > std::size_t(capacity)) {
            m_error = QStringLiteral("The %1 \"%2\" is longer than %3 characters.")
                          .arg(QLatin1String(what), text)
                          .arg(capacity);
            return;
        }
        dbase::writeU8(m_bytes, at, std::uint8_t(enc.bytes.size()));
        std::memcpy(m_bytes.data() + at + 1, enc.bytes.data(), enc.bytes.size());
    }
    void int16(std::size_t at, int value, const char* what) {
        if (value < -32768 || value > 32767) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The %1 %2 is out of range.")
                              .arg(QLatin1String(what))
                              .arg(value);
            return;
        }
        dbase::writeU16(m_bytes, at, std::uint16_t(std::int16_t(value)));
    }
    void flag(std::size_t at, bool on) { dbase::writeU8(m_bytes, at, on ? 1 : 0); }
    void u8(std::size_t at, std::uint8_t value) { dbase::writeU8(m_bytes, at, value); }
    void u32(std::size_t at, std::uint32_t value) { dbase::writeU32(m_bytes, at, value); }
    void real(std::size_t at, double value) {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        dbase::writeU32(m_bytes, at, std::uint32_t(bits & 0xFFFFFFFFu));
        dbase::writeU32(m_bytes, at + 4, std::uint32_t(bits >> 32));
    }
    void raw(std::size_t at, const QByteArray& bytes) {
        std::memcpy(m_bytes.data() + at, bytes.constData(), std::size_t(bytes.size()));
    }

    std::string m_bytes;
    QString m_error;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    QString string(std::size_t at, int capacity, const char* what) {
        const int length = dbase::readU8(m_bytes, at);
        if (length > capacity) {
            if (m_problem.isEmpty())
                m_problem = QStringLiteral("its %1 claims %2 characters where %3 fit")
                                .arg(QLatin1String(what))
                                .arg(length)
                                .arg(capacity);
            return {};
        }
        return QString::fromStdString(dbase::toUtf8(m_bytes.substr(at + 1, std::size_t(length)),
                                                    dbase::CodePage::Windows1252));
    }
    int int16(std::size_t at) const { return std::int16_t(dbase::readU16(m_bytes, at)); }
    bool flag(std::size_t at) const { return dbase::readU8(m_bytes, at) != 0; }
    std::uint8_t u8(std::size_t at) const { return dbase::readU8(m_bytes, at); }
    std::uint32_t u32(std::size_t at) const { return dbase::readU32(m_bytes, at); }
    double real(std::size_t at) const {
        const std::uint64_t bits = std::uint64_t(dbase::readU32(m_bytes, at)) |
                                   (std::uint64_t(dbase::readU32(m_bytes, at + 4)) << 32);
        return std::bit_cast<double>(bits);
    }

    std::string_view m_bytes;
    QString m_problem;
};

void writeFont(Writer& w, std::size_t at, const ReportFont& font) {
    w.string(at, font.face, kFontFaceLength, "font name");
    w.int16(at + off::fontPoints, font.size, "font size");
    w.flag(at + off::fontBold, font.bold);
    w.flag(at + off::fontItalic, font.italic);
    w.flag(at + off::fontUnderline, font.underline);
    w.flag(at + off::fontStrikeOut, font.strikeOut);
    w.u32(at + off::fontColor, font.color);
}

ReportFont readFont(Reader& r, std::size_t at) {
    ReportFont font;
    font.face = r.string(at, kFontFaceLength, "font name");
    font.size = r.int16(at + off::fontPoints);
    font.bold = r.flag(at + off::fontBold);
    font.italic = r.flag(at + off::fontItalic);
    font.underline = r.flag(at + off::fontUnderline);
    font.strikeOut = r.flag(at + off::fontStrikeOut);
    font.color = r.u32(at + off::fontColor);
    return font;
}

void writeLine(Writer& w, std::size_t at, const ReportLine& line) {
    for (int i = 0; i < kPartsPerLine; ++i) {
        const ReportPart& part = line.parts[std::size_t(i)];
        const std::size_t p = at + std::size_t(i) * off::partSize;
        w.string(p, part.kind, kPartKindLength, "part kind");
        w.u8(p + off::partFieldNumber, std::uint8_t(part.fieldNumber));
        w.int16(p + off::partWidth, part.width, "part width");
        w.string(p + off::partLabel, part.label, kLabelLength, "label");
    }
}

ReportLine readLine(Reader& r, std::size_t at) {
    ReportLine line;
    for (int i = 0; i < kPartsPerLine; ++i) {
        ReportPart& part = line.parts[std::size_t(i)];
        const std::size_t p = at + std::size_t(i) * off::partSize;
        part.kind = r.string(p, kPartKindLength, "part kind");
        part.fieldNumber = r.u8(p + off::partFieldNumber);
        part.width = r.int16(p + off::partWidth);
        part.label = r.string(p + off::partLabel, kLabelLength, "label");
    }
    return line;
}

// Built-in definition helpers.
ReportPart field(int number, int width) {
    return {itemField(number)->qName(), number, width, {}};
}
ReportPart label(const char* text, int width) {
    return {kLabelKind, 0, width, QString::fromLatin1(text)};
}
ReportPart filler(int width) {
    return {kFillerKind, 0, width, {}};
}

ReportLine line(std::initializer_list<ReportPart> parts) {
    ReportLine l;
    std::size_t i = 0;
    for (const ReportPart& p : parts)
        l.parts[i++] = p;
    return l;
}

ReportLine standardTotals() {
    ReportPart cost{QStringLiteral("Cost"), TotalCost, 12, {}};
    ReportPart rep{QStringLiteral("Replacement Cost"), TotalRepCost, 12, {}};
    ReportPart value{QStringLiteral("Value"), TotalValue, 12, {}};
    return line({label("Cost:", 10), filler(1), cost, label("Replacement Cost:", 19), filler(1),
                 rep, label("Value:", 8), filler(1), value, filler(60)});
}

void setFontSizes(ReportDefinition& d, int points) {
    for (ReportFont& f : d.fonts)
        f.size = points;
}

} // namespace

PartKind ReportPart::partKind() const {
    if (kind == kLabelKind)
        return PartKind::Label;
    if (kind == kFillerKind)
        return PartKind::Filler;
    return PartKind::Field;
}

int ReportLine::usedParts() const {
    int n = 0;
    while (n < kPartsPerLine && parts[std::size_t(n)].width > 0)
        ++n;
    return n;
}

ReportLine ReportLine::empty(int width) {
    ReportLine l;
    l.parts[0].width = width;
    return l;
}

ReportDefinition::ReportDefinition() {
    body.fill(ReportLine::empty());
}

ReportDefinition ReportDefinition::newUserDefinition() {
    ReportDefinition d;
    d.charsPerLine = 90;
    d.vertLines = true;
    d.horzLines = true;
    for (int i = 0; i < 5; ++i) {
        ReportFont& f = d.fonts[std::size_t(i)];
        f.face = QStringLiteral("Courier New");
        f.size = 10;
        f.bold = i == TitleFont || i == HeaderFont || i == FootnoteFont;
    }
    return d;
}

EncodedReport encodeReport(const ReportDefinition& d) {
    Writer w;
    w.string(off::name, d.name, kReportNameLength, "report name");
    w.int16(off::charsPerLine, d.charsPerLine, "line width");
    for (std::size_t i = 0; i < d.fonts.size(); ++i)
        writeFont(w, off::fonts + i * off::fontSize, d.fonts[i]);
    w.flag(off::columnHeaders, d.columnHeaders);
    w.flag(off::pageNumbers, d.pageNumbers);
    w.flag(off::landscape, d.landscape);
    w.flag(off::dateOnPage, d.dateOnPage);
    w.flag(off::useTotals, d.useTotals);
    w.int16(off::numLines, d.numLines, "line count");
    writeLine(w, off::totals, d.totals);
    w.real(off::topMargin, d.topMargin);
    w.real(off::bottomMargin, d.bottomMargin);
    w.real(off::leftMargin, d.leftMargin);
    w.real(off::rightMargin, d.rightMargin);
    w.flag(off::vertLines, d.vertLines);
    w.flag(off::horzLines, d.horzLines);
    for (std::size_t i = 0; i < d.titles.size(); ++i)
        w.string(off::titles + i * off::titleSize, d.titles[i], kTitleLength, "title");
    for (std::size_t i = 0; i < d.body.size(); ++i)
        writeLine(w, off::body + i * off::lineSize, d.body[i]);
    w.flag(off::level1Group, d.level1Group);
    w.flag(off::level2Group, d.level2Group);
    QByteArray reserved = d.reserved.left(kReservedSize);
    reserved.append(QByteArray(kReservedSize - reserved.size(), '\0'));
    w.raw(off::reserved, reserved);
    if (!w.m_error.isEmpty())
        return {{}, w.m_error};
    return {std::move(w.m_bytes), {}};
}

std::optional<ReportDefinition> decodeReport(std::string_view bytes, QString* problem) {
    auto refuse = [&](const QString& why) -> std::optional<ReportDefinition> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    if (bytes.size() != std::size_t(kReportRecordSize))
        return refuse(
            QStringLiteral("it is %1 bytes long, not %2").arg(bytes.size()).arg(kReportRecordSize));
    Reader r(bytes);
    ReportDefinition d;
    d.name = r.string(off::name, kReportNameLength, "name");
    d.charsPerLine = r.int16(off::charsPerLine);
    for (std::size_t i = 0; i < d.fonts.size(); ++i)
        d.fonts[i] = readFont(r, off::fonts + i * off::fontSize);
    d.columnHeaders = r.flag(off::columnHeaders);
    d.pageNumbers = r.flag(off::pageNumbers);
    d.landscape = r.flag(off::landscape);
    d.dateOnPage = r.flag(off::dateOnPage);
    d.useTotals = r.flag(off::useTotals);
    d.numLines = r.int16(off::numLines);
    d.totals = readLine(r, off::totals);
    d.topMargin = r.real(off::topMargin);
    d.bottomMargin = r.real(off::bottomMargin);
    d.leftMargin = r.real(off::leftMargin);
    d.rightMargin = r.real(off::rightMargin);
    d.vertLines = r.flag(off::vertLines);
    d.horzLines = r.flag(off::horzLines);
    for (std::size_t i = 0; i < d.titles.size(); ++i)
        d.titles[i] = r.string(off::titles + i * off::titleSize, kTitleLength, "title");
    for (std::size_t i = 0; i < d.body.size(); ++i)
        d.body[i] = readLine(r, off::body + i * off::lineSize);
    d.level1Group = r.flag(off::level1Group);
    d.level2Group = r.flag(off::level2Group);
    d.reserved = QByteArray(bytes.data() + off::reserved, kReservedSize);

    if (!r.m_problem.isEmpty())
        return refuse(r.m_problem);
    // The generator divides by the line width and walks numLines body lines.
    if (d.charsPerLine <= 0)
        return refuse(QStringLiteral("its line width is %1 characters").arg(d.charsPerLine));
    if (d.numLines < 0 || d.numLines > kBodyLineCount)
        return refuse(QStringLiteral("it claims %1 lines per item").arg(d.numLines));
    for (double m : {d.topMargin, d.bottomMargin, d.leftMargin, d.rightMargin})
        if (!std::isfinite(m) || m < 0 || m > 100)
            return refuse(QStringLiteral("it has a margin of %1 inches").arg(m));
    return d;
}

std::vector<ReportDefinition> builtInReports() {
    using namespace item_field;
    std::vector<ReportDefinition> all;
    auto add = [&](const char* name, int chars) -> ReportDefinition& {
        ReportDefinition d;
        d.name = QString::fromLatin1(name);
        d.charsPerLine = chars;
        d.totals = standardTotals();
        all.push_back(d);
        return all.back();
    };

    {
        auto& d = add("Short Narrow Report", 90);
        setFontSizes(d, 10);
        d.vertLines = d.horzLines = true;
        d.body[0] = line({field(Item, 32), field(Location, 17), field(Cost, 14), field(RepCost, 14),
                          field(Quantity, 13)});
    }
    {
        auto& d = add("Short Wide Report", 120);
        d.vertLines = d.horzLines = true;
        d.body[0] =
            line({field(Item, 26), field(Brand, 12), field(Model, 12), field(Serial, 12),
                  field(Location, 17), field(Cost, 14), field(RepCost, 14), field(Quantity, 13)});
    }
    const ReportLine mediumLine1 =
        line({label("Item:", 5), filler(1), field(Item, 40), label("Location:", 11), filler(1),
              field(Location, 30), label("Category:", 11), filler(1), field(Category, 20)});
    const ReportLine descLine = line({label("Desc:", 5), filler(1), field(Descriptio, 110)});
    {
        auto& d = add("Medium Report", 120);
        d.columnHeaders = false;
        d.numLines = 2;
        d.body[0] = mediumLine1;
        d.body[1] = line({label("Brand:", 6), filler(1), field(Brand, 20), label("Model:", 8),
                          filler(1), field(Model, 15), label("Serial:", 9), filler(1),
                          field(Serial, 14), label("Cost:", 7), filler(1), field(Cost, 12),
                          label("Rep Cost:", 11), filler(1), field(RepCost, 12)});
    }
    {
        ReportDefinition d = all.back();
        d.name = QStringLiteral("Medium Large Report");
        d.numLines = 4;
        d.body[2] = descLine;
        all.push_back(d);
    }
    {
        auto& d = add("Full Report", 120);
        d.columnHeaders = false;
        d.numLines = 7;
        d.body[0] = mediumLine1;
        d.body[1] = line({label("Brand:", 6), filler(1), field(Brand, 20), label("Model:", 8),
                          filler(1), field(Model, 15), label("Serial:", 9), filler(1),
                          field(Serial, 20), label("Owner:", 8), filler(1), field(Owner, 30)});
        d.body[2] = descLine;
        d.body[3] =
            line({label("Cost:", 5), filler(1), field(Cost, 13), label("Rep. Cost:", 11), filler(1),
                  field(RepCost, 13), label("Value:", 8), filler(1), field(Value, 13),
                  label("Purch From:", 13), filler(1), field(BoughtFrom, 40)});
        d.body[4] = line({label("Purch Date:", 11), filler(1), field(PurchDate, 11),
                          label("Warranty:", 12), filler(1), field(Warranty, 3),
                          label("Expiration Date:", 19), filler(1), field(WarDate, 11),
                          label("Warranty Notes:", 18), filler(1), field(WarNotes, 30)});
        d.body[5] = line({label("ID Marks:", 9), filler(1), field(IDMarks, 60),
                          label("Quantity:", 11), filler(1), field(Quantity, 10)});
    }
    {
        auto& d = add("Warranty Report", 120);
        d.useTotals = false;
        d.totals = ReportLine::empty();
        d.body[0] = line({field(Item, 30), filler(2), field(Location, 15), filler(2),
                          field(PurchDate, 11), filler(2), field(Warranty, 3), filler(2),
                          field(WarDate, 11), filler(2), field(WarNotes, 30)});
    }
    {
        auto& d = add("Location & Owner Report", 90);
        setFontSizes(d, 10);
        d.vertLines = d.horzLines = true;
        d.body[0] = line({field(Item, 33), field(Location, 30), field(Owner, 27)});
    }
    {
        auto& d = add("Statistics/Summary Report", 120);
        d.columnHeaders = false;
        d.numLines = 0;
    }
    return all;
}

int itemFieldNumberOfName(const QString& name) {
    for (const ItemField& f : kItemFields)
        if (f.qName() == name)
            return f.number;
    return 0;
}

int totalsFieldNumberOfName(const QString& name) {
    for (std::size_t i = 0; i < kTotalsFieldNames.size(); ++i)
        if (name == QLatin1String(kTotalsFieldNames[i]))
            return int(i) + 1;
    return 0;
}
