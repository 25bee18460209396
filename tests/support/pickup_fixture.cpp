#include "pickup_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "store_TestDb.h"

#include <gtest/gtest.h>

namespace melodeck::test {

PickupFixture::PickupFixture() {
    answers().warning = [this](const QString&, const QString& text) { warnings << text.trimmed(); };
    answers().popupMenu = [this](QMenu* menu, QPoint pos) {
        popups.push_back(menu);
        popupPositions.push_back(pos);
    };
    answers().setClipboardText = [this](const QString& text) {
        if (clipboardFails)
            return false;
        clipboard << text;
        return true;
    };
    answers().screenSize = [] { return QSize(1280, 1024); };
    answers().processEvents = [] {};
    ModMeloDeck::InstallFonts();
}

PickupFixture::~PickupFixture() {
    stop();
}

void PickupFixture::createDatabase(const std::vector<SongRow>& songs,
                                   const std::vector<SongRow>& picked, const QString& keyType) {
    QString sql = test::schemaSql();
    if (keyType != QLatin1String("INTEGER"))
        sql.replace(QStringLiteral("曲番号 INTEGER"), QStringLiteral("曲番号 ") + keyType);
    const auto insert = [&sql](const QString& table, SongRow r) {
        while (r.size() < kSongFieldCount)
            r << QStringLiteral("NULL");
        sql += QStringLiteral("INSERT INTO %1 VALUES (%2);").arg(table, r.join(QLatin1Char(',')));
    };
    for (const SongRow& r : songs)
        insert(QStringLiteral("MeloDeck"), r);
    for (const SongRow& r : picked)
        insert(QStringLiteral("PickupList"), r);
    test::exec(databasePath(), sql, true);
}

std::vector<QStringList> PickupFixture::tableRows(const QString& table,
                                                  const QString& order) const {
    return test::rows(databasePath(),
                      QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' ') + order);
}

} // namespace melodeck::test
