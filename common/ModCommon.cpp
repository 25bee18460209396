#include "common/ModCommon.h"

#include "common/Cp932.h"
#include "common/Seams.h"
#include "common/VbError.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace melodeck::ModCommon {

// ---- numbers -------------------------------------------------------------

namespace {

bool isAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int hexDigit(char16_t c) {
    if (isAsciiDigit(c))
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Walks a text, optionally stepping over the blanks the lenient reader
// ignores wherever they are.
class Cursor {
public:
    Cursor(const QString& text, bool skipBlanks)
        : p_(text.constData()), end_(p_ + text.size()), skip_(skipBlanks) {}
    char16_t peek() {
        if (skip_)
            while (p_ != end_ && (*p_ == u' ' || *p_ == u'\t' || *p_ == u'\n'))
                ++p_;
        return p_ == end_ ? u'\0' : p_->unicode();
    }
    void next() { ++p_; }
    bool atEnd() { return peek() == u'\0' && p_ == end_; }

private:
    const QChar* p_;
    const QChar* end_;
    bool skip_;
};

// The value of &H / &O digits as the old runtime types it: a value that fits
// 16 bits is a 16-bit integer (&HFFFF is -1), one that fits 32 bits a 32-bit
// integer (&HFFFFFFFF is -1). Larger values keep their unsigned magnitude.
double radixValue(double magnitude) {
    if (magnitude <= 0xFFFF)
        return magnitude >= 0x8000 ? magnitude - 0x10000 : magnitude;
    if (magnitude <= 4294967295.0)
        return magnitude >= 2147483648.0 ? magnitude - 4294967296.0 : magnitude;
    return magnitude;
}

struct Parsed {
    bool ok = false;    // a number was read
    bool loose = false; // an exponent letter without digits ("2e")
    double value = 0;
};

// Reads &H / &O digits after the "&"; the cursor stands on the H or O.
Parsed readRadix(Cursor& c) {
    Parsed r;
    const char16_t kind = c.peek();
    int base;
    if (kind == u'h' || kind == u'H')
        base = 16;
    else if (kind == u'o' || kind == u'O')
        base = 8;
    else
        return r;
    c.next();
    double magnitude = 0;
    bool any = false;
    for (;;) {
        const int d = hexDigit(c.peek());
        if (d < 0 || d >= base)
            break;
        magnitude = magnitude * base + d;
        any = true;
        c.next();
    }
    if (!any)
        return r;
    r.ok = true;
    r.value = radixValue(magnitude);
    return r;
}

// Steps over a sign at the cursor; whether it was a minus.
bool readSign(Cursor& c) {
    const char16_t sign = c.peek();
    if (sign != u'+' && sign != u'-')
        return false;
    c.next();
    return sign == u'-';
}

// Appends the ASCII digits at the cursor to out; whether there were any.
bool readDigits(Cursor& c, std::string& out) {
    bool any = false;
    while (isAsciiDigit(c.peek())) {
        out += char(c.peek());
        any = true;
        c.next();
    }
    return any;
}

// Reads the exponent after its letter (E or D): sign and digits. loose: the
// letter stands without digits ("2e").
long long readExponent(Cursor& c, bool& loose) {
    const bool negative = readSign(c);
    loose = !isAsciiDigit(c.peek());
    long long exponent = 0;
    while (isAsciiDigit(c.peek())) {
        if (exponent < 1000000) // beyond this every value is 0 or infinite anyway
            exponent = exponent * 10 + (c.peek() - u'0');
        c.next();
    }
    return negative ? -exponent : exponent;
}

// The value of a number beyond the range of a double: infinite or 0, by the
// position of the first significant digit of the mantissa.
double outOfRange(const std::string& mantissa, long long exponent) {
    bool seenPoint = false, nonZero = false;
    int fracZeros = 0;
    int significantInt = 0;
    for (char ch : mantissa) {
        if (ch == '.') {
            seenPoint = true;
        } else if (!nonZero && ch == '0') {
            if (seenPoint)
                ++fracZeros;
        } else {
            nonZero = true;
            if (!seenPoint)
                ++significantInt;
        }
    }
    const long long firstDigit = significantInt > 0 ? significantInt - 1 : -(fracZeros + 1);
    return (nonZero && firstDigit + exponent > 0) ? std::numeric_limits<double>::infinity() : 0;
}

// Reads sign, digits, point, digits, exponent. The digits are gathered into
// plain ASCII and converted by from_chars, which rounds correctly and does
// not depend on the process locale.
Parsed readDecimal(Cursor& c) {
    Parsed r;
    const bool negative = readSign(c);
    std::string mantissa;
    bool any = readDigits(c, mantissa);
    if (c.peek() == u'.') {
        c.next();
        mantissa += '.';
        any = readDigits(c, mantissa) || any;
    }
    if (!any)
        return r;
    long long exponent = 0;
    const char16_t e = c.peek();
    if (e == u'e' || e == u'E' || e == u'd' || e == u'D') {
        c.next();
        exponent = readExponent(c, r.loose);
    }
    const std::string text = mantissa + 'e' + std::to_string(exponent);
    double v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec == std::errc::result_out_of_range)
        v = outOfRange(mantissa, exponent);
    r.ok = true;
    r.value = negative ? -v : v;
    if (r.value == 0)
        r.value = 0; // no negative zero
    return r;
}

Parsed readNumber(Cursor& c) {
    if (c.peek() == u'&') {
        c.next();
        return readRadix(c);
    }
    return readDecimal(c);
}

bool isOuterBlank(QChar ch) {
    return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n';
}

} // namespace

double LeadingNumber(const QString& text) {
    Cursor c(text, true);
    return readNumber(c).value;
}

double RoundHalfEven(double v) {
    if (!std::isfinite(v))
        return v;
    const double f = std::floor(v);
    const double d = v - f;
    double r;
    if (d > 0.5)
        r = f + 1;
    else if (d < 0.5)
        r = f;
    else
        r = std::fmod(f, 2.0) == 0 ? f : f + 1;
    return r == 0 ? 0 : r;
}

std::int32_t RoundToLong(double v) {
    if (std::isnan(v))
        throw VbError::overflow();
    const double r = RoundHalfEven(v);
    if (r < -2147483648.0 || r > 2147483647.0)
        throw VbError::overflow();
    return std::int32_t(r);
}

std::int32_t StrictLong(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isOuterBlank(text[begin]))
        ++begin;
    while (end > begin && isOuterBlank(text[end - 1]))
        --end;
    if (begin == end)
        throw VbError::typeMismatch();
    const QString body = text.mid(begin, end - begin);
    Cursor c(body, false);
    const Parsed p = readNumber(c);
    if (!p.ok || p.loose || !c.atEnd())
        throw VbError::typeMismatch();
    return RoundToLong(p.value);
}

// ---- value helpers -------------------------------------------------------

double NullToZero(const Value& v) {
    if (v.isNull())
        return 0;
    // A finite double-width number reads back from its text form unchanged,
    // so the text detour is only needed for the others: a single reads as its
    // short text (0.1, not 0.100000001...), a Boolean as "True" -> 0.
    const VType t = v.type();
    if (v.isNumeric() && t != VType::Boolean && t != VType::Single && std::isfinite(v.asDouble()))
        return v.asDouble() == 0 ? 0 : v.asDouble();
    return LeadingNumber(v.toText());
}

QString NullToStr(const Value& v) {
    if (v.isNull())
        return {};
    return TrimSpaces(v.toText());
}

QString DoubleChar(const QString& text, QChar ch) {
    if (!text.contains(ch))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        out.append(c);
        if (c == ch)
            out.append(c);
    }
    return out;
}

QString GetToken(QString& text, const QString& delimiters, const bool& remove) {
    QStringView rest = text;
    const QString token = TakeToken(rest, delimiters).toString();
    if (remove)
        text = rest.toString();
    return token;
}

QStringView TakeToken(QStringView& text, QStringView delimiters) {
    for (QChar d : delimiters) {
        const qsizetype pos = text.indexOf(d);
        if (pos >= 0) {
            const QStringView token = text.left(pos);
            text = text.mid(pos + 1);
            return token;
        }
    }
    return std::exchange(text, {});
}

QString AddLastChar(const QString& text, QChar ch) {
    if (!text.isEmpty() && text.back() == ch)
        return text;
    return text + ch;
}

QString TrimNull(const QString& text) {
    qsizetype n = text.size();
    while (n > 0 && (text[n - 1] == u' ' || text[n - 1] == u'\0'))
        --n;
    return text.left(n);
}

// ---- code page 932 measure ------------------------------------------------

std::int32_t ByteLen(const QString& text) {
    return cp932::byteLength(text);
}

QString ByteLeft(const QString& text, std::int32_t n) {
    if (n <= 0)
        return {};
    return cp932::leftBytes(text, n);
}

QString WarningText(const QString& message) {
    if (ByteLen(message) >= 60)
        return message;
    return ByteLeft(message + QString(60, u' '), 60);
}

QString WarningTitle() {
    return QStringLiteral("メロデッキ配信曲検索ツール");
}

void ShowWarning(const QString& message) {
    const auto& warning = seams().warning;
    if (warning)
        warning(WarningTitle(), WarningText(message));
}

// ---- program location and settings file -----------------------------------

QString GetIniPath(const ProgramLocation& location) {
    return location.file(QStringLiteral("Melodeck.ini"));
}

profile::File OpenIni(const ProgramLocation& location) {
    return profile::File(GetIniPath(location));
}

QString ReadIni(const profile::File& ini, const QString& section, const QString& key) {
    return TrimNull(ini.GetString(section, key, QString()));
}

void WriteIni(profile::File& ini, const QString& section, const QString& key,
              const QString& value) {
    ini.WriteString(section, key, value);
}

} // namespace melodeck::ModCommon
