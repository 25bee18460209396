#include "common/PrivateProfile.h"

#include "common/Cp932.h"
#include "common/SafeFile.h"
#include "common/Trim.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace melodeck::profile {

namespace {

enum class Encoding { Ansi, Utf16 };

enum class Kind : quint8 { Blank, Header, Comment, Key, Other };

// How a line ends.
enum class Eol : quint8 { None, Cr, Lf, CrLf };

// One line of the file: its exact bytes (kept for every line a write leaves
// alone) and what the profile rules make of it.
struct Line {
    QByteArray raw; // without the line break
    QString name;   // section or key name, trimmed
    QString value;  // key value, trimmed, quotes still on
    Kind kind = Kind::Blank;
    Eol eol = Eol::None;
};

struct Profile {
    Encoding encoding = Encoding::Ansi;
    QByteArray bom;    // kept in front of the first line
    QByteArray source; // the bytes read; unchanged lines refer into them
    std::vector<Line> lines;
};

bool isLineBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\v';
}

bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

QString trimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isLineBlank(s[b]))
        ++b;
    while (e > b && isLineBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

std::string_view trimBlankBytes(std::string_view s) {
    while (!s.empty() && isBlankByte(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankByte(s.back()))
        s.remove_suffix(1);
    return s;
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

// The bytes of a line end in the file's encoding.
QByteArrayView eolBytes(Eol eol, Encoding enc) {
    static constexpr char kAnsi[] = "\r\n";
    static constexpr char kUtf16[] = "\r\0\n\0";
    const qsizetype unit = enc == Encoding::Utf16 ? 2 : 1;
    const char* bytes = enc == Encoding::Utf16 ? kUtf16 : kAnsi;
    switch (eol) {
    case Eol::Cr:
        return {bytes, unit};
    case Eol::Lf:
        return {bytes + unit, unit};
    case Eol::CrLf:
        return {bytes, 2 * unit};
    case Eol::None:
        break;
    }
    return {};
}

// A header line's text, from its "[" on.
void classifyHeader(Line& line, const QString& text) {
    line.kind = Kind::Header;
    qsizetype close = text.indexOf(u']', 1);
    if (close < 0)
        close = text.size();
    line.name = trimBlanks(text.mid(1, close - 1));
}

void classify(Line& line, Encoding enc) {
    if (enc == Encoding::Ansi) {
        // Blanks, "[", ";" and "=" never stand for the second byte of a
        // character in code page 932, so the bytes tell the kind of line and
        // where its key ends, and only names and values need decoding. "]"
        // can be a second byte (ゾ is 83 5D): a header is read as text.
        const std::string_view text =
            trimBlankBytes({line.raw.constData(), size_t(line.raw.size())});
        if (text.empty()) {
            line.kind = Kind::Blank;
        } else if (text.front() == '[') {
            classifyHeader(line, cp932::decode(text));
        } else if (text.front() == ';') {
            line.kind = Kind::Comment;
        } else if (const size_t eq = text.find('='); eq != std::string_view::npos) {
            line.kind = Kind::Key;
            line.name = cp932::decode(trimBlankBytes(text.substr(0, eq)));
            line.value = cp932::decode(trimBlankBytes(text.substr(eq + 1)));
        } else {
            line.kind = Kind::Other;
        }
        return;
    }
    const QString text = trimBlanks(decodeLine(line.raw, enc));
    if (text.isEmpty()) {
        line.kind = Kind::Blank;
    } else if (text.front() == u'[') {
        classifyHeader(line, text);
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
// The lines refer to the bytes read instead of copying them.
Profile parse(const QByteArray& data) {
    Profile p;
    p.source = data;
    const char* const bytes = p.source.constData();
    auto view = [bytes](qsizetype from, qsizetype to) {
        return QByteArray::fromRawData(bytes + from, to - from);
    };
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
            return uchar(bytes[i]);
        return char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8));
    };
    const qsizetype end = data.size() - (data.size() - pos) % unit;
    // Room for every line at once: a large file is not copied over and over
    // as the list grows.
    size_t breaks = 1;
    for (const char* at = bytes;
         (at = static_cast<const char*>(std::memchr(at, '\n', size_t(bytes + data.size() - at))));
         ++at)
        ++breaks;
    p.lines.reserve(breaks);
    qsizetype start = pos;
    while (pos < end) {
        const char16_t c = codeAt(pos);
        if (c != u'\r' && c != u'\n') {
            pos += unit;
            continue;
        }
        Line line;
        line.raw = view(start, pos);
        qsizetype next = pos + unit;
        line.eol = c == u'\r' ? Eol::Cr : Eol::Lf;
        if (c == u'\r' && next < end && codeAt(next) == u'\n') {
            next += unit;
            line.eol = Eol::CrLf;
        }
        classify(line, p.encoding);
        p.lines.push_back(std::move(line));
        start = pos = next;
    }
    if (start < data.size()) {
        // An odd byte of a UTF-16 file stays with the last line.
        Line line;
        line.raw = view(start, data.size());
        classify(line, p.encoding);
        p.lines.push_back(std::move(line));
    }
    return p;
}

QByteArray serialize(const Profile& p) {
    QByteArray out = p.bom;
    out.reserve(p.source.size() + 4096);
    for (const Line& line : p.lines) {
        out += line.raw;
        out += eolBytes(line.eol, p.encoding);
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

// Gives the file's last line (line i) its line break before anything is
// written after it. A stray odd byte at the end of a UTF-16 file would be
// read, once whole, as part of that line, changing a value or a section
// name, and left half, every later line would be read one byte out of step:
// it is completed on a line of its own, read as a read of the saved file
// will read it (the completed unit may itself be a line break), so that
// writes into one reading give the bytes of the same writes one by one.
void endLine(Profile& p, size_t i) {
    Line& line = p.lines[i];
    if (line.eol != Eol::None)
        return;
    line.eol = Eol::CrLf;
    if (p.encoding != Encoding::Utf16 || line.raw.size() % 2 == 0)
        return;
    const char stray = line.raw.back();
    line.raw.chop(1);
    QByteArray bytes("\xFF\xFE", 2);
    bytes += stray;
    bytes += '\0';
    bytes += eolBytes(Eol::CrLf, p.encoding);
    const Profile again = parse(bytes);
    std::vector<Line> lines;
    for (const Line& l : again.lines) {
        lines.push_back(l);
        lines.back().raw = QByteArray(l.raw.constData(), l.raw.size()); // its own bytes
    }
    p.lines.insert(p.lines.begin() + std::ptrdiff_t(i + 1), lines.begin(), lines.end());
}

Line makeLine(const QString& text, Encoding enc) {
    Line line;
    line.raw = encodeText(text, enc);
    line.eol = Eol::CrLf;
    classify(line, enc);
    return line;
}

// What reading the file found.
enum class Found {
    Missing,  // nothing there: a write creates the file
    Read,     // a regular file, read whole
    Unusable, // something that is no readable regular file: never written
};

// Reads a regular file whole into out. Anything else is not opened for
// reading at all, or given up right after the open without reading a byte.
Found readRegularFile(const QString& path, QByteArray& out) {
    QFile file;
    const files::FileKind kind = files::OpenRegularFile(path, file, QIODevice::ReadOnly);
    if (kind == files::FileKind::Missing)
        return Found::Missing;
    if (!file.isOpen())
        return Found::Unusable;
    out = file.readAll();
    return file.error() == QFileDevice::NoError ? Found::Read : Found::Unusable;
}

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

struct File::Data {
    QString path;
    Found found = Found::Missing;
    Profile profile;
};

File::File(const QString& path) : d_(std::make_unique<Data>()) {
    d_->path = path;
    QByteArray bytes;
    d_->found = readRegularFile(path, bytes);
    d_->profile = parse(bytes);
}

File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

QString File::GetString(const QString& section, const QString& key, const QString& def) const {
    const Profile& p = d_->profile;
    const auto header = findSection(p, ModCommon::TrimSpaces(section));
    if (!header)
        return def;
    const auto line = findKey(p, *header, ModCommon::TrimSpaces(key));
    if (!line)
        return def;
    // The value arrives as a C string: a NUL byte in the file ends it, as
    // it ends what WriteString writes.
    QString value = unquote(p.lines[*line].value);
    if (const qsizetype nul = value.indexOf(QChar(u'\0')); nul >= 0)
        value.truncate(nul);
    return value;
}

void File::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = ModCommon::TrimSpaces(oneLine(section));
    const QString keyName = ModCommon::TrimSpaces(oneLine(key));
    const QString keyLine = u'=' + oneLine(value);
    Profile& p = d_->profile;
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
            endLine(p, after);
            p.lines.insert(p.lines.begin() + std::ptrdiff_t(after + 1),
                           makeLine(keyName + keyLine, enc));
        }
    } else {
        if (!p.lines.empty())
            endLine(p, p.lines.size() - 1);
        p.lines.push_back(makeLine(u'[' + sectionName + u']', enc));
        p.lines.push_back(makeLine(keyName + keyLine, enc));
    }
}

bool File::Save() const {
    // Never replace what could not be read, nor a pipe, device or folder.
    if (d_->found == Found::Unusable)
        return false;
    // A settings file kept elsewhere behind a link stays there.
    const QString target = files::LinkTarget(d_->path);
    if (target.isEmpty())
        return false;
    const QFileInfo info(target);
    // A read-only file stays as it is, even for a user whom the system
    // would let write it anyway.
    if (info.exists() && (!info.isFile() || !info.isWritable() || !files::HasWriteBit(info)))
        return false;
    // Written beside the target and renamed over it, so a crash or a full
    // disk never leaves a half-written settings file.
    return files::ReplaceFile(target, serialize(d_->profile));
}

QString GetString(const QString& section, const QString& key, const QString& def,
                  const QString& filePath) {
    return File(filePath).GetString(section, key, def);
}

bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& filePath) {
    File file(filePath);
    file.WriteString(section, key, value);
    return file.Save();
}

} // namespace melodeck::profile
