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

std::vector<QStringList> PickupFixture::tableRows(const QString& table,
                                                  const QString& order) const {
    return test::rows(databasePath(),
                      QStringLiteral("SELECT * FROM ") + table + QLatin1Char(' ') + order);
}

} // namespace melodeck::test
