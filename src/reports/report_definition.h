#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One report layout as kept in TWKINV.URP: name, fonts, flags, margins, titles, the totals line
// and twelve body lines of twenty parts each. The byte layout is documented in
// report_definition.cpp, next to the code that reads it.

inline constexpr int kReportRecordSize = 20622;
inline constexpr int kPartsPerLine = 20;
inline constexpr int kBodyLineCount = 12;
inline constexpr int kReportNameLength = 30;
inline constexpr int kTitleLength = 80;
inline constexpr int kPartKindLength = 30;
inline constexpr int kLabelLength = 40;
inline constexpr int kFontFaceLength = 50;
inline constexpr int kReservedSize = 498;

inline const QString kFillerKind = QStringLiteral("<FILLER>");
inline const QString kLabelKind = QStringLiteral("<LABEL>");

// Names a totals-line field part can carry, by totals field number (1-based).
inline constexpr std::array<const char*, 4> kTotalsFieldNames = {"Cost", "Value",
                                                                 "Replacement Cost", "Quantity"};
enum TotalsField : int { TotalCost = 1, TotalValue = 2, TotalRepCost = 3, TotalQuantity = 4 };

struct ReportFont {
    QString face = QStringLiteral("Arial");
    int size = 8; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    quint32 color = 0; // Windows RGB value, 0x00BBGGRR
    bool operator==(const ReportFont&) const = default;
};

enum class PartKind { Filler, Label, Field };

struct ReportPart {
    QString kind = kFillerKind; // "<FILLER>", "<LABEL>" or the printed field's name
    int fieldNumber = 0;        // item field (body lines) or totals field (totals line)
    int width = 0;              // characters; 0 or less ends the line
    QString label;

    PartKind partKind() const;
    bool operator==(const ReportPart&) const = default;
};

struct ReportLine {
    std::array<ReportPart, kPartsPerLine> parts;

    // Parts up to (not including) the first of width 0 or less.
    int usedParts() const;
    // One filler as wide as the line, nothing after it.
    static ReportLine empty(int width = 150);
    bool operator==(const ReportLine&) const = default;
};

enum ReportFontRole : int { TitleFont, HeaderFont, BodyFont, SpareFont, FootnoteFont };

struct ReportDefinition {
    QString name;
    int charsPerLine = 120;
    std::array<ReportFont, 5> fonts{}; // by ReportFontRole
    bool columnHeaders = true;
    bool pageNumbers = true;
    bool landscape = false;
    bool dateOnPage = true;
    bool useTotals = true;
    int numLines = 1; // lines per item, 0-12
    ReportLine totals = ReportLine::empty();
    double topMargin = 0.5;
    double bottomMargin = 0.5;
    double leftMargin = 0.5;
    double rightMargin = 0.5;
    bool vertLines = false;
    bool horzLines = false;
    std::array<QString, 3> titles;
    std::array<ReportLine, kBodyLineCount> body;
    bool level1Group = true;
    bool level2Group = false;
    QByteArray reserved = QByteArray(kReservedSize, '\0'); // kept as found

    ReportDefinition();
    bool operator==(const ReportDefinition&) const = default;

    // The state every built-in definition starts from.
    static ReportDefinition fresh() { return {}; }
    // What New Report starts the designer on: 90 characters, Courier New, lines on.
    static ReportDefinition newUserDefinition();
};

// The record bytes, or why they cannot be written (a character Windows-1252 lacks, a text
// longer than its field, a number out of range).
struct EncodedReport {
    std::string bytes;
    QString error;
};
EncodedReport encodeReport(const ReportDefinition& definition);

// Reads one record; nullopt with a reason when the bytes cannot be a report definition
// (a string longer than its field, an impossible line width or line count).
std::optional<ReportDefinition> decodeReport(std::string_view bytes, QString* problem = nullptr);

// The eight definitions written into a new TWKINV.URP, in file order.
std::vector<ReportDefinition> builtInReports();

// Item field number of a field name as reports store it ("Item" ... "UserDef4"), or of a totals
// field name; 0 when the name is in neither list.
int itemFieldNumberOfName(const QString& name);
int totalsFieldNumberOfName(const QString& name);
