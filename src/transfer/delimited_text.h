#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Delimited text as the import and export windows know it: every value in double quotes,
// values separated by commas, one record a line.
//
// Reading is lenient where files from other programs differ: a doubled quote inside a quoted
// value is one quote character; a quote followed by anything but a comma or the line end
// closes nothing: it stays in the value ("55" wide" is 55" wide), which then runs to the next
// comma or the line end, so a stray quote never draws later lines in. A comma outside quotes is
// ordinary text (A,B,C is one value). Characters below code 32 are dropped, except that a line
// break inside quotes becomes one blank, so a spreadsheet cell of several lines stays one value
// with its words apart. Line ends may be LF, CR LF or CR.
class DelimitedReader {
public:
    explicit DelimitedReader(QString text) : m_text(std::move(text)) {}

    struct Record {
        QStringList values;
        bool lastClosed = false; // the last value ended at a closing quote
        bool blank = false;      // an empty line: no value and no quote
        int line = 0;            // line of the file where the record starts, from 1
    };

    bool atEnd() const { return m_pos >= m_text.size(); }
    // The values of the record that starts here, up to the end of its line; values beyond
    // maxValues (when >= 0) are read past and dropped. With quotedBreaks false a line break
    // ends the record even inside quotes.
    Record read(int maxValues = -1, bool quotedBreaks = true);

private:
    QString m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// The first-line scan of a text import (the field names come from it).
inline constexpr int kMaxImportFields = 32;
inline constexpr int kMaxImportFieldText = 255;
inline constexpr int kImportNameLength = 20;

struct FirstLineScan {
    int code = 0; // 0 good; 1 a value too long; 2 unmatched quote; 3 too many fields
    QStringList names;
};
FirstLineScan GetFirstLine(const QString& text);

// The "Error" text for a failed scan (codes 1-3).
QString firstLineMessage(int code);
// The ending of the too-many-fields message, also said for a dBase source.
QString tooManyFieldsEnding();

// Output: appends one value to a UTF-8 line. Quotes are doubled, blanks trimmed at both ends;
// the first value of a line goes in without the comma.
void appendDelimitedValue(std::string& line, std::string_view utf8, bool first);
