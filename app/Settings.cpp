#include "app/Settings.h"

#include "common/ModCommon.h"
#include "common/VbError.h"

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

std::int64_t PixelsFromTwips(double twips, int twipsPerPixel) {
    return std::int64_t(std::floor(twips / twipsPerPixel));
}

namespace {

// A stored edge rounded to 32 bits; an edge that cannot be (an edited file
// holding 1e308) means the position is not restored rather than a failure.
std::optional<std::int32_t> Edge(const QString& text) {
    try {
        return ModCommon::RoundToLong(ModCommon::LeadingNumber(text));
    } catch (const VbError&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<std::pair<std::int32_t, std::int32_t>>
RestoredPosition(const StoredPosition& stored, double screenWidthPx, double screenHeightPx,
                 double windowWidthPx, double windowHeightPx) {
    const float storedW = float(ModCommon::LeadingNumber(stored.width));
    const float storedH = float(ModCommon::LeadingNumber(stored.height));
    // The current size in whole pixels, as the screen's twips divided back.
    const float screenW = float(std::floor(screenWidthPx * kTwipsPerPixel / kTwipsPerPixel));
    const float screenH = float(std::floor(screenHeightPx * kTwipsPerPixel / kTwipsPerPixel));
    if (!(storedW == screenW && storedH == screenH))
        return std::nullopt;
    const auto l = Edge(stored.left);
    const auto t = Edge(stored.top);
    if (!l || !t)
        return std::nullopt;
    const double L = *l, T = *t;
    if (screenWidthPx > windowWidthPx + L && screenHeightPx > windowHeightPx + T && L > 0 && T > 0)
        return std::make_pair(*l, *t);
    return std::nullopt;
}

} // namespace melodeck::settings
