#include "common/clsInfCol.h"

#include "common/VbError.h"

namespace melodeck {

std::shared_ptr<clsInf> clsInfCol::AddItem(std::int32_t alKey_in, const QString& asCap_in) {
    auto item = std::make_shared<clsInf>();
    item->l01 = alKey_in;
    item->s01 = asCap_in;
    colItems.push_back(item);
    return item;
}

void clsInfCol::RemoveItem(std::int32_t alIndex_in, std::int32_t alCount_in) {
    std::int32_t remaining = alCount_in;
    while (remaining > 0 && alIndex_in >= 1 && alIndex_in <= GetSize()) {
        colItems.erase(colItems.begin() + (alIndex_in - 1));
        --remaining;
    }
}

void clsInfCol::RemoveAllItems() {
    colItems.clear();
}

std::int32_t clsInfCol::GetSize() const {
    return std::int32_t(colItems.size());
}

std::shared_ptr<clsInf> clsInfCol::GetItem(std::int32_t alIndex_in) const {
    if (alIndex_in < 1 || alIndex_in > GetSize())
        throw VbError::subscript();
    return colItems[size_t(alIndex_in - 1)];
}

std::int32_t clsInfCol::IndexToCode(std::int32_t lIndex, std::int32_t lErrorCode) const {
    if (lIndex < 0 || lIndex >= GetSize())
        return lErrorCode;
    return colItems[size_t(lIndex)]->l01;
}

std::int32_t clsInfCol::SearchItem(const Value& avItemData_in) const {
    const VType type = avItemData_in.type();
    for (size_t i = 0; i < colItems.size(); ++i) {
        const clsInf& item = *colItems[i];
        bool match = false;
        switch (type) {
        case VType::String:
            match = item.s01 == avItemData_in.asString();
            break;
        case VType::Integer:
        case VType::Long:
            match = item.l01 == avItemData_in.asInt64();
            break;
        case VType::Single:
        case VType::Double:
            match = item.db01 == avItemData_in.asDouble();
            break;
        default:
            return -1; // other kinds of value match nothing
        }
        if (match)
            return std::int32_t(i + 1);
    }
    return -1;
}

} // namespace melodeck
