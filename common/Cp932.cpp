#include "common/Cp932.h"

#include <QChar>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace melodeck::cp932 {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// One iconv descriptor; iconv keeps conversion state, so a descriptor is
// never shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert code page 932");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input. Returns the number of output bytes, or -1
    // with errno set (EILSEQ: not convertible, EINVAL: incomplete input).
    int convert(const char* in, size_t inLen, char* out, size_t outCap) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in);
        char* outPtr = out;
        size_t inLeft = inLen;
        size_t outLeft = outCap;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1))
            return -1;
        if (inLeft != 0) {
            errno = E2BIG;
            return -1;
        }
        return int(outCap - outLeft);
    }

private:
    iconv_t cd_;
};

bool isTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Decoding tables, computed once from iconv: the code page is small enough
// that asking iconv for every byte and byte pair up front costs a few
// milliseconds and makes decoding a plain lookup.
struct DecodeTable {
    static constexpr std::int32_t kInvalid = -1;
    static constexpr std::int32_t kLead = -2;
    std::array<std::int32_t, 256> single{};
    // Indexed by lead << 8 | trail; 0 means the pair does not decode.
    std::unique_ptr<char16_t[]> pairs{new char16_t[65536]()};

    DecodeTable() {
        Converter conv("UTF-16LE", "CP932");
        char out[8];
        for (int b = 0; b < 256; ++b) {
            const char in = char(b);
            const int n = conv.convert(&in, 1, out, sizeof out);
            if (n == 2)
                single[size_t(b)] = std::uint8_t(out[0]) | (std::uint8_t(out[1]) << 8);
            else if (n < 0 && errno == EINVAL)
                single[size_t(b)] = kLead;
            else
                single[size_t(b)] = kInvalid;
        }
        for (int lead = 0; lead < 256; ++lead) {
            if (single[size_t(lead)] != kLead)
                continue;
            for (int trail = 0; trail < 256; ++trail) {
                if (!isTrailByte(std::uint8_t(trail)))
                    continue;
                const char in[2] = {char(lead), char(trail)};
                if (conv.convert(in, 2, out, sizeof out) == 2)
                    pairs[size_t(lead << 8 | trail)] =
                        char16_t(std::uint8_t(out[0]) | (std::uint8_t(out[1]) << 8));
            }
        }
    }
};

const DecodeTable& decodeTable() {
    static const DecodeTable table;
    return table;
}

// Encoded form of every BMP code point, filled on first use of each one:
// 0 unknown yet, otherwise 0x1_00xx for a single byte or the byte pair.
std::atomic<std::uint32_t>* encodeCache() {
    static std::unique_ptr<std::atomic<std::uint32_t>[]> cache(
        new std::atomic<std::uint32_t>[65536]());
    return cache.get();
}

constexpr std::uint32_t kSingleFlag = 0x10000;
// Marks a character the code page lacks (written as "?").
constexpr std::uint32_t kMissingFlag = 0x20000;
constexpr std::uint32_t kQuestion = kMissingFlag | kSingleFlag | '?';

std::uint32_t lookupEncoded(char16_t c) {
    std::atomic<std::uint32_t>& slot = encodeCache()[c];
    std::uint32_t v = slot.load(std::memory_order_relaxed);
    if (v != 0)
        return v;
    if (QChar::isSurrogate(c)) {
        v = kQuestion;
    } else {
        thread_local Converter conv("CP932", "UTF-16LE");
        const char in[2] = {char(c & 0xFF), char(c >> 8)};
        char out[8];
        const int n = conv.convert(in, 2, out, sizeof out);
        if (n == 1)
            v = kSingleFlag | std::uint8_t(out[0]);
        else if (n == 2)
            v = std::uint32_t(std::uint8_t(out[0])) << 8 | std::uint8_t(out[1]);
        else
            v = kQuestion; // not in the code page: one "?", as Windows writes it
    }
    slot.store(v, std::memory_order_relaxed);
    return v;
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
        const std::int32_t s = table.single[b];
        if (s >= 0) {
            dst[n++] = QChar(char16_t(s));
        } else if (s == DecodeTable::kLead && i + 1 < size &&
                   isTrailByte(std::uint8_t(bytes[i + 1]))) {
            // A lead byte with a proper trail byte is one character even when
            // the pair is unassigned, so the trail is not misread as ASCII.
            const char16_t c = table.pairs[size_t(b) << 8 | std::uint8_t(bytes[i + 1])];
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

int charByteLength(char32_t c) {
    if (c < 0x80 || c > 0xFFFF)
        return 1;
    return (lookupEncoded(char16_t(c)) & kSingleFlag) ? 1 : 2;
}

} // namespace melodeck::cp932
