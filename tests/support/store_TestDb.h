#pragma once
// Song databases for tests: a real SQLite file made from data/schema.sql in a
// given folder, rows put in and read back through a connection of its own
// (not through the data layer under test, and without the Jet LIKE).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace melodeck::test {

// The text of data/schema.sql, and how many fields its two tables have.
QString schemaSql();
inline constexpr qsizetype kSongFieldCount = 8;

// Creates folder/fileName from data/schema.sql (tables MeloDeck and
// PickupList, eight fields: 曲番号 INTEGER, 歌手名, 曲名, 歌い出し, ハモリ, 作詞者,
// 作曲者 VARCHAR, 演奏時間 INTEGER). Replaces an existing file. Returns its path.
QString createSongDb(const QString& folder,
                     const QString& fileName = QStringLiteral("MeloDeck.mdb"));

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
