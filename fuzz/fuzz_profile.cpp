// Settings files of any content: reading never fails, a written value reads
// back as the profile rules say (first line only, code page 932, outer blanks
// and one pair of quotes gone, whole), no value read holds a NUL or a line
// break, a write changes no other key, and two writes into one reading of
// the file saved once give the same bytes as the two writes one by one.
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
    return v;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fault("cannot read the file", path);
    return f.readAll();
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

    auto put = [&] {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(fileBytes) != fileBytes.size())
            fault("cannot write the file", w.path);
    };
    put();
    const bool utf16 = fileBytes.startsWith("\xFF\xFE");

    // Both writes into one reading, saved once: the bytes to expect at the end.
    const QString otherValue = QStringLiteral("w");
    QByteArray saved;
    {
        profile::File file(w.path);
        file.WriteString(section, key, value);
        file.WriteString(otherSection, otherKey, otherValue);
        if (!file.Save())
            fault("save refused on a writable file", w.path);
        saved = contents(w.path);
        put();
    }

    // Reads of any file work and give one line's text.
    const QString before = profile::GetString(otherSection, otherKey, QString(), w.path);
    for (QChar c : {u'\0', u'\r', u'\n'})
        if (before.contains(c))
            fault("value read holds a NUL or a line break", before);
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
    if (!profile::WriteString(otherSection, otherKey, otherValue, w.path))
        fault("write refused on a writable file", w.path);
    if (contents(w.path) != saved)
        fault("two writes saved from one reading differ from the writes one by one", w.path);
    return 0;
}
