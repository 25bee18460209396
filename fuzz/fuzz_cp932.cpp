// Code page 932 bytes of any kind decode without fail, and the byte measure
// agrees with the encoder on any text, lone surrogates included: ByteLen is
// the encoded length, ByteLeft the longest leading part within the limit,
// never half a character.
//
// Input: byte 0 is the ByteLeft limit; the rest is read both as code page 932
// bytes and as UTF-16 code units.
#include "common/Cp932.h"
#include "common/ModCommon.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

using namespace melodeck;

namespace {

[[noreturn]] void fault(const char* what, const QString& text) {
    std::fprintf(stderr, "fuzz_cp932: %s\n", what);
    for (QChar c : text)
        std::fprintf(stderr, "%04X ", c.unicode());
    std::fprintf(stderr, "\n");
    std::abort();
}

void checkMeasure(const QString& s, int limit) {
    const int len = ModCommon::ByteLen(s);
    if (len != cp932::encode(s).size())
        fault("ByteLen differs from the encoded length", s);

    const QString left = ModCommon::ByteLeft(s, limit);
    if (!s.startsWith(left))
        fault("ByteLeft is not a leading part", s);
    const int leftLen = ModCommon::ByteLen(left);
    if (leftLen > std::max(limit, 0))
        fault("ByteLeft exceeds the limit", s);
    if (left.size() < s.size()) {
        if (!left.isEmpty() && left.back().isHighSurrogate() && s[left.size()].isLowSurrogate())
            fault("ByteLeft splits a surrogate pair", s);
        // One more character would not have fitted.
        qsizetype next = left.size() + 1;
        if (s[left.size()].isHighSurrogate() && next < s.size() && s[next].isLowSurrogate())
            ++next;
        if (limit > 0 && ModCommon::ByteLen(s.left(next)) <= limit)
            fault("ByteLeft stops short", s);
    } else if (leftLen != len) {
        fault("ByteLeft of a short text changes it", s);
    }

    const QString warning = ModCommon::WarningText(s);
    if (len >= 60 ? warning != s : ModCommon::ByteLen(warning) != 60 || !warning.startsWith(s))
        fault("warning text not padded to 60 bytes", s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int limit = int(data[0]) - 8; // a few non-positive limits too
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const QString decoded = cp932::decode(bytes);
    if (decoded.size() > qsizetype(bytes.size()))
        fault("more characters than bytes", decoded);
    for (QChar c : decoded)
        if (c.isSurrogate())
            fault("decoding made a surrogate", decoded);
    // Encoding and decoding again changes nothing but the characters the code
    // page lacks, which the decoder only makes for bytes it could not read.
    QString expected = decoded;
    expected.replace(QChar(0xFFFD), QLatin1Char('?'));
    if (cp932::decode(cp932::encode(decoded)) != expected)
        fault("decoded text does not survive encoding", decoded);
    checkMeasure(decoded, limit);

    QString units;
    for (size_t i = 1; i + 1 < size; i += 2)
        units += QChar(char16_t(data[i] | data[i + 1] << 8));
    checkMeasure(units, limit);
    return 0;
}
