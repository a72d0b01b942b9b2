#include "settings/ini_file.h"

#include "formats/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

IniFile IniFile::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > kMaxFileSize)
        return {};
    return fromBytes(file.read(kMaxFileSize));
}

IniFile IniFile::fromBytes(const QByteArray& bytes) {
    IniFile ini;
    if (bytes.contains("\r\n"))
        ini.m_eol = QStringLiteral("\r\n");
    else if (bytes.contains('\n'))
        ini.m_eol = QStringLiteral("\n");

    const QString text = decodeTextFile(bytes);
    // Lines before the first header belong to a nameless section nobody can read from.
    ini.m_sections.push_back(Section{});
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QString line = text.mid(start, end - start);
        start = end + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);

        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            qsizetype close = trimmed.indexOf(QLatin1Char(']'));
            if (close < 0)
                close = trimmed.size();
            Section s;
            s.name = trimmed.mid(1, close - 1).trimmed();
            s.raw = line;
            ini.m_sections.push_back(std::move(s));
            const QString folded = fold(ini.m_sections.back().name);
            if (!folded.isEmpty() && !ini.m_firstSection.contains(folded))
                ini.m_firstSection.insert(folded, qsizetype(ini.m_sections.size() - 1));
            continue;
        }
        Line l;
        l.raw = line;
        const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
        if (eq > 0 && !trimmed.startsWith(QLatin1Char(';'))) {
            l.key = trimmed.left(eq).trimmed();
            l.value = trimmed.mid(eq + 1).trimmed();
        }
        ini.addLine(ini.m_sections.back(), std::move(l));
    }
    return ini;
}

void IniFile::addLine(Section& section, Line line) {
    if (!line.key.isEmpty()) {
        const QString folded = fold(line.key);
        if (!section.firstKey.contains(folded))
            section.firstKey.insert(folded, qsizetype(section.lines.size()));
    }
    section.lines.push_back(std::move(line));
}

const IniFile::Section* IniFile::findSection(const QString& name) const {
    const auto it = m_firstSection.constFind(fold(name.trimmed()));
    return it == m_firstSection.constEnd() ? nullptr : &m_sections[size_t(*it)];
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->firstKey.constFind(fold(key.trimmed()));
    if (it == s->firstKey.constEnd())
        return std::nullopt;
    return s->lines[size_t(*it)].value;
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
    return value(section, key).value_or(fallback);
}

bool IniFile::hasSection(const QString& section) const {
    return findSection(section) != nullptr;
}

QStringList IniFile::sections() const {
    QStringList names;
    for (size_t i = 1; i < m_sections.size(); ++i)
        names << m_sections[i].name;
    return names;
}

QStringList IniFile::keys(const QString& section) const {
    QStringList names;
    if (const Section* s = findSection(section))
        for (const Line& l : s->lines)
            if (!l.key.isEmpty())
                names << l.key;
    return names;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    clean = clean.trimmed(); // reading trims too; keep what is written equal to what is read

    const QString foldedSection = fold(section.trimmed());
    auto sit = m_firstSection.constFind(foldedSection);
    if (sit == m_firstSection.constEnd()) {
        if (m_sections.empty())
            m_sections.push_back(Section{});
        Section s;
        s.name = section.trimmed();
        m_sections.push_back(std::move(s));
        sit = m_firstSection.insert(foldedSection, qsizetype(m_sections.size() - 1));
    }
    Section& s = m_sections[size_t(*sit)];

    const QString foldedKey = fold(key.trimmed());
    if (const auto kit = s.firstKey.constFind(foldedKey); kit != s.firstKey.constEnd()) {
        Line& l = s.lines[size_t(*kit)];
        if (l.value != clean) {
            l.value = clean;
            l.dirty = true;
        }
        return;
    }
    // New keys go after the last non-blank line, so blank lines between sections stay
    // between sections. Every key sits before that point, so the key index stays valid.
    qsizetype at = qsizetype(s.lines.size());
    while (at > 0 && s.lines[size_t(at - 1)].key.isEmpty() &&
           s.lines[size_t(at - 1)].raw.trimmed().isEmpty())
        --at;
    Line l;
    l.key = key.trimmed();
    l.value = clean;
    l.dirty = true;
    s.lines.insert(s.lines.begin() + at, std::move(l));
    s.firstKey.insert(foldedKey, at);
}

QByteArray IniFile::toBytes() const {
    QString out;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const Section& s = m_sections[i];
        if (i > 0)
            out += (s.raw.isEmpty() ? QLatin1Char('[') + s.name + QLatin1Char(']') : s.raw) + m_eol;
        for (const Line& l : s.lines)
            out += (l.dirty ? l.key + QLatin1Char('=') + l.value : l.raw) + m_eol;
    }
    return out.toUtf8();
}

bool IniFile::save(const QString& path, QString* error) const {
    QSaveFile file(path);
    const QByteArray bytes = toBytes();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("Unable to write the settings file \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}
