#include "app/Settings.h"

#include "common/ModCommon.h"
#include "common/VbError.h"
#include "store/Database.h"

#include <algorithm>
#include <cmath>

namespace melodeck::settings {

Condition ParseCondition(const QString& value) {
    QString rest = value;
    const bool remove = true;
    const QString flag = ModCommon::GetToken(rest, QStringLiteral(","), remove);
    Condition c;
    c.check = ModCommon::LeadingNumber(flag) == 0 ? 0 : 1;
    c.text = rest;
    return c;
}

QString FormatCondition(int check, const QString& text) {
    return (check == 1 ? QStringLiteral("1,") : QStringLiteral("0,")) + text;
}

int HamoriIndex(const QString& value) {
    const double n = ModCommon::LeadingNumber(value);
    if (n == 0)
        return 0;
    if (n == 1)
        return 1;
    return 2;
}

QString FlagText(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

void RequireSeparateTables(Database& db, const QString& listTable, const QString& pickupTable) {
    const QString select = QStringLiteral("SELECT * FROM ");
    const auto list = db.TablesRead(select + listTable);
    for (const Database::Table& t : db.TablesRead(select + pickupTable))
        if (std::find(list.begin(), list.end(), t) != list.end())
            throw VbError(VbError::Database,
                          QStringLiteral("曲のテーブル '%1' とピックアップリストのテーブル '%2' は"
                                         "同じテーブル '%3' です。設定ファイルの [MDB] の "
                                         "ListTableName と PickupTableName には別々のテーブルを"
                                         "指定してください。")
                              .arg(listTable, pickupTable, t.name));
}

std::optional<std::int32_t> StoredLong(const QString& text) {
    try {
        return ModCommon::RoundToLong(ModCommon::LeadingNumber(text));
    } catch (const VbError&) {
        return std::nullopt;
    }
}

std::optional<std::pair<std::int32_t, std::int32_t>>
RestoredPosition(const StoredPosition& stored, double screenWidthPx, double screenHeightPx,
                 double windowWidthPx, double windowHeightPx) {
    const float storedW = float(ModCommon::LeadingNumber(stored.width));
    const float storedH = float(ModCommon::LeadingNumber(stored.height));
    // The current size in whole pixels.
    const float screenW = float(std::floor(screenWidthPx));
    const float screenH = float(std::floor(screenHeightPx));
    if (!(storedW == screenW && storedH == screenH))
        return std::nullopt;
    const auto l = StoredLong(stored.left);
    const auto t = StoredLong(stored.top);
    if (!l || !t)
        return std::nullopt;
    const double L = *l, T = *t;
    if (screenWidthPx > windowWidthPx + L && screenHeightPx > windowHeightPx + T && L > 0 && T > 0)
        return std::make_pair(*l, *t);
    return std::nullopt;
}

} // namespace melodeck::settings
