#include "pickup_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "store_TestDb.h"

#include <gtest/gtest.h>

namespace melodeck::test {

namespace {

QString schema(const QString& keyType) {
    return QStringLiteral("(曲番 %1, 歌手名 TEXT(100), 曲名 TEXT(100), 歌い出し TEXT(100), "
                          "ハモリ TEXT(10), 備考 TEXT(50))")
        .arg(keyType);
}

} // namespace

PickupFixture::PickupFixture() {
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
    ModMeloDeck::InstallFonts();
}

PickupFixture::~PickupFixture() {
    stop();
}

void PickupFixture::createDatabase(const std::vector<SongRow>& songs,
                                   const std::vector<SongRow>& picked, const QString& keyType) {
    QString sql = QStringLiteral("CREATE TABLE MeloDeck %1; CREATE TABLE PickupList %1;")
                      .arg(schema(keyType));
    for (const SongRow& r : songs)
        sql += QStringLiteral("INSERT INTO MeloDeck VALUES (%1);").arg(r.join(QLatin1Char(',')));
    for (const SongRow& r : picked)
        sql += QStringLiteral("INSERT INTO PickupList VALUES (%1);").arg(r.join(QLatin1Char(',')));
    test::exec(databasePath(), sql, true);
}

std::vector<QStringList> PickupFixture::tableRows(const QString& table,
                                                  const QString& order) const {
    return test::rows(databasePath(),
                      QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' ') + order);
}

} // namespace melodeck::test
