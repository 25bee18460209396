#pragma once
// A program folder with a real song database, the main window started on it,
// and the seams answered by recorders: warnings, pop-up menus and clipboard.

#include "app/gui/frmMeloDeck.h"
#include "common/Seams.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

class QMenu;

namespace melodeck::test {

// One song row as SQL literals, in table order: key, singer, title, lyric
// start, harmony, remark.
using SongRow = QStringList;

class PickupFixture {
public:
    PickupFixture();
    ~PickupFixture();

    // MeloDeck.mdb in the program folder: the song table filled with songs,
    // the pickup table with picked (both with the same six fields, the key
    // declared as keyType).
    void createDatabase(const std::vector<SongRow>& songs, const std::vector<SongRow>& picked = {},
                        const QString& keyType = QStringLiteral("INTEGER"));
    // Starts the window on the program folder (nullptr after a start-up failure).
    frmMeloDeck* start();
    void stop();
    frmMeloDeck* w() const { return window_.get(); }

    QString folder() const { return dir_.path(); }
    QString databasePath() const;

    // Every row of a table, read through a separate connection, as texts
    // ("<NULL>" for Null), in the order given (an ORDER BY clause or "").
    std::vector<QStringList> tableRows(const QString& table, const QString& order = {}) const;
    // The texts of one grid column, rows 1 to Rows - 1.
    static QStringList gridColumn(const FlexGrid* grid, int col);
    // The first data row of grid whose column col shows text; -1 when none.
    static int gridRow(const FlexGrid* grid, int col, const QString& text);

    QStringList warnings;
    std::vector<QMenu*> popups;         // menus opened, oldest first
    std::vector<QPoint> popupPositions; // where (global), alongside
    QStringList clipboard;              // every text stored, oldest first
    bool clipboardFails = false;

private:
    QTemporaryDir dir_;
    Seams saved_;
    std::unique_ptr<frmMeloDeck> window_;
};

} // namespace melodeck::test
