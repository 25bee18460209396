#include "pickup/PickupSql.h"

#include "common/ModCommon.h"
#include "common/Value.h"

namespace melodeck::pickup {

QString KeyText(const QString& keyCellText) {
    return NumberText(ModCommon::LeadingNumber(keyCellText));
}

QString CountSql(const QString& pickupTable, const QString& keyField, const QString& keyText) {
    return QStringLiteral("SELECT COUNT(*) FROM ") + pickupTable + QStringLiteral(" WHERE ") +
           keyField + QStringLiteral(" = ") + keyText;
}

QString InsertSql(const QString& pickupTable, const QString& listTable, const QString& keyField,
                  const QString& keyText) {
    return QStringLiteral("INSERT INTO ") + pickupTable + QStringLiteral(" SELECT * FROM ") +
           listTable + QStringLiteral(" WHERE ") + keyField + QStringLiteral(" = ") + keyText;
}

QString DeleteSql(const QString& pickupTable, const QString& keyField, const QString& keyText) {
    return QStringLiteral("DELETE FROM ") + pickupTable + QStringLiteral(" WHERE ") + keyField +
           QStringLiteral(" = ") + keyText;
}

QString ClearSql(const QString& pickupTable) {
    return QStringLiteral("DELETE FROM ") + pickupTable;
}

bool PressTakesCell(bool fixedColumnCounts, std::int32_t row, std::int32_t col, std::int32_t rows) {
    if (row < 1 || col < 0)
        return false;
    if (!fixedColumnCounts && col < 1)
        return false;
    return rows >= 2;
}

Condition ConditionFor(std::int32_t col, const QString& cellText) {
    switch (col) {
    case SingerColumn:
        return Condition::Singer;
    case TitleColumn:
        return Condition::Title;
    case LyricStartColumn:
        return Condition::LyricStart;
    case HarmonyColumn:
        return cellText.isEmpty() ? Condition::NoHarmony : Condition::WithHarmony;
    default:
        return Condition::None;
    }
}

} // namespace melodeck::pickup
