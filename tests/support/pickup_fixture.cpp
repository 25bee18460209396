#include "pickup_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "common/ModCommon.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace melodeck::test {

namespace {

QString schema(const QString& keyType) {
    return QStringLiteral("(曲番 %1, 歌手名 TEXT(100), 曲名 TEXT(100), 歌い出し TEXT(100), "
                          "ハモリ TEXT(10), 備考 TEXT(50))")
        .arg(keyType);
}

void exec(sqlite3* db, const QString& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql.toStdString();
    sqlite3_free(err);
}

void insertRows(sqlite3* db, const char* table, const std::vector<SongRow>& rows) {
    for (const SongRow& r : rows)
        exec(db, QStringLiteral("INSERT INTO %1 VALUES (%2)")
                     .arg(QString::fromUtf8(table), r.join(QLatin1Char(','))));
}

} // namespace

PickupFixture::PickupFixture() {
    saved_ = seams();
    seams().warning = [this](const QString&, const QString& text) { warnings << text.trimmed(); };
    seams().popupMenu = [this](QMenu* menu, QPoint pos) {
        popups.push_back(menu);
        popupPositions.push_back(pos);
    };
    seams().setClipboardText = [this](const QString& text) {
        if (clipboardFails)
            return false;
        clipboard << text;
        return true;
    };
    seams().screenSize = [] { return QSize(1280, 1024); };
    seams().processEvents = [] {};
    ModCommon::SetProgramLocation(dir_.path(), QStringLiteral("MeloDeck"));
    ModMeloDeck::InstallFonts();
}

PickupFixture::~PickupFixture() {
    stop();
    seams() = saved_;
}

QString PickupFixture::databasePath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("MeloDeck.mdb"));
}

void PickupFixture::createDatabase(const std::vector<SongRow>& songs,
                                   const std::vector<SongRow>& picked, const QString& keyType) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath().toUtf8().constData(), &db), SQLITE_OK);
    exec(db, QStringLiteral("CREATE TABLE MeloDeck ") + schema(keyType));
    exec(db, QStringLiteral("CREATE TABLE PickupList ") + schema(keyType));
    insertRows(db, "MeloDeck", songs);
    insertRows(db, "PickupList", picked);
    sqlite3_close(db);
}

frmMeloDeck* PickupFixture::start() {
    window_ = ModMeloDeck::Main();
    return window_.get();
}

void PickupFixture::stop() {
    window_.reset();
}

std::vector<QStringList> PickupFixture::tableRows(const QString& table,
                                                  const QString& order) const {
    std::vector<QStringList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        ADD_FAILURE() << "cannot open the database";
        sqlite3_close(db);
        return rows;
    }
    const QByteArray sql =
        (QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' ') + order).toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                row << (sqlite3_column_type(st, i) == SQLITE_NULL
                            ? QStringLiteral("<NULL>")
                            : QString::fromUtf8(
                                  reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
            rows.push_back(row);
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

QStringList PickupFixture::gridColumn(const FlexGrid* grid, int col) {
    QStringList texts;
    for (int r = 1; r < grid->Rows(); ++r)
        texts << grid->TextMatrix(r, col);
    return texts;
}

int PickupFixture::gridRow(const FlexGrid* grid, int col, const QString& text) {
    for (int r = 1; r < grid->Rows(); ++r)
        if (grid->TextMatrix(r, col) == text)
            return r;
    return -1;
}

} // namespace melodeck::test
