#include "edit/record_editor_rules.h"

#include "formats/date_format.h"
#include "formats/value_format.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "lists/lookup_lists.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
using C = EditorControl;
using K = EditorControlKind;
namespace f = item_field;

constexpr std::array<EditorControlInfo, kEditorControlCount> kControls = {{
    {C::Item, "Item", "ItemLabel", "Item", K::Edit, 0, f::Item, 40, 40, 0},
    {C::Brand, "Brand", "BrandLabel", "Brand", K::Combo, 0, f::Brand, 20, 20, 1},
    {C::Model, "Model", "ModelLabel", "Model", K::Edit, 0, f::Model, 20, 20, 0},
    {C::Serial, "Serial", "SerialLabel", "Serial Number", K::Edit, 0, f::Serial, 20, 20, 0},
    {C::IDMarks, "IDMarks", "IDMarksLabel", "ID Marks", K::Edit, 0, f::IDMarks, 60, 60, 0},
    {C::Comments, "Comments", "CommentsLabel", "Comments", K::Edit, 0, f::Descriptio, 110, 110, 0},
    {C::Category, "Category", "CategoryLabel", "Category", K::Combo, 0, f::Category, 20, 20, 4},
    {C::Location, "Location", "LocationLabel", "Location", K::Combo, 0, f::Location, 30, 30, 2},
    {C::TheOwner, "TheOwner", "OwnerLabel", "Owner", K::Combo, 0, f::Owner, 30, 30, 5},
    {C::Quantity, "Quantity", "QuantityLabel", "Quantity", K::Edit, 1, f::Quantity, 0, 10, 0},
    {C::Value, "Value", "ValueLabel", "Value", K::Edit, 1, f::Value, 12, 20, 0},
    {C::Cost, "Cost", "CostLabel", "Cost", K::Edit, 1, f::Cost, 12, 20, 0},
    {C::RepCost, "RepCost", "RepCostLabel", "Replacement Cost", K::Edit, 1, f::RepCost, 12, 20, 0},
    {C::Warranty, "Warranty", "Warranty", "Warranty", K::Check, 2, f::Warranty, 0, 0, 0},
    {C::WarDate, "WarDate", "WarDateLabel", "Warranty Date", K::Date, 2, f::WarDate, 10, 20, 0},
    {C::WarNotes, "WarNotes", "WarNotesLabel", "Warranty Notes", K::Edit, 2, f::WarNotes, 30, 30,
     0},
    {C::PurchDate, "PurchDate", "PurchDateLabel", "Purchase Date", K::Date, 2, f::PurchDate, 10, 20,
     0},
    {C::Bought, "Bought", "BoughtLabel", "Purchased From", K::Combo, 2, f::BoughtFrom, 40, 40, 3},
    {C::UserDef1, "UserDef1", "UserDef1Lab", "Item", K::Edit, 3, f::UserDef1, 40, 40, 0},
    {C::UserDef2, "UserDef2", "UserDef2Lab", "Item", K::Edit, 3, f::UserDef2, 40, 40, 0},
    {C::UserDef3, "UserDef3", "UserDef3Lab", "Item", K::Edit, 3, f::UserDef3, 40, 40, 0},
    {C::UserDef4, "UserDef4", "UserDef4Lab", "Item", K::Edit, 3, f::UserDef4, 40, 40, 0},
}};

// The order in which the change test looks at the controls.
constexpr C kChangeOrder[] = {
    C::Item,     C::Brand,     C::Model,  C::Serial,   C::IDMarks,  C::Comments, C::Category,
    C::Location, C::TheOwner,  C::Cost,   C::Value,    C::RepCost,  C::Quantity, C::WarDate,
    C::WarNotes, C::PurchDate, C::Bought, C::UserDef1, C::UserDef2, C::UserDef3, C::UserDef4};

// The Enter key's way through the four pages; the last one leads back to the first.
constexpr C kEnterChain[] = {
    C::Item,     C::Brand,     C::Model,    C::Serial,   C::IDMarks,  C::Comments, C::Category,
    C::Location, C::TheOwner,  C::Quantity, C::Value,    C::Cost,     C::RepCost,  C::WarDate,
    C::WarNotes, C::PurchDate, C::Bought,   C::UserDef1, C::UserDef2, C::UserDef3, C::UserDef4};

// The drop-down lists in the order an update offers them their new values.
constexpr C kListOrder[] = {C::Brand, C::Location, C::Category, C::TheOwner, C::Bought};

bool isMaskSpecial(QChar c) {
    static const QString special = QStringLiteral("AaNnXx90Dd#HhBb><!;[]{}\\");
    return special.contains(c);
}

std::optional<double> checkedAmount(const QString& text, const NumberFormatter& numbers,
                                    const ItemTable& items, int fieldNumber, bool& ok) {
    ok = true;
    const QString trimmed = trimSpaces(text);
    if (trimmed.isEmpty())
        return 0.0;
    const auto v = numbers.moneyValue(trimmed);
    if (!v || !fitsNumberField(items, fieldNumber, *v)) {
        ok = false;
        return std::nullopt;
    }
    return v;
}

} // namespace

bool fitsNumberField(const ItemTable& items, int fieldNumber, double value) {
    const ItemField* info = itemField(fieldNumber);
    if (!info || !items.isOpen())
        return true;
    const int index = items.table().fieldIndex(info->name);
    if (index < 0)
        return true;
    const dbase::Field& field = items.table().field(index);
    // An amount is no wider than the item field's own width (12), whatever room the table's
    // numeric field leaves: the amount boxes, the viewer and the reports are made for that.
    const int width =
        info->type == FieldType::Float ? std::min(field.length, info->width) : field.length;
    return fixedPointText(value, 0, field.decimals).size() <= width;
}

const EditorControlInfo& editorControlInfo(EditorControl control) {
    return kControls[size_t(control)];
}

const std::array<EditorControlInfo, kEditorControlCount>& editorControls() {
    return kControls;
}

// ---------------------------------------------------------------------------------------

QString DateBoxFormat::format(const QDate& date) const {
    if (!date.isValid())
        return {};
    QString out;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0)
            out += separator;
        if (order[i] == QLatin1Char('m'))
            out += QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
        else if (order[i] == QLatin1Char('d'))
            out += QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
        else
            out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    }
    return out;
}

DateBoxFormat dateBoxFormat(const DateFormat& current) {
    DateBoxFormat box;
    box.separator = current.separator.isNull() ? QLatin1Char('/') : current.separator;
    // The order of day, month and year comes from the pattern; anything unusual falls back
    // to month, day, year.
    int n = 0;
    for (const QString& part : current.pattern.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QChar kind = part.isEmpty() ? QChar() : part[0].toLower();
        if (n < 3 &&
            (kind == QLatin1Char('m') || kind == QLatin1Char('d') || kind == QLatin1Char('y')) &&
            std::find(box.order.begin(), box.order.begin() + n, kind) == box.order.begin() + n)
            box.order[size_t(n++)] = kind;
    }
    if (n != 3)
        box.order = {QLatin1Char('m'), QLatin1Char('d'), QLatin1Char('y')};

    const QString sepInMask = isMaskSpecial(box.separator) ? QStringLiteral("\\") + box.separator
                                                           : QString(box.separator);
    for (size_t i = 0; i < 3; ++i) {
        const int width = box.order[i] == QLatin1Char('y') ? 4 : 2;
        if (i > 0) {
            box.inputMask += sepInMask;
            box.blankText += box.separator;
        }
        // '0' lets a digit be left out while typing; the update checks the date as a whole.
        box.inputMask += QString(width, QLatin1Char('0'));
        box.blankText += QString(width, QLatin1Char(' '));
    }
    box.inputMask += QStringLiteral(";_");
    return box;
}

bool isBlankDateText(const QString& rawText) {
    const QString t = trimSpaces(rawText);
    if (t.isEmpty())
        return true;
    static const QString blanks[] = {QStringLiteral("/  /"), QStringLiteral("-  -"),
                                     QStringLiteral(".  .")};
    for (const QString& b : blanks)
        if (t == b)
            return true;
    // Any other separator in the same empty form.
    return t.size() == 4 && t[0] == t[3] && t[1] == QLatin1Char(' ') && t[2] == QLatin1Char(' ') &&
           !t[0].isDigit();
}

// ---------------------------------------------------------------------------------------

EditorValues loadEditorValues(const ItemTable& items, const DateBoxFormat& dates,
                              const NumberFormatter& numbers) {
    EditorValues v;
    for (const EditorControlInfo& c : kControls) {
        switch (c.kind) {
        case K::Edit:
        case K::Combo:
            if (c.control == C::Quantity) {
                const auto q = items.integer(c.fieldNumber);
                v[c.control] = q ? numbers.formatNumber(double(*q), 1, 0) : QString();
            } else if (c.control == C::Cost || c.control == C::Value || c.control == C::RepCost) {
                const auto a = items.floating(c.fieldNumber);
                v[c.control] = a ? numbers.formatMoney(*a, 1) : QString();
            } else {
                v[c.control] = items.text(c.fieldNumber);
            }
            break;
        case K::Date: {
            const auto d = items.date(c.fieldNumber);
            v[c.control] = d ? dates.format(*d) : dates.blankText;
            break;
        }
        case K::Check:
            v.warranty = items.text(c.fieldNumber) == QLatin1String("Yes");
            break;
        }
    }
    return v;
}

EditorValues clearedEditorValues(const DateBoxFormat& dates) {
    EditorValues v;
    v[C::Cost] = QStringLiteral("0");
    v[C::Value] = QStringLiteral("0");
    v[C::Quantity] = QStringLiteral("1");
    v[C::RepCost] = QStringLiteral("0");
    v[C::WarDate] = dates.blankText;
    v[C::PurchDate] = dates.blankText;
    v.warranty = false;
    return v;
}

// ---------------------------------------------------------------------------------------

void EntrySnapshot::take(const EditorValues& values) {
    m_values = values;
    for (const EditorControlInfo& c : kControls)
        if (c.snapshotLength > 0)
            m_values[c.control] = values[c.control].left(c.snapshotLength);
}

bool EntrySnapshot::changed(const EditorValues& values) const {
    for (C c : kChangeOrder) {
        if (c == C::WarDate) {
            // Warranty's check state sits between RepCost/Quantity and the dates.
            if (values.warranty != m_values.warranty)
                return true;
        }
        const EditorControlInfo& info = editorControlInfo(c);
        if (info.kind == K::Date) {
            if (trimSpaces(values[c]) != trimSpaces(m_values[c]))
                return true;
        } else if (values[c] != m_values[c]) {
            // A text longer than its snapshot never equals it, so such a change is never missed.
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------

const QString kInvalidWarDateMessage =
    QStringLiteral("Invalid warranty date specified.  Please correct.");
const QString kInvalidPurchDateMessage =
    QStringLiteral("Invalid purchase date specified.  Please correct.");
const QString kInvalidCostMessage = QStringLiteral("Invalid cost specified.  Please correct.");
const QString kInvalidValueMessage = QStringLiteral("Invalid value specified.  Please correct.");
const QString kInvalidRepCostMessage =
    QStringLiteral("Invalid replacement cost specified.  Please correct.");
const QString kInvalidQuantityMessage =
    QStringLiteral("Invalid quantity specified.  Please correct.");

std::variant<CheckedEntry, EntryProblem> checkEntry(const EditorValues& values,
                                                    const DateFormat& dateFormat,
                                                    const NumberFormatter& numbers,
                                                    const ItemTable& items, const QDate& today) {
    CheckedEntry entry;

    const auto date = [&](C control, std::optional<QDate>& out) {
        const QString t = trimSpaces(values[control]);
        if (isBlankDateText(t)) {
            out.reset();
            return true;
        }
        out = dateFormat.parse(t, today);
        return out.has_value();
    };
    if (!date(C::WarDate, entry.warDate))
        return EntryProblem{kInvalidWarDateMessage, 2, C::WarDate};
    if (!date(C::PurchDate, entry.purchDate))
        return EntryProblem{kInvalidPurchDateMessage, 2, C::PurchDate};

    bool ok = true;
    if (const auto v = checkedAmount(values[C::Cost], numbers, items, f::Cost, ok); ok)
        entry.cost = *v;
    else
        return EntryProblem{kInvalidCostMessage, 1, C::Cost};
    if (const auto v = checkedAmount(values[C::Value], numbers, items, f::Value, ok); ok)
        entry.value = *v;
    else
        return EntryProblem{kInvalidValueMessage, 1, C::Value};
    if (const auto v = checkedAmount(values[C::RepCost], numbers, items, f::RepCost, ok); ok)
        entry.repCost = *v;
    else
        return EntryProblem{kInvalidRepCostMessage, 1, C::RepCost};

    const QString quantity = trimSpaces(values[C::Quantity]);
    if (!quantity.isEmpty()) {
        const auto q = numbers.quantityInteger(quantity);
        if (!q || !fitsNumberField(items, f::Quantity, double(*q)))
            return EntryProblem{kInvalidQuantityMessage, 1, C::Quantity};
        entry.quantity = *q;
    }
    return entry;
}

std::optional<QString> storedNumberText(int fieldNumber, const QString& typed,
                                        const NumberFormatter& numbers, const ItemTable& items) {
    const ItemField* info = itemField(fieldNumber);
    if (!info || info->letter != 'N')
        return std::nullopt;
    const QString trimmed = trimSpaces(typed);
    if (trimmed.isEmpty())
        return QString();
    const bool quantity = info->type == FieldType::Integer;
    auto v = quantity ? numbers.quantityValue(trimmed) : numbers.moneyValue(trimmed);
    if (!v)
        return std::nullopt;
    if (quantity)
        *v = std::round(*v);
    if (!fitsNumberField(items, fieldNumber, *v))
        return std::nullopt;
    int decimals = quantity ? 0 : 2;
    if (items.isOpen())
        if (const int index = items.table().fieldIndex(info->name); index >= 0)
            decimals = items.table().field(index).decimals;
    return fixedPointText(*v, 0, decimals);
}

QString typedNumberText(int fieldNumber, const QString& stored, const NumberFormatter& numbers) {
    const ItemField* info = itemField(fieldNumber);
    const QString trimmed = trimSpaces(stored);
    const auto v = parseFloatText(trimmed);
    if (!info || info->letter != 'N' || !v)
        return stored;
    return info->type == FieldType::Integer ? numbers.formatNumber(*v, 1, 0)
                                            : numbers.formatMoney(*v, 1);
}

QString invalidNumberMessage(int fieldNumber) {
    switch (fieldNumber) {
    case f::Cost:
        return kInvalidCostMessage;
    case f::Value:
        return kInvalidValueMessage;
    case f::RepCost:
        return kInvalidRepCostMessage;
    default:
        return kInvalidQuantityMessage;
    }
}

int learnListValues(LookupLists& lists, const EditorValues& values) {
    int added = 0;
    for (C c : kListOrder)
        if (lists.addTypedValue(editorControlInfo(c).lookupList, trimSpaces(values[c])))
            ++added;
    return added;
}

std::uint32_t writeEntry(ItemTable& items, EditorMode mode, std::uint32_t recNo,
                         const EditorValues& values, const CheckedEntry& entry) {
    dbase::Table& table = items.table();
    // Nobody walks the table between finding the record and posting it.
    table.suspendUpdates();
    std::optional<EditorControl> writing;
    std::uint32_t written = 0;
    try {
        if (mode == EditorMode::New || mode == EditorMode::Copy || recNo == 0) {
            table.insert();
        } else {
            if (!items.goToRecord(recNo))
                throw dbase::DatabaseError(
                    QStringLiteral("Record %1 of %2 was deleted while it was being edited.")
                        .arg(recNo)
                        .arg(QDir::toNativeSeparators(items.paths().current))
                        .toStdString());
            table.edit();
        }
        for (const EditorControlInfo& c : kControls) {
            writing = c.control;
            switch (c.control) {
            case C::Quantity:
                items.setInteger(c.fieldNumber, entry.quantity);
                break;
            case C::Cost:
                items.setFloating(c.fieldNumber, entry.cost);
                break;
            case C::Value:
                items.setFloating(c.fieldNumber, entry.value);
                break;
            case C::RepCost:
                items.setFloating(c.fieldNumber, entry.repCost);
                break;
            case C::WarDate:
                items.setDate(c.fieldNumber, entry.warDate);
                break;
            case C::PurchDate:
                items.setDate(c.fieldNumber, entry.purchDate);
                break;
            case C::Warranty:
                items.setText(c.fieldNumber,
                              values.warranty ? QStringLiteral("Yes") : QStringLiteral("No"));
                break;
            default:
                items.setText(c.fieldNumber, trimSpaces(values[c.control]));
                break;
            }
        }
        writing.reset();
        table.post();
        written = table.recordNumber();
    } catch (const dbase::DatabaseError& e) {
        table.cancel();
        table.resumeUpdates();
        throw EntryRefused(e.what(), writing);
    } catch (...) {
        table.cancel();
        table.resumeUpdates();
        throw;
    }
    // The viewer may move the cursor as it hears of the change.
    table.resumeUpdates();
    return written;
}

// ---------------------------------------------------------------------------------------

QString leftMoneyBox(const QString& text, const NumberFormatter& numbers,
                     const std::function<bool(double)>& fits) {
    if (trimSpaces(text).isEmpty())
        return text;
    const auto v = numbers.moneyValue(text);
    return v && (!fits || fits(*v)) ? numbers.formatMoney(*v, 1) : text;
}

QString leftQuantityBox(const QString& text, const NumberFormatter& numbers,
                        const std::function<bool(double)>& fits) {
    if (trimSpaces(text).isEmpty())
        return text;
    const auto v = numbers.quantityValue(text);
    return v && (!fits || fits(std::round(*v))) ? numbers.formatNumber(*v, 1, 0) : text;
}

EditorTotals computeTotals(const EditorValues& values, const NumberFormatter& numbers) {
    const QString quantityText = trimSpaces(values[C::Quantity]);
    const qint64 q = quantityText.isEmpty() ? 0 : numbers.quantityInteger(quantityText).value_or(0);
    const auto total = [&](C control) {
        const QString t = trimSpaces(values[control]);
        const double a = t.isEmpty() ? 0.0 : numbers.moneyValue(t).value_or(0.0);
        return numbers.formatMoney(double(q) * a, 1) + QLatin1Char(' ');
    };
    EditorTotals totals;
    totals.cost = total(C::Cost);
    totals.repCost = total(C::RepCost);
    totals.value = total(C::Value);
    return totals;
}

// ---------------------------------------------------------------------------------------

std::optional<EditorControl> nextInEnterChain(EditorControl control) {
    constexpr size_t n = std::size(kEnterChain);
    for (size_t i = 0; i < n; ++i)
        if (kEnterChain[i] == control)
            return kEnterChain[(i + 1) % n];
    return std::nullopt;
}

QString itemCaptionLine(const QString& itemDisplayName, const QString& itemText) {
    return (itemDisplayName + QStringLiteral(": ")).left(22) + itemText;
}

// ---------------------------------------------------------------------------------------

const QString kPrintJobTitle = QStringLiteral("Tallywick Inventory 97");
const QString kPrintJobBusyMessage = QStringLiteral("Other print job currently in progress.");

QStringList printRecordLines(const EditorValues& values,
                             const std::array<QString, 22>& displayNames) {
    // Line order with the field whose display name heads it.
    static constexpr std::pair<C, int> kLines[] = {
        {C::Item, f::Item},           {C::Brand, f::Brand},       {C::Model, f::Model},
        {C::Serial, f::Serial},       {C::IDMarks, f::IDMarks},   {C::Comments, f::Descriptio},
        {C::Category, f::Category},   {C::Location, f::Location}, {C::TheOwner, f::Owner},
        {C::Cost, f::Cost},           {C::Value, f::Value},       {C::RepCost, f::RepCost},
        {C::Quantity, f::Quantity},   {C::WarDate, f::WarDate},   {C::WarNotes, f::WarNotes},
        {C::PurchDate, f::PurchDate}, {C::Bought, f::BoughtFrom}, {C::UserDef1, f::UserDef1},
        {C::UserDef2, f::UserDef2},   {C::UserDef3, f::UserDef3}, {C::UserDef4, f::UserDef4},
    };
    QStringList lines;
    for (const auto& [control, field] : kLines)
        lines << (displayNames[size_t(field - 1)] + QStringLiteral(": ")).left(22) +
                     values[control];
    const QString& warranty = displayNames[size_t(f::Warranty - 1)];
    lines << (values.warranty ? (warranty + QStringLiteral(": Yes")).left(25)
                              : (warranty + QStringLiteral(": No")).left(24));
    return lines;
}

int paintRecordCopies(QPainter& painter, const QStringList& lines, int copies,
                      const std::function<bool()>& newPage) {
    QPaintDevice* device = painter.device();
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    painter.setFont(font);
    const QFontMetrics metrics(painter.font(), device);
    const int h = int(
        std::lround(1.1 * metrics.size(Qt::TextSingleLine, QStringLiteral("ABCDEWjky")).height()));
    const int x = device->width() / 17;
    const int y0 = device->height() / 22;

    int pages = 0;
    for (int copy = 0; copy < std::max(1, copies); ++copy) {
        if (copy > 0 && !newPage())
            break;
        // Lines are placed by their top edge; drawText wants the baseline.
        for (int k = 0; k < lines.size() && k < kPrintLinesPerCopy; ++k)
            painter.drawText(x, y0 + k * h + metrics.ascent(), lines[k]);
        ++pages;
    }
    return pages;
}

namespace {
int g_printJobs = 0;
}

PrintJobGuard::PrintJobGuard() {
    ++g_printJobs;
}
PrintJobGuard::~PrintJobGuard() {
    --g_printJobs;
}
bool PrintJobGuard::active() {
    return g_printJobs > 0;
}
