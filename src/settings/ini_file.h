#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A settings file in the classic private-profile form:
//
//   [Section]
//   Key=Value
//
// Section and key names compare without regard to letter case. Reading takes the first
// section of a name and the first key of a name within it, so a file with duplicates reads
// the way Windows would. Writing keeps everything we do not understand (comments, junk
// lines, unknown keys) where it was: a changed key keeps its place, a new key goes to the end
// of its section, a new section to the end of the file. Saving replaces the file atomically.
class IniFile {
public:
    // Files bigger than this are not settings files; they read as empty.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    IniFile() = default;

    // A file that is missing, unreadable or absurdly large reads as empty.
    static IniFile load(const QString& path);
    static IniFile fromBytes(const QByteArray& bytes);

    std::optional<QString> value(const QString& section, const QString& key) const;
    QString value(const QString& section, const QString& key, const QString& fallback) const;
    bool hasSection(const QString& section) const;
    QStringList sections() const;
    QStringList keys(const QString& section) const;

    // Line breaks inside a value would split it into lines of their own (and could smuggle
    // keys into the file), so they are written as spaces.
    void setValue(const QString& section, const QString& key, const QString& value);

    QByteArray toBytes() const;
    // Writes a temporary file beside `path` and renames it over, so a failed write leaves
    // the old file as it was. On failure `error` says what went wrong and where.
    bool save(const QString& path, QString* error = nullptr) const;

private:
    struct Line {
        QString raw;   // the line as read, used unless `dirty`
        QString key;   // empty for lines that hold no key
        QString value; // trimmed text after the first '='
        bool dirty = false;
    };
    struct Section {
        QString name; // empty for the lines before the first section header
        QString raw;  // the header line as read; empty for a new section
        std::vector<Line> lines;
        QHash<QString, qsizetype> firstKey; // folded key -> index in `lines`
    };

    static QString fold(const QString& s) { return s.toCaseFolded(); }
    const Section* findSection(const QString& name) const;
    void addLine(Section& section, Line line);

    std::vector<Section> m_sections;
    QHash<QString, qsizetype> m_firstSection; // folded name -> index in m_sections
    QString m_eol = QStringLiteral("\r\n");
};
