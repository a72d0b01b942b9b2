#include "items/sort_string.h"

#include "items/item_schema.h"

QString BuildSortString(const std::array<int, 4>& sortKeys) {
    int used = 0;
    for (int key : sortKeys)
        if (key > 0)
            ++used;
    const int width = used > 0 ? 80 / used : 0;

    QString expr;
    for (int key : sortKeys) {
        const ItemField* field = itemField(key);
        if (!field)
            continue; // a number no field has adds nothing (it still counts above)
        const QString name = field->qName();
        switch (field->type) {
        case FieldType::Character:
            expr += QStringLiteral("Upper(Left(%1,%2))+").arg(name).arg(width);
            break;
        case FieldType::Integer:
            expr += QStringLiteral("STR(%1,12,0)+").arg(name);
            break;
        case FieldType::Float:
            expr += QStringLiteral("STR(%1,12,2)+").arg(name);
            break;
        case FieldType::Date:
            expr += QStringLiteral("DTOS(%1)+").arg(name);
            break;
        }
    }
    expr.chop(1);
    return expr;
}
