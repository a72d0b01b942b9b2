#include "items/item_schema.h"

const ItemField* itemField(int number) {
    if (number < 1 || number > kItemFieldCount)
        return nullptr;
    return &kItemFields[size_t(number - 1)];
}

std::optional<int> itemFieldNumber(QStringView name) {
    for (const ItemField& f : kItemFields)
        if (name.compare(QLatin1StringView(f.name.data(), qsizetype(f.name.size())),
                         Qt::CaseInsensitive) == 0)
            return f.number;
    return std::nullopt;
}
