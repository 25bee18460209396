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

// A row of the shipped song table as test::rows reads it back after an
// import: the cells given, then for the fields a short list line leaves out
// what the import stores (no lyricist, no composer, playing time 0).
QStringList ImportedRow(std::initializer_list<const char*> cells);

} // namespace melodeck::test
