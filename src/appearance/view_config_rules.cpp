#include "appearance/view_config_rules.h"

#include <charconv>

ViewConfigCells viewConfigCells(const DatabaseSettings& db) {
    ViewConfigCells cells;
    for (size_t i = 0; i < size_t(kFieldCount); ++i) {
        cells.names[i] = db.fieldNames[i];
        cells.shown[i] = db.displayFields[i] ? QStringLiteral("Yes") : QStringLiteral("No");
        cells.widths[i] = QString::number(db.fieldWidth[i]);
    }
    // Each position lists the field whose order it is; a position nobody holds shows
    // field 1, as the viewer does.
    for (size_t pos = 0; pos < size_t(kFieldCount); ++pos) {
        size_t field = 0;
        for (size_t i = 0; i < size_t(kFieldCount); ++i)
            if (db.fieldOrder[i] == int(pos) + 1) {
                field = i;
                break;
            }
        cells.ordered[pos] = db.fieldNames[field];
    }
    return cells;
}

QString storedFieldName(const QString& cell) {
    return cell.trimmed().left(kFieldNameLength).trimmed();
}

std::optional<QString> duplicateFieldName(const std::array<QString, kFieldCount>& names) {
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t j = i + 1; j < names.size(); ++j)
            if (storedFieldName(names[i]) == storedFieldName(names[j]))
                return storedFieldName(names[i]);
    return std::nullopt;
}

QString duplicateFieldNameMessage(const QString& name) {
    return QStringLiteral("Two field names have the same name \"") + name +
           QStringLiteral("\".  Please change one.");
}

int closingFieldWidth(const QString& cell) {
    const QByteArray text = cell.trimmed().toLatin1();
    int value = 0;
    const char* end = text.constData() + text.size();
    const auto [ptr, ec] = std::from_chars(text.constData(), end, value);
    if (text.isEmpty() || ec != std::errc() || ptr != end || value < 1 || value > 255)
        return kFallbackFieldWidth;
    return value;
}

void applyViewConfig(DatabaseSettings& db, const ViewConfigCells& cells) {
    std::array<bool, kFieldCount> claimed{};
    for (size_t i = 0; i < size_t(kFieldCount); ++i) {
        db.fieldWidth[i] = closingFieldWidth(cells.widths[i]);
        db.displayFields[i] = cells.shown[i] == QLatin1String("Yes");
        // Two fields named alike (only an edited settings file does that) take the rows
        // holding that name one after the other; without a row left, the stored order stays.
        for (size_t row = 0; row < size_t(kFieldCount); ++row)
            if (!claimed[row] && cells.ordered[row] == db.fieldNames[i]) {
                claimed[row] = true;
                db.fieldOrder[i] = int(row) + 1;
                break;
            }
    }
    for (size_t i = 0; i < size_t(kFieldCount); ++i)
        db.fieldNames[i] = storedFieldName(cells.names[i]);
}

std::array<QString, kFieldCount> defaultFieldOrderRows(const DatabaseSettings& db) {
    return db.fieldNames;
}
