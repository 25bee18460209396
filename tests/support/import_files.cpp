#include "import_files.h"

#include "common/Cp932.h"

namespace melodeck::test {

QByteArray Sjis(const QString& text) {
    return cp932::encode(text);
}

QString SongTableSchema() {
    return QStringLiteral(
        "(曲番 INTEGER, 歌手名 TEXT(100), 曲名 TEXT(100), 歌い出し TEXT(100), ハモリ TEXT(10))");
}

} // namespace melodeck::test
