#pragma once
// Code page 932 (the Windows flavour of Shift-JIS), as glibc iconv "CP932"
// reads and writes it, from tables generated once (no iconv at run time).

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

// The longest leading part of text that takes at most n bytes once encoded;
// a character that would straddle the limit is left out whole, and a
// surrogate pair is one character.
QString leftBytes(const QString& text, int n);

} // namespace melodeck::cp932
