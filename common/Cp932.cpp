#include "common/Cp932.h"

#include <QChar>

#include <cstdint>
#include <memory>

namespace melodeck::cp932 {

namespace {

#include "common/Cp932Tables.inc"

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kLeadMark = 1;

bool isTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// The generated rows are indexed by lead byte here, so decoding is one lookup.
struct DecodeTable {
    const char16_t* rows[256] = {};

    DecodeTable() {
        int row = 0;
        for (int b = 0x80; b < 0x100; ++b)
            if (kSingle[b - 0x80] == kLeadMark)
                rows[b] = kPairs[row++];
    }
    char16_t pair(unsigned char lead, unsigned char trail) const {
        return trail >= 0x40 && trail < 0x40 + kTrailCount ? rows[lead][trail - 0x40] : 0;
    }
};

const DecodeTable& decodeTable() {
    static const DecodeTable table;
    return table;
}

// Encoded form of every BMP code point: 0 when the code page lacks it,
// below 0x100 a single byte, otherwise the byte pair.
struct EncodeTable {
    std::unique_ptr<std::uint16_t[]> codes{new std::uint16_t[65536]()};

    EncodeTable() {
        for (int c = 0; c < 0x80; ++c)
            codes[size_t(c)] = std::uint16_t(c);
        // Decoding inverted, the first byte sequence of a character winning...
        for (int b = 0x80; b < 0x100; ++b) {
            const char16_t c = kSingle[b - 0x80];
            if (c > kLeadMark && codes[c] == 0)
                codes[c] = std::uint16_t(b);
        }
        const DecodeTable& dec = decodeTable();
        for (int lead = 0x80; lead < 0x100; ++lead) {
            if (!dec.rows[lead])
                continue;
            for (int t = 0; t < kTrailCount; ++t) {
                const char16_t c = dec.rows[lead][t];
                if (c != 0 && codes[c] == 0)
                    codes[c] = std::uint16_t(lead << 8 | (0x40 + t));
            }
        }
        // ...then where the converter writes another sequence or none.
        for (const EncodeOverride& o : kEncodeOverrides)
            codes[o.ch] = o.code;
    }
};

constexpr std::uint32_t kSingleFlag = 0x10000;
// Marks a character the code page lacks (written as "?").
constexpr std::uint32_t kMissingFlag = 0x20000;
constexpr std::uint32_t kQuestion = kMissingFlag | kSingleFlag | '?';

std::uint32_t lookupEncoded(char16_t c) {
    static const EncodeTable table;
    if (QChar::isSurrogate(c))
        return kQuestion;
    const std::uint16_t code = table.codes[c];
    if (code == 0)
        return kQuestion; // not in the code page: one "?", as Windows writes it
    return code < 0x100 ? kSingleFlag | code : code;
}

} // namespace

QString decode(std::string_view bytes) {
    const DecodeTable& table = decodeTable();
    QString out(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    qsizetype n = 0;
    const size_t size = bytes.size();
    for (size_t i = 0; i < size; ++i) {
        const auto b = std::uint8_t(bytes[i]);
        if (b < 0x80) {
            dst[n++] = QChar(char16_t(b));
            continue;
        }
        const char16_t s = kSingle[b - 0x80];
        if (s > kLeadMark) {
            dst[n++] = QChar(s);
        } else if (s == kLeadMark && i + 1 < size && isTrailByte(std::uint8_t(bytes[i + 1]))) {
            // A lead byte with a proper trail byte is one character even when
            // the pair is unassigned, so the trail is not misread as ASCII.
            const char16_t c = table.pair(b, std::uint8_t(bytes[i + 1]));
            dst[n++] = QChar(c != 0 ? c : kReplacement);
            ++i;
        } else {
            // A stray byte, or a lead byte whose follower cannot be a trail
            // byte: only this byte is lost, the follower is read normally.
            dst[n++] = QChar(kReplacement);
        }
    }
    out.truncate(n);
    return out;
}

QByteArray encode(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 2);
    const qsizetype size = text.size();
    const QChar* p = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size &&
            QChar::isLowSurrogate(p[i + 1].unicode())) {
            out.append('?'); // no character outside the BMP is in the code page
            ++i;
            continue;
        }
        const std::uint32_t v = lookupEncoded(c);
        if (v & kSingleFlag) {
            out.append(char(v & 0xFF));
        } else {
            out.append(char(v >> 8));
            out.append(char(v & 0xFF));
        }
    }
    return out;
}

int byteLength(const QString& text) {
    int total = 0;
    const qsizetype size = text.size();
    const QChar* p = text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i].unicode();
        if (c < 0x80) {
            ++total;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size &&
                   QChar::isLowSurrogate(p[i + 1].unicode())) {
            ++total;
            ++i;
        } else {
            total += (lookupEncoded(c) & kSingleFlag) ? 1 : 2;
        }
    }
    return total;
}

int encodeChar(char32_t c, unsigned char out[2]) {
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c > 0xFFFF)
        return 0;
    const std::uint32_t v = lookupEncoded(char16_t(c));
    if (v & kMissingFlag)
        return 0;
    if (v & kSingleFlag) {
        out[0] = static_cast<unsigned char>(v & 0xFF);
        return 1;
    }
    out[0] = static_cast<unsigned char>(v >> 8);
    out[1] = static_cast<unsigned char>(v & 0xFF);
    return 2;
}

QString leftBytes(const QString& text, int n) {
    int total = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        char32_t cp = text[i].unicode();
        qsizetype units = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        const int len = charByteLength(cp);
        if (total + len > n)
            break;
        total += len;
        i += units;
    }
    return text.left(i);
}

int charByteLength(char32_t c) {
    if (c < 0x80 || c > 0xFFFF)
        return 1;
    return (lookupEncoded(char16_t(c)) & kSingleFlag) ? 1 : 2;
}

} // namespace melodeck::cp932
