// Settings files of any content: reading never fails, a written value reads
// back as the profile rules say (first line only, code page 932, outer blanks
// and one pair of quotes gone, at most 254 bytes), no value read holds a NUL,
// and a write changes no other key.
//
// Input: the file's bytes, then 0xFF, then the section, key and value to
// write and a second section and key to watch, separated by 0xFE (the last
// 0xFF splits: UTF-8 never holds one, a file may begin with FF FE). Names are
// mapped onto characters a caller may use in a name (code page 932 traps
// included); the value is taken as UTF-8, any text at all.
#include "common/Cp932.h"
#include "common/PrivateProfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace melodeck;

namespace {

[[noreturn]] void fault(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_profile: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

// Letters, digits, a blank inside, and characters whose second byte in code
// page 932 is "[", "\", "]" or an ASCII letter.
const QString kNameChars = QStringLiteral("abcXYZ019_-. ゾ表ソアヂあｱ");

QString nameFrom(const QByteArray& bytes) {
    QString s;
    for (char b : bytes.left(16))
        s += kNameChars[uchar(b) % kNameChars.size()];
    s = s.trimmed();
    return s.isEmpty() ? QStringLiteral("s") : s;
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\v';
}

// The value the rules give back after writing `value`.
QString expectedRead(const QString& value, bool utf16File) {
    QString v = value;
    for (qsizetype i = 0; i < v.size(); ++i)
        if (v[i] == u'\r' || v[i] == u'\n' || v[i] == u'\0') {
            v.truncate(i);
            break;
        }
    if (!utf16File)
        v = cp932::decode(cp932::encode(v));
    qsizetype b = 0, e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    v = v.mid(b, e - b);
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    int bytes = 0;
    qsizetype keep = 0;
    while (keep < v.size()) {
        qsizetype units = 1;
        char32_t cp = v[keep].unicode();
        if (v[keep].isHighSurrogate() && keep + 1 < v.size() && v[keep + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(v[keep], v[keep + 1]);
            units = 2;
        }
        const int len = cp932::charByteLength(cp);
        if (bytes + len > 254)
            break;
        bytes += len;
        keep += units;
    }
    return v.left(keep);
}

struct World {
    QTemporaryDir dir;
    QString path;
    World() : path(QDir(dir.path()).filePath(QStringLiteral("Melodeck.ini"))) {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static World w;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.lastIndexOf('\xFF');
    const QByteArray fileBytes = split < 0 ? input : input.left(split);
    const QList<QByteArray> parts =
        split < 0 ? QList<QByteArray>() : input.mid(split + 1).split('\xFE');
    const QString section = nameFrom(parts.value(0));
    const QString key = nameFrom(parts.value(1));
    const QString value = QString::fromUtf8(parts.value(2));
    const QString otherSection = nameFrom(parts.value(3));
    const QString otherKey = nameFrom(parts.value(4));

    {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(fileBytes) != fileBytes.size())
            fault("cannot write the file", w.path);
    }
    const bool utf16 = fileBytes.startsWith("\xFF\xFE");

    // Reads of any file work and stay within the buffer.
    const QString before = profile::GetString(otherSection, otherKey, QString(), w.path);
    if (cp932::byteLength(before) > 254)
        fault("value read beyond 254 bytes", before);
    if (before.contains(QChar(u'\0')))
        fault("value read holds a NUL character", before);
    (void)profile::GetString(section, key, QStringLiteral("default"), w.path);

    if (!profile::WriteString(section, key, value, w.path))
        fault("write refused on a writable file", w.path);
    const QString got = profile::GetString(section, key, QString(), w.path);
    const QString want = expectedRead(value, utf16);
    if (got != want)
        fault("value read back differs",
              QStringLiteral("[%1] %2\nwrote <%3>\nread  <%4>\nwant  <%5>")
                  .arg(section, key, value, got, want));

    const bool sameKey = section.compare(otherSection, Qt::CaseInsensitive) == 0 &&
                         key.compare(otherKey, Qt::CaseInsensitive) == 0;
    if (!sameKey) {
        const QString after = profile::GetString(otherSection, otherKey, QString(), w.path);
        if (after != before)
            fault("write changed another key", QStringLiteral("[%1] %2 before <%3> after <%4>")
                                                   .arg(otherSection, otherKey, before, after));
    }
    return 0;
}
