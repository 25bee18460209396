#include "common/Value.h"

#include <charconv>
#include <cmath>

namespace melodeck {

namespace {
template <typename T> QString shortestText(T v);
} // namespace

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
    if (isWholeNumber())
        return true;
    switch (t_) {
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
        return shortestText(float(d_)); // 0.1 as a single shows as 0.1
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

namespace {

// Shortest text that reads back as the same number, in plain decimal for
// every magnitude a person would write that way and in exponent form only
// for the extremes (which SQL and the number reader still accept).
template <typename T> QString shortestText(T v) {
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (v == 0)
        return QStringLiteral("0"); // also for -0
    const T a = std::fabs(v);
    const bool plain = a >= T(1e-15) && a < T(1e21);
    char buf[512];
    const auto res = std::to_chars(
        buf, buf + sizeof buf, v, plain ? std::chars_format::fixed : std::chars_format::scientific);
    return QString::fromLatin1(buf, res.ptr - buf);
}

} // namespace

QString NumberText(double v) {
    return shortestText(v);
}

} // namespace melodeck
