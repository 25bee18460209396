#pragma once
// Song databases for tests: a real SQLite file made from data/schema.sql in a
// given folder, rows put in and read back through a connection of its own
// (not through the data layer under test, and without the Jet LIKE).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace melodeck::test {

// How many fields the two tables of data/schema.sql have.
inline constexpr qsizetype kSongFieldCount = 8;

// One row as SQL literals in the order of its table's fields ("101", "'歌手'",
// "NULL"); the fields a row leaves out are NULL.
using SongRow = QStringList;

// What a song database holds.
struct SongDb {
    SongDb(std::vector<SongRow> songs_ = {}, std::vector<SongRow> picked_ = {},
           QString fields_ = {})
        : songs(std::move(songs_)), picked(std::move(picked_)), fields(std::move(fields_)) {}
    std::vector<SongRow> songs;  // the song table, MeloDeck
    std::vector<SongRow> picked; // the pickup table, PickupList
    // The fields of both tables as CREATE TABLE lists them, for a test that
    // needs another shape; empty for data/schema.sql (eight fields:
    // 曲番号 INTEGER, 歌手名, 曲名, 歌い出し, ハモリ, 作詞者, 作曲者 VARCHAR,
    // 演奏時間 INTEGER, each table with an index on 曲番号).
    QString fields;
};

// Creates folder/fileName holding db, replacing an existing file; the rows
// go in through a connection of its own. Returns the file's path.
QString createSongDb(const QString& folder, const SongDb& db = {},
                     const QString& fileName = QStringLiteral("MeloDeck.mdb"));

// n songs whose numbers run downwards (100, 99, ...), so that an order
// clause shows in a grid: song i is 歌手i, 曲i, 歌い出しi, a harmony part
// (○) on every odd i, playing time 200 + i.
std::vector<SongRow> countdownSongs(int n);

// One song in table order; empty texts are stored as NULL, as the import does.
struct Song {
    Song(qint64 number_, QString singer_ = {}, QString title_ = {}, QString lyric_ = {},
         QString harmony_ = {}, QString lyricist_ = {}, QString composer_ = {}, qint64 seconds_ = 0)
        : number(number_), singer(std::move(singer_)), title(std::move(title_)),
          lyric(std::move(lyric_)), harmony(std::move(harmony_)), lyricist(std::move(lyricist_)),
          composer(std::move(composer_)), seconds(seconds_) {}
    qint64 number;
    QString singer, title, lyric, harmony, lyricist, composer;
    qint64 seconds;
};
void insertSongs(const QString& dbPath, const QString& table, const std::vector<Song>& songs);

// Inserts rows by bound parameters: a null QVariant is NULL, integers and
// doubles go in as numbers, anything else as text.
void insertRows(const QString& dbPath, const QString& table,
                const std::vector<std::vector<QVariant>>& rows);

// A copy of the database at from in a new file to, with the same tables,
// indexes and rows: the statements first run on the empty file first (page
// size, text encoding, auto_vacuum: what must be set before any table),
// then vacuumed, so that each table's and index's pages lie in a row.
void copySongDb(const QString& from, const QString& to, const QString& first);

// Runs statements (several allowed); fails the test with the engine's
// message when one is refused. With create, a missing file is made first.
void exec(const QString& dbPath, const QString& sql, bool create = false);

// The first column of the first row as text ("" when there is no row,
// "<NULL>" for Null).
QString scalar(const QString& dbPath, const QString& query);

// Every row of a query, each cell as text, Null as nullText.
std::vector<QStringList> rows(const QString& dbPath, const QString& query,
                              const QString& nullText = QStringLiteral("<NULL>"));

// Damages the table's rows: the share from to to of its leaf pages (in row
// order; 0.6 to 1 the last 40 %) are overwritten with zeros, its indexes
// stay whole. Returns how many pages were damaged.
int damageTableRows(const QString& dbPath, const QString& table, double from, double to);

} // namespace melodeck::test
