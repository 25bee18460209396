#include "common/PrivateProfile.h"

#include "common/Cp932.h"
#include "common/SafeFile.h"
#include "common/Trim.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <vector>

namespace melodeck::profile {

namespace {

// Values come back through a 255-byte buffer with its terminating NUL.
constexpr int kValueBytes = 254;

enum class Encoding { Ansi, Utf16 };

enum class Kind { Blank, Header, Comment, Key, Other };

// One line of the file: its exact bytes (kept for every line a write leaves
// alone) and what the profile rules make of it.
struct Line {
    QByteArray raw; // without the line break
    QByteArray eol; // "", CR, LF or CR LF, in the file's encoding
    Kind kind = Kind::Blank;
    QString name;  // section or key name, trimmed
    QString value; // key value, trimmed, quotes still on
};

struct Profile {
    Encoding encoding = Encoding::Ansi;
    QByteArray bom; // kept in front of the first line
    std::vector<Line> lines;
};

bool isLineBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\v';
}

QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isLineBlank(s[b]))
        ++b;
    while (e > b && isLineBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString decodeLine(const QByteArray& raw, Encoding enc) {
    if (enc == Encoding::Utf16)
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData()),
                                  raw.size() / 2);
    return cp932::decode(raw);
}

QByteArray encodeText(const QString& text, Encoding enc) {
    if (enc == Encoding::Utf16) {
        QByteArray out;
        out.reserve(text.size() * 2);
        for (QChar c : text) {
            out.append(char(c.unicode() & 0xFF));
            out.append(char(c.unicode() >> 8));
        }
        return out;
    }
    return cp932::encode(text);
}

QByteArray crlf(Encoding enc) {
    return enc == Encoding::Utf16 ? QByteArray("\r\0\n\0", 4) : QByteArray("\r\n");
}

void classify(Line& line, Encoding enc) {
    const QString text = trimBlanks(decodeLine(line.raw, enc));
    if (text.isEmpty()) {
        line.kind = Kind::Blank;
    } else if (text.front() == u'[') {
        line.kind = Kind::Header;
        qsizetype close = text.indexOf(u']', 1);
        if (close < 0)
            close = text.size();
        line.name = trimBlanks(text.mid(1, close - 1));
    } else if (text.front() == u';') {
        line.kind = Kind::Comment;
    } else if (const qsizetype eq = text.indexOf(u'='); eq >= 0) {
        line.kind = Kind::Key;
        line.name = trimBlanks(text.left(eq));
        line.value = trimBlanks(text.mid(eq + 1));
    } else {
        line.kind = Kind::Other;
    }
}

// Splits the file into lines at CR, LF or CR LF. In code page 932 neither
// byte occurs inside a double-byte character, so splitting bytes is safe.
Profile parse(const QByteArray& data) {
    Profile p;
    qsizetype pos = 0;
    qsizetype unit = 1;
    if (data.size() >= 2 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xFE) {
        p.encoding = Encoding::Utf16;
        p.bom = data.left(2);
        pos = 2;
        unit = 2;
    }
    auto codeAt = [&](qsizetype i) -> char16_t {
        if (unit == 1)
            return uchar(data[i]);
        return char16_t(uchar(data[i]) | (uchar(data[i + 1]) << 8));
    };
    const qsizetype end = data.size() - (data.size() - pos) % unit;
    qsizetype start = pos;
    while (pos < end) {
        const char16_t c = codeAt(pos);
        if (c != u'\r' && c != u'\n') {
            pos += unit;
            continue;
        }
        Line line;
        line.raw = data.mid(start, pos - start);
        qsizetype next = pos + unit;
        if (c == u'\r' && next < end && codeAt(next) == u'\n')
            next += unit;
        line.eol = data.mid(pos, next - pos);
        classify(line, p.encoding);
        p.lines.push_back(std::move(line));
        start = pos = next;
    }
    if (start < data.size()) {
        Line line;
        line.raw = data.mid(start); // an odd byte of a UTF-16 file stays with the last line
        classify(line, p.encoding);
        p.lines.push_back(std::move(line));
    }
    return p;
}

QByteArray serialize(const Profile& p) {
    QByteArray out = p.bom;
    for (const Line& line : p.lines) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

// First header of that name, if any; lines before the first header belong
// to no section.
std::optional<size_t> findSection(const Profile& p, const QString& section) {
    for (size_t i = 0; i < p.lines.size(); ++i)
        if (p.lines[i].kind == Kind::Header && sameName(p.lines[i].name, section))
            return i;
    return std::nullopt;
}

size_t sectionEnd(const Profile& p, size_t header) {
    size_t i = header + 1;
    while (i < p.lines.size() && p.lines[i].kind != Kind::Header)
        ++i;
    return i;
}

std::optional<size_t> findKey(const Profile& p, size_t header, const QString& key) {
    const size_t end = sectionEnd(p, header);
    for (size_t i = header + 1; i < end; ++i)
        if (p.lines[i].kind == Kind::Key && sameName(p.lines[i].name, key))
            return i;
    return std::nullopt;
}

QString unquote(const QString& v) {
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        return v.mid(1, v.size() - 2);
    return v;
}

// The longest leading part that fits the buffer.
QString cutToBuffer(const QString& v) {
    return cp932::leftBytes(v, kValueBytes);
}

// Gives the file's last line its line break before anything is written after
// it. A stray odd byte at the end of a UTF-16 file is completed to a whole code
// unit first; otherwise every later line would be read one byte out of step.
void endLine(Line& line, Encoding enc) {
    if (!line.eol.isEmpty())
        return;
    if (enc == Encoding::Utf16 && line.raw.size() % 2 != 0)
        line.raw.append('\0');
    line.eol = crlf(enc);
}

Line makeLine(const QString& text, Encoding enc) {
    Line line;
    line.raw = encodeText(text, enc);
    line.eol = crlf(enc);
    classify(line, enc);
    return line;
}

} // namespace

QString GetString(const QString& section, const QString& key, const QString& def,
                  const QString& filePath) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return cutToBuffer(def);
    const Profile p = parse(file.readAll());
    file.close();
    const auto header = findSection(p, ModCommon::TrimSpaces(section));
    if (!header)
        return cutToBuffer(def);
    const auto line = findKey(p, *header, ModCommon::TrimSpaces(key));
    if (!line)
        return cutToBuffer(def);
    // The value arrives as a C string: a NUL byte in the file ends it, as
    // it ends what WriteString writes.
    QString value = unquote(p.lines[*line].value);
    if (const qsizetype nul = value.indexOf(QChar(u'\0')); nul >= 0)
        value.truncate(nul);
    return cutToBuffer(value);
}

namespace {

// A text stops at its first line break or NUL: the platform functions take
// C strings, and a line break would let a value forge further lines (a new
// section, say) into the file.
QString oneLine(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\r' || text[i] == u'\n' || text[i] == u'\0')
            return text.left(i);
    return text;
}

} // namespace

bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& filePath) {
    const QString sectionName = ModCommon::TrimSpaces(oneLine(section));
    const QString keyName = ModCommon::TrimSpaces(oneLine(key));
    const QString keyLine = u'=' + oneLine(value);

    Profile p;
    const QFileInfo info(filePath);
    if (info.exists()) {
        // A read-only file stays as it is, even for a user whom the system
        // would let write it anyway.
        if (!info.isFile() || !info.isWritable() || !files::HasWriteBit(info))
            return false;
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly))
            return false; // never replace a file whose content could not be read
        p = parse(file.readAll());
        if (file.error() != QFileDevice::NoError)
            return false;
    }
    const Encoding enc = p.encoding;

    if (const auto header = findSection(p, sectionName)) {
        if (const auto at = findKey(p, *header, keyName)) {
            // Replaced in place under the file's own spelling of the key.
            Line& line = p.lines[*at];
            line = makeLine(line.name + keyLine, enc);
        } else {
            size_t after = *header;
            const size_t end = sectionEnd(p, *header);
            for (size_t i = *header + 1; i < end; ++i)
                if (p.lines[i].kind == Kind::Key)
                    after = i;
            endLine(p.lines[after], enc);
            p.lines.insert(p.lines.begin() + std::ptrdiff_t(after + 1),
                           makeLine(keyName + keyLine, enc));
        }
    } else {
        if (!p.lines.empty())
            endLine(p.lines.back(), enc);
        p.lines.push_back(makeLine(u'[' + sectionName + u']', enc));
        p.lines.push_back(makeLine(keyName + keyLine, enc));
    }

    // Written beside the target and renamed over it, so a crash or a full
    // disk never leaves a half-written settings file.
    return files::ReplaceFile(filePath, serialize(p));
}

} // namespace melodeck::profile
