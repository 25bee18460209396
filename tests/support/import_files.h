#pragma once
// Song-list import without a window: list texts in code page 932, the song
// table they go into, and the song databases of store_TestDb.h.

#include "common_files.h"
#include "store_TestDb.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace melodeck::test {

// Text as code page 932 bytes.
QByteArray Sjis(const QString& text);

// The five-field song table of the examples: key INTEGER, then four TEXT
// fields (singer, title, lyric start, harmony).
QString SongTableSchema();

} // namespace melodeck::test
