#pragma once
// A list of small coded records, positions from 1, records held by shared
// reference.

#include "common/Value.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace melodeck {

class clsInf {
public:
    std::int32_t l01 = 0, l02 = 0, l03 = 0, l04 = 0, l05 = 0;
    QString s01, s02, s03, s04, s05;
    double db01 = 0, db02 = 0, db03 = 0, db04 = 0, db05 = 0;
};

class clsInfCol {
public:
    std::shared_ptr<clsInf> AddItem(std::int32_t alKey_in, const QString& asCap_in);
    void RemoveItem(std::int32_t alIndex_in, std::int32_t alCount_in);
    void RemoveAllItems();
    std::int32_t GetSize() const;
    // VbError::subscript for a position outside 1 to GetSize().
    std::shared_ptr<clsInf> GetItem(std::int32_t alIndex_in) const;
    std::int32_t IndexToCode(std::int32_t lIndex, std::int32_t lErrorCode) const;
    std::int32_t SearchItem(const Value& avItemData_in) const;

private:
    std::vector<std::shared_ptr<clsInf>> colItems;
};

} // namespace melodeck
