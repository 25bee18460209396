#include "common/Value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace melodeck {

bool Value::isWholeNumber() const {
    switch (t_) {
    case VType::Integer:
    case VType::Long:
    case VType::BigInt:
    case VType::Byte:
        return true;
    default:
        return false;
    }
}

bool Value::isNumeric() const {
    switch (t_) {
    case VType::Integer:
    case VType::Long:
    case VType::BigInt:
    case VType::Byte:
    case VType::Single:
    case VType::Double:
    case VType::Currency:
    case VType::Date:
    case VType::Boolean:
        return true;
    default:
        return false;
    }
}

double Value::asDouble() const {
    switch (t_) {
    case VType::Integer:
    case VType::Long:
    case VType::BigInt:
    case VType::Byte:
    case VType::Boolean:
        return double(i_);
    case VType::Single:
    case VType::Double:
    case VType::Currency:
    case VType::Date:
        return d_;
    default:
        return 0;
    }
}

QString Value::toText() const {
    switch (t_) {
    case VType::Empty:
    case VType::Null:
        return {};
    case VType::String:
        return s_;
    case VType::Boolean:
        return i_ ? QStringLiteral("True") : QStringLiteral("False");
    case VType::Integer:
    case VType::Long:
    case VType::BigInt:
    case VType::Byte:
        return QString::number(i_);
    case VType::Single:
        return NumberText(double(float(d_)));
    default:
        return NumberText(d_);
    }
}

bool Value::operator==(const Value& o) const {
    if (t_ != o.t_)
        return false;
    if (t_ == VType::String)
        return s_ == o.s_;
    if (isWholeNumber() || t_ == VType::Boolean)
        return i_ == o.i_;
    return d_ == o.d_;
}

QString NumberText(double v) {
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (v == 0)
        return QStringLiteral("0"); // also for -0
    if (v == std::trunc(v) && std::fabs(v) < 1e15)
        return QString::number(static_cast<long long>(v));
    // Shortest text that reads back as the same double, without an exponent
    // for ordinary magnitudes.
    char buf[64];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    QString s = QString::fromLatin1(buf);
    if (!s.contains(QLatin1Char('e')))
        return s;
    const double a = std::fabs(v);
    if (a >= 1e-15 && a < 1e15) {
        // Re-print in fixed notation with enough decimals, then trim zeros.
        std::snprintf(buf, sizeof buf, "%.17f", v);
        s = QString::fromLatin1(buf);
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
        // Keep only as many digits as are needed to read back the same value.
        for (qsizetype keep = s.indexOf(QLatin1Char('.')) + 1; keep <= s.size(); ++keep) {
            const QString t = s.left(keep);
            if (t.toDouble() == v)
                return t;
        }
    }
    return s; // keep the exponent for extreme magnitudes
}

} // namespace melodeck
