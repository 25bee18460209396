#include "store_TestDb.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Qt::Literals::StringLiterals;

namespace melodeck::test {

namespace {

struct Connection {
    sqlite3* db = nullptr;
    explicit Connection(const QString& path, bool create = false) {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
        EXPECT_EQ(rc, SQLITE_OK) << "cannot open " << path.toStdString();
    }
    ~Connection() { sqlite3_close(db); }
};

struct Statement {
    sqlite3_stmt* st = nullptr;
    Statement(sqlite3* db, const QString& sql) {
        const QByteArray u = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(db, u.constData(), int(u.size()), &st, nullptr);
        EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(db) << " in " << sql.toStdString();
    }
    ~Statement() { sqlite3_finalize(st); }
};

QString cellText(sqlite3_stmt* st, int i, const QString& nullText) {
    if (sqlite3_column_type(st, i) == SQLITE_NULL)
        return nullText;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return QString::fromUtf8(p, sqlite3_column_bytes(st, i));
}

} // namespace

QString createSongDb(const QString& folder, const SongDb& db, const QString& fileName) {
    const QString path = QDir(folder).filePath(fileName);
    QFile::remove(path);
    QString sql;
    if (db.fields.isEmpty()) {
        QFile schema(QStringLiteral(MELODECK_SOURCE_DIR "/data/schema.sql"));
        EXPECT_TRUE(schema.open(QIODevice::ReadOnly)) << "data/schema.sql not readable";
        sql = QString::fromUtf8(schema.readAll());
    } else {
        sql = QStringLiteral("CREATE TABLE MeloDeck (%1); CREATE TABLE PickupList (%1);")
                  .arg(db.fields);
    }
    exec(path, sql, true);
    const qsizetype fieldCount =
        scalar(path, QStringLiteral("SELECT count(*) FROM pragma_table_info('MeloDeck')")).toInt();
    sql = QStringLiteral("BEGIN;");
    const auto insert = [&](const QString& table, SongRow row) {
        while (row.size() < fieldCount)
            row << QStringLiteral("NULL");
        sql += QStringLiteral("INSERT INTO %1 VALUES (%2);").arg(table, row.join(QLatin1Char(',')));
    };
    for (const SongRow& r : db.songs)
        insert(QStringLiteral("MeloDeck"), r);
    for (const SongRow& r : db.picked)
        insert(QStringLiteral("PickupList"), r);
    exec(path, sql + QStringLiteral("COMMIT;"));
    return path;
}

std::vector<SongRow> countdownSongs(int n) {
    std::vector<SongRow> rows;
    for (int i = 0; i < n; ++i) {
        const QString s = QString::number(i);
        rows.push_back({QString::number(100 - i), u"'歌手"_s + s + u'\'', u"'曲"_s + s + u'\'',
                        u"'歌い出し"_s + s + u'\'', i % 2 ? u"'○'"_s : u"NULL"_s, u"NULL"_s,
                        u"NULL"_s, QString::number(200 + i)});
    }
    return rows;
}

void exec(const QString& dbPath, const QString& sql, bool create) {
    Connection c(dbPath, create);
    char* err = nullptr;
    const int rc = sqlite3_exec(c.db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql.toStdString();
    sqlite3_free(err);
}

void copySongDb(const QString& from, const QString& to, const QString& first) {
    QFile::remove(to);
    // Tables before their indexes.
    QString sql = first + u';';
    for (const QStringList& r :
         rows(from, u"SELECT sql FROM sqlite_master WHERE sql NOT NULL ORDER BY type = 'index'"_s))
        sql += r[0] + u';';
    exec(to, sql, true);
    // The rows value by value: a file of another text encoding cannot be
    // attached to take them at once.
    const Connection src(from), dst(to);
    sqlite3_exec(dst.db, "BEGIN", nullptr, nullptr, nullptr);
    for (const QStringList& t :
         rows(from, u"SELECT name FROM sqlite_master WHERE type = 'table'"_s)) {
        const Statement read(src.db, u"SELECT * FROM \"%1\""_s.arg(t[0]));
        const int n = sqlite3_column_count(read.st);
        QStringList marks;
        for (int i = 0; i < n; ++i)
            marks << u"?"_s;
        const Statement write(dst.db,
                              u"INSERT INTO \"%1\" VALUES (%2)"_s.arg(t[0], marks.join(u',')));
        while (sqlite3_step(read.st) == SQLITE_ROW) {
            for (int i = 0; i < n; ++i)
                sqlite3_bind_value(write.st, i + 1, sqlite3_column_value(read.st, i));
            EXPECT_EQ(sqlite3_step(write.st), SQLITE_DONE) << sqlite3_errmsg(dst.db);
            sqlite3_reset(write.st);
        }
    }
    EXPECT_EQ(sqlite3_exec(dst.db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    // As a user's tidy-up leaves it: each table's pages in a row.
    EXPECT_EQ(sqlite3_exec(dst.db, "VACUUM", nullptr, nullptr, nullptr), SQLITE_OK);
}

void insertRows(const QString& dbPath, const QString& table,
                const std::vector<std::vector<QVariant>>& rows) {
    if (rows.empty())
        return;
    Connection c(dbPath);
    sqlite3_exec(c.db, "BEGIN", nullptr, nullptr, nullptr);
    for (const auto& row : rows) {
        QStringList marks;
        for (size_t i = 0; i < row.size(); ++i)
            marks << QStringLiteral("?");
        Statement s(
            c.db,
            QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(QLatin1Char(','))));
        for (size_t i = 0; i < row.size(); ++i) {
            const QVariant& v = row[i];
            const int k = int(i) + 1;
            if (v.isNull())
                sqlite3_bind_null(s.st, k);
            else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                     v.typeId() == QMetaType::UInt || v.typeId() == QMetaType::Bool)
                sqlite3_bind_int64(s.st, k, v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                sqlite3_bind_double(s.st, k, v.toDouble());
            else {
                const QByteArray u = v.toString().toUtf8();
                sqlite3_bind_text(s.st, k, u.constData(), int(u.size()), SQLITE_TRANSIENT);
            }
        }
        EXPECT_EQ(sqlite3_step(s.st), SQLITE_DONE) << sqlite3_errmsg(c.db);
    }
    sqlite3_exec(c.db, "COMMIT", nullptr, nullptr, nullptr);
}

void insertSongs(const QString& dbPath, const QString& table, const std::vector<Song>& songs) {
    auto text = [](const QString& s) { return s.isEmpty() ? QVariant() : QVariant(s); };
    std::vector<std::vector<QVariant>> r;
    for (const Song& s : songs)
        r.push_back({QVariant(s.number), text(s.singer), text(s.title), text(s.lyric),
                     text(s.harmony), text(s.lyricist), text(s.composer), QVariant(s.seconds)});
    insertRows(dbPath, table, r);
}

QString scalar(const QString& dbPath, const QString& query) {
    const auto r = rows(dbPath, query);
    return r.empty() || r[0].isEmpty() ? QString() : r[0][0];
}

std::vector<QStringList> rows(const QString& dbPath, const QString& query,
                              const QString& nullText) {
    std::vector<QStringList> out;
    Connection c(dbPath);
    Statement s(c.db, query);
    if (!s.st)
        return out;
    const int n = sqlite3_column_count(s.st);
    while (sqlite3_step(s.st) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < n; ++i)
            row << cellText(s.st, i, nullText);
        out.push_back(row);
    }
    return out;
}

} // namespace melodeck::test

namespace melodeck::test {

int damageTableRows(const QString& dbPath, const QString& table, double from, double to) {
    std::vector<qint64> pages;
    qint64 pageSize = 0;
    {
        Connection c(dbPath);
        Statement size(c.db, QStringLiteral("PRAGMA page_size"));
        if (sqlite3_step(size.st) == SQLITE_ROW)
            pageSize = sqlite3_column_int64(size.st, 0);
        // The table's leaf pages in the order of their rows.
        Statement leaves(c.db, QStringLiteral("SELECT pageno FROM dbstat WHERE name = ?1 AND "
                                              "pagetype = 'leaf' ORDER BY path"));
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(leaves.st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(leaves.st) == SQLITE_ROW)
            pages.push_back(sqlite3_column_int64(leaves.st, 0));
    }
    EXPECT_GT(pageSize, 0);
    EXPECT_GT(pages.size(), 4u) << "too few pages to damage some and keep the rest";
    QFile f(dbPath);
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    int damaged = 0;
    const auto at = [&](double share) { return size_t(double(pages.size()) * share); };
    for (size_t k = at(from); k < at(to); ++k) {
        f.seek((pages[k] - 1) * pageSize);
        f.write(QByteArray(int(pageSize), '\0'));
        ++damaged;
    }
    return damaged;
}

} // namespace melodeck::test
