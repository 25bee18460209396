#pragma once
// The common ground of the window fixtures: a program folder in a temporary
// directory, the seams in force for the fixture's lifetime, a song database
// built there, and the main window started through ModMeloDeck::Main on
// that folder.
// Pop-up menus are not shown and clipboard texts are accepted unless a
// fixture answers those seams its own way.

#include "scoped_state.h"
#include "store_TestDb.h"

#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace melodeck::test {

class ProgramFixture {
public:
    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    QString folder() const { return dir_.path(); }
    // name inside the program folder.
    QString path(const QString& name) const;
    QString databasePath() const { return path(QStringLiteral("MeloDeck.mdb")); }

    // The database in the program folder (see test::createSongDb); returns
    // its path.
    QString createDatabase(const SongDb& db,
                           const QString& fileName = QStringLiteral("MeloDeck.mdb")) const;
    // The same holding n songs of test::countdownSongs.
    QString createDatabase(int songs = 5,
                           const QString& fileName = QStringLiteral("MeloDeck.mdb")) const;

    frmMeloDeck* start(); // on location; nullptr after a start-up failure
    void stop();
    frmMeloDeck* w() const { return window_.get(); }

    // The seams the window meets while the fixture lives.
    Seams& answers() { return seams_.get(); }
    // Where the window started next keeps its files: the temporary folder.
    ModCommon::ProgramLocation location;

protected:
    ProgramFixture();
    // A derived fixture calls stop() in its own destructor: the window may
    // still call the seams, which reach the derived fixture's members.
    ~ProgramFixture();

    QTemporaryDir dir_;
    ScopedSeams seams_;
    std::unique_ptr<frmMeloDeck> window_;
};

// True when any top-level widget is shown.
bool anyWindowVisible();

// The texts of column col in the data rows of a grid (rows 1 to Rows - 1).
QStringList gridColumn(const FlexGrid* grid, int col);
// The first data row of grid whose column col shows text; -1 when none.
int gridRow(const FlexGrid* grid, int col, const QString& text);

} // namespace melodeck::test
