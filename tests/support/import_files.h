#pragma once
// Song-list import without a window: list texts in code page 932 and the
// song table they go into.

#include "common_files.h"

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

// Runs statements on a database file through a connection of its own.
void ExecSql(const QString& dbPath, const QString& sql);
// Rows of a query as texts, "<NULL>" for Null.
std::vector<QStringList> QueryRows(const QString& dbPath, const QString& query);

} // namespace melodeck::test
