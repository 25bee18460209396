// Numbers read from any text: the lenient reader never fails and never gives
// NaN or a negative zero; the strict conversion either refuses with its own
// error or agrees with the lenient reader; every number written in the plain
// form reads back unchanged; the settings rules built on them never fail.
//
// Input: byte 0 chooses how the rest is taken (UTF-8, UTF-16, or 8 bytes of a
// double followed by text).
#include "app/Settings.h"
#include "common/ModCommon.h"
#include "common/Value.h"
#include "common/VbError.h"

#include <QString>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace melodeck;

namespace {

[[noreturn]] void fault(const char* what, const QString& text) {
    std::fprintf(stderr, "fuzz_number: %s\n<%s>\n", what, text.toUtf8().constData());
    std::abort();
}

void checkText(const QString& t) {
    const double v = ModCommon::LeadingNumber(t);
    if (std::isnan(v))
        fault("leading number is NaN", t);
    if (v == 0 && std::signbit(v))
        fault("leading number is a negative zero", t);

    try {
        const std::int32_t strict = ModCommon::StrictLong(t);
        // The lenient reader skips the same blanks, except a carriage return,
        // which only the strict conversion takes as an outer blank.
        if (!t.contains(u'\r') && strict != ModCommon::RoundToLong(v))
            fault("strict and lenient readings differ", t);
    } catch (const VbError& e) {
        if (e.number() != VbError::TypeMismatch && e.number() != VbError::Overflow)
            fault("strict conversion raised an unexpected error", t);
    }

    (void)settings::ParseCondition(t);
    (void)settings::HamoriIndex(t);
    settings::StoredPosition stored{t, t, t, t};
    (void)settings::RestoredPosition(stored, v, v, 100, 100);
    stored = {QStringLiteral("1280"), QStringLiteral("1024"), t, t};
    if (const auto at = settings::RestoredPosition(stored, 1280, 1024, 100, 100))
        if (at->first <= 0 || at->first + 100 >= 1280 || at->second <= 0 || at->second >= 924)
            fault("position restored outside the screen", t);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 0) {
        checkText(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    } else if (mode == 1) {
        QString units;
        for (size_t i = 0; i + 1 < size; i += 2)
            units += QChar(char16_t(data[i] | data[i + 1] << 8));
        checkText(units);
    } else if (size >= 8) {
        double d;
        std::memcpy(&d, data, sizeof d);
        if (!std::isfinite(d))
            return 0;
        const QString text = NumberText(d);
        const double back = ModCommon::LeadingNumber(text);
        if (back != d)
            fault("plain number text does not read back", text);
        if (text.contains(u',') || text.contains(u' '))
            fault("plain number text has separators", text);
        checkText(text +
                  QString::fromUtf8(reinterpret_cast<const char*>(data + 8), qsizetype(size - 8)));
    }
    return 0;
}
