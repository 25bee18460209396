#include "import_files.h"

#include "common/Cp932.h"

namespace melodeck::test {

QByteArray Sjis(const QString& text) {
    return cp932::encode(text);
}

QStringList ImportedRow(std::initializer_list<const char*> cells) {
    QStringList row;
    for (const char* c : cells)
        row << QString::fromUtf8(c);
    while (row.size() < kSongFieldCount) // the last field, the playing time, is a number
        row << (row.size() + 1 < kSongFieldCount ? QStringLiteral("<NULL>") : QStringLiteral("0"));
    return row;
}

} // namespace melodeck::test
