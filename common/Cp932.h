#pragma once
// Code page 932 (the Windows flavour of Shift-JIS), through glibc iconv "CP932".

#include <QByteArray>
#include <QString>
#include <string_view>

namespace melodeck::cp932 {

// Invalid sequences become U+FFFD; decoding always goes on.
QString decode(std::string_view bytes);
inline QString decode(const QByteArray& b) {
    return decode(std::string_view(b.constData(), size_t(b.size())));
}

// Look-alikes map as glibc CP932 maps them (U+301C -> 81 60 ...); every other
// character the code page lacks becomes "?" (a surrogate pair is one "?").
QByteArray encode(const QString& text);

// Byte length the text has once encoded; equal to encode(text).size().
int byteLength(const QString& text);

// The code page's bytes of the code point c (look-alikes mapped as encode
// maps them) written to out: their count (1 or 2), or 0 when the code page
// lacks the character.
int encodeChar(char32_t c, unsigned char out[2]);

// Bytes of the code point c once encoded (1 or 2).
int charByteLength(char32_t c);

} // namespace melodeck::cp932
