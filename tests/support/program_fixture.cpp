#include "program_fixture.h"

#include "app/gui/ModMeloDeck.h"
#include "store/gui/FlexGrid.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

namespace melodeck::test {

ProgramFixture::ProgramFixture() : seams_(seams()) {
    EXPECT_TRUE(dir_.isValid());
    location = {dir_.path(), QStringLiteral("MeloDeck")};
    answers().popupMenu = [](QMenu*, QPoint) {};
    answers().setClipboardText = [](const QString&) { return true; };
}

ProgramFixture::~ProgramFixture() {
    stop();
}

QString ProgramFixture::path(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

QString ProgramFixture::createDatabase(const SongDb& db, const QString& fileName) const {
    return createSongDb(dir_.path(), db, fileName);
}

QString ProgramFixture::createDatabase(int songs, const QString& fileName) const {
    return createDatabase(SongDb{countdownSongs(songs)}, fileName);
}

frmMeloDeck* ProgramFixture::start() {
    window_ = ModMeloDeck::Main(location);
    return window_.get();
}

void ProgramFixture::stop() {
    window_.reset();
}

bool anyWindowVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return true;
    return false;
}

QStringList gridColumn(const FlexGrid* grid, int col) {
    QStringList texts;
    for (int r = 1; r < grid->Rows(); ++r)
        texts << grid->TextMatrix(r, col);
    return texts;
}

int gridRow(const FlexGrid* grid, int col, const QString& text) {
    for (int r = 1; r < grid->Rows(); ++r)
        if (grid->TextMatrix(r, col) == text)
            return r;
    return -1;
}

} // namespace melodeck::test
