#include "transfer/delimited_text.h"

namespace {
enum class State {
    Open,     // no quote seen yet in this value
    Quoted,   // inside quotes
    AfterEnd, // just read a quote inside quotes: closing, or the first of a doubled pair
    Trailing, // a quote inside the value was not followed by a comma: text up to the comma
};

constexpr char16_t kQuote = u'"';
constexpr char16_t kComma = u',';

// Whether only blanks stand between `from` and the next comma or line end.
bool blanksThenEnd(const QChar* data, qsizetype from, qsizetype size) {
    for (qsizetype i = from; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (c == kComma || c == u'\n' || c == u'\r')
            return true;
        if (c != u' ' && c != u'\t')
            return false;
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || (c >= '\0' && c < ' ');
}
} // namespace

DelimitedReader::Record DelimitedReader::read(int maxValues, bool quotedBreaks) {
    Record record;
    record.line = m_line;
    QString value;
    State state = State::Open;
    bool anyQuote = false;
    int count = 0;
    const qsizetype size = m_text.size();
    const QChar* data = m_text.constData();

    const auto finishValue = [&](bool closed) {
        ++count;
        if (maxValues < 0 || count <= maxValues)
            record.values.append(value);
        record.lastClosed = closed;
        value.clear();
        state = State::Open;
    };

    while (m_pos < size) {
        const char16_t c = data[m_pos].unicode();
        ++m_pos;
        if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && m_pos < size && data[m_pos].unicode() == u'\n')
                ++m_pos;
            ++m_line;
            if (state == State::Quoted && quotedBreaks) {
                value += QLatin1Char(' ');
                continue;
            }
            const bool closed = state == State::AfterEnd || state == State::Trailing;
            if (count == 0 && value.isEmpty() && !anyQuote)
                record.blank = true;
            finishValue(closed);
            return record;
        }
        switch (state) {
        case State::Open:
            if (c == kQuote) {
                state = State::Quoted;
                anyQuote = true;
            } else if (c >= 32) {
                value += QChar(c);
            }
            break;
        case State::Quoted:
            if (c == kQuote)
                state = State::AfterEnd;
            else if (c >= 32)
                value += QChar(c);
            break;
        case State::AfterEnd:
            if (c == kQuote) {
                value += QChar(c);
                state = State::Quoted;
            } else if (c == kComma) {
                finishValue(true);
            } else {
                // 55" wide: the quote was no closing one but an inch mark. The value runs on
                // to the next comma and never past the line end, so a stray quote cannot draw
                // the lines after it into this value. Blanks before a comma ("A" ,"B") follow
                // a closing quote.
                if (!blanksThenEnd(data, m_pos - 1, size))
                    value += QChar(kQuote);
                if (c >= 32)
                    value += QChar(c);
                state = State::Trailing;
            }
            break;
        case State::Trailing:
            if (c == kComma) {
                finishValue(true);
            } else if (c == kQuote) {
                // The closing quote when the value ends with it.
                const char16_t next = m_pos < size ? data[m_pos].unicode() : u'\n';
                const bool closing = next == kComma || next == u'\n' || next == u'\r';
                if (!closing)
                    value += QChar(c);
            } else if (c >= 32) {
                value += QChar(c);
            }
            break;
        }
    }
    // End of the file.
    const bool closed = state == State::AfterEnd || state == State::Trailing;
    if (count == 0 && value.isEmpty() && !anyQuote)
        record.blank = true;
    finishValue(closed);
    return record;
}

FirstLineScan GetFirstLine(const QString& text) {
    FirstLineScan scan;
    DelimitedReader reader(text);
    const DelimitedReader::Record first = reader.read(-1, false);
    // Problems in the order a left-to-right scan meets them.
    for (qsizetype i = 0; i < first.values.size(); ++i) {
        if (i + 1 > kMaxImportFields) {
            scan.code = 3;
            break;
        }
        const QString& v = first.values[i];
        if (v.size() > kMaxImportFieldText) {
            scan.code = 1;
            break;
        }
        scan.names.append(v.isEmpty() ? QStringLiteral("<BLANK FIELD>")
                                      : v.left(kImportNameLength));
    }
    if (scan.code == 0 && !first.lastClosed)
        scan.code = 2;
    if (scan.code != 0)
        scan.names.clear();
    return scan;
}

QString tooManyFieldsEnding() {
    return QStringLiteral("The selected file has too many fields.  "
                          "There are at least 10 more fields than are required by Tallywick.");
}

QString firstLineMessage(int code) {
    QString text =
        QStringLiteral("The file selected does not appear to be an ASCII delimited text file.  "
                       "An ASCII delimited file requires a unique format of each field being "
                       "surrounded by double quotes and separated by a comma.  ");
    switch (code) {
    case 1:
        return text +
               QStringLiteral("The selected file has a field that is greater than 255 characters.");
    case 2:
        return text + QStringLiteral("The selected file had an unexpected end of a line most "
                                     "likely due to an unmatched quote.");
    default:
        return text + tooManyFieldsEnding();
    }
}

void appendDelimitedValue(std::string& line, std::string_view utf8, bool first) {
    while (!utf8.empty() && isBlank(utf8.front()))
        utf8.remove_prefix(1);
    while (!utf8.empty() && isBlank(utf8.back()))
        utf8.remove_suffix(1);
    if (!first)
        line += ',';
    line += '"';
    if (utf8.find('"') == std::string_view::npos) {
        line.append(utf8);
    } else {
        for (const char c : utf8) {
            line += c;
            if (c == '"')
                line += '"';
        }
    }
    line += '"';
}
