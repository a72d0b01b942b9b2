#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string_view>

// The item table: 22 fields in table order. The field number (1-22) is how settings, sort
// keys, the viewer and the export order name a field.
enum class FieldType { Character = 1, Integer = 2, Float = 3, Date = 4 };

struct ItemField {
    int number;
    std::string_view name;  // dBase field name; compared without regard to case
    std::string_view label; // default display name
    FieldType type;
    char letter; // 'C', 'N' or 'D': for code that only tells text, numbers and dates apart
    int width;   // dBase width of character fields; the editor's length limit for all

    int typeCode() const { return static_cast<int>(type); }
    QString qName() const { return QString::fromLatin1(name.data(), qsizetype(name.size())); }
    QString qLabel() const { return QString::fromLatin1(label.data(), qsizetype(label.size())); }
};

namespace item_field {
// Field numbers used by name in the program.
enum : int {
    Item = 1,
    Brand,
    Model,
    Serial,
    Location,
    Descriptio,
    BoughtFrom,
    IDMarks,
    Quantity,
    PurchDate,
    Cost,
    Category,
    RepCost,
    Warranty,
    WarDate,
    WarNotes,
    Owner,
    Value,
    UserDef1,
    UserDef2,
    UserDef3,
    UserDef4
};
} // namespace item_field

inline constexpr int kItemFieldCount = 22;

inline constexpr std::array<ItemField, kItemFieldCount> kItemFields = {{
    {1, "Item", "Item", FieldType::Character, 'C', 40},
    {2, "Brand", "Brand", FieldType::Character, 'C', 20},
    {3, "Model", "Model", FieldType::Character, 'C', 20},
    {4, "Serial", "Serial Number", FieldType::Character, 'C', 20},
    {5, "Location", "Location", FieldType::Character, 'C', 30},
    {6, "Descriptio", "Description", FieldType::Character, 'C', 110},
    {7, "BoughtFrom", "Purchased From", FieldType::Character, 'C', 40},
    {8, "IDMarks", "ID Marks", FieldType::Character, 'C', 60},
    {9, "Quantity", "Quantity", FieldType::Integer, 'N', 4},
    {10, "PurchDate", "Purchase Date", FieldType::Date, 'D', 8},
    {11, "Cost", "Cost", FieldType::Float, 'N', 12},
    {12, "Category", "Category", FieldType::Character, 'C', 20},
    {13, "RepCost", "Replacement Cost", FieldType::Float, 'N', 12},
    {14, "Warranty", "Warranty", FieldType::Character, 'C', 3},
    {15, "WarDate", "Warranty Date", FieldType::Date, 'D', 8},
    {16, "WarNotes", "Warranty Notes", FieldType::Character, 'C', 30},
    {17, "Owner", "Owner", FieldType::Character, 'C', 30},
    {18, "Value", "Value", FieldType::Float, 'N', 12},
    {19, "UserDef1", "User Defined 1", FieldType::Character, 'C', 40},
    {20, "UserDef2", "User Defined 2", FieldType::Character, 'C', 40},
    {21, "UserDef3", "User Defined 3", FieldType::Character, 'C', 40},
    {22, "UserDef4", "User Defined 4", FieldType::Character, 'C', 40},
}};

// nullptr outside 1-22.
const ItemField* itemField(int number);
// The number of the field with that dBase name (any letter case), if there is one.
std::optional<int> itemFieldNumber(QStringView name);
