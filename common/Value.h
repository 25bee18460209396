#pragma once
// A variant value as database fields and control values deliver it:
// Empty, Null, numbers of several widths, text. Shared by the data layer,
// the value helpers and the keyed item collection.

#include <QString>
#include <cstdint>

namespace melodeck {

enum class VType : std::uint8_t {
    Empty,    // never assigned
    Null,     // database Null
    Integer,  // 16-bit signed
    Long,     // 32-bit signed
    Single,   // single-precision real
    Double,   // double-precision real
    Currency, // fixed-point money, held as a double here
    Date,     // held as a double (days), never produced by this program's tables
    String,
    Boolean,
    Byte,
    BigInt, // 64-bit signed (SQLite integers that do not fit 32 bits)
};

class Value {
public:
    Value() = default;
    static Value null() { return Value(VType::Null); }
    static Value integer(std::int16_t v) { return Value(VType::Integer, std::int64_t(v)); }
    static Value lng(std::int32_t v) { return Value(VType::Long, std::int64_t(v)); }
    static Value bigint(std::int64_t v) { return Value(VType::BigInt, v); }
    static Value single(float v) { return Value(VType::Single, double(v)); }
    static Value dbl(double v) { return Value(VType::Double, v); }
    static Value currency(double v) { return Value(VType::Currency, v); }
    static Value date(double v) { return Value(VType::Date, v); }
    static Value boolean(bool v) { return Value(VType::Boolean, std::int64_t(v ? -1 : 0)); }
    static Value byte(std::uint8_t v) { return Value(VType::Byte, std::int64_t(v)); }
    static Value string(QString v) {
        Value r(VType::String);
        r.s_ = std::move(v);
        return r;
    }

    VType type() const { return t_; }
    bool isNull() const { return t_ == VType::Null; }
    bool isEmpty() const { return t_ == VType::Empty; }
    bool isString() const { return t_ == VType::String; }
    bool isWholeNumber() const;
    bool isReal() const { return t_ == VType::Single || t_ == VType::Double; }
    bool isNumeric() const;

    std::int64_t asInt64() const { return i_; }
    double asDouble() const; // numbers only; 0 otherwise
    const QString& asString() const { return s_; }

    // The text form a value shows in a grid cell or gets from an implicit
    // conversion: Null and Empty give "", numbers their shortest decimal form,
    // Booleans "True"/"False".
    QString toText() const;

    bool operator==(const Value& o) const;

private:
    explicit Value(VType t) : t_(t) {}
    Value(VType t, std::int64_t i) : t_(t), i_(i) {}
    Value(VType t, double d) : t_(t), d_(d) {}

    VType t_ = VType::Empty;
    std::int64_t i_ = 0;
    double d_ = 0;
    QString s_;
};

// Plain decimal form of a number for SQL text and settings values:
// a point as decimal separator, no thousands separators, no exponent for
// ordinary magnitudes (123, 0, -3, 1.5).
QString NumberText(double v);

} // namespace melodeck
