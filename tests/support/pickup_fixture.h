#pragma once
// A program folder with a real song database, the main window started on it,
// and the seams answered by recorders: warnings, pop-up menus and clipboard.

#include "program_fixture.h"

#include <QStringList>
#include <vector>

class QMenu;

namespace melodeck::test {

class PickupFixture : public ProgramFixture {
public:
    PickupFixture();
    ~PickupFixture();

    // Every row of a table, read through a separate connection, as texts
    // ("<NULL>" for Null), in the order given (an ORDER BY clause or "").
    std::vector<QStringList> tableRows(const QString& table, const QString& order = {}) const;
    static QStringList gridColumn(const FlexGrid* grid, int col) {
        return test::gridColumn(grid, col);
    }
    static int gridRow(const FlexGrid* grid, int col, const QString& text) {
        return test::gridRow(grid, col, text);
    }

    QStringList warnings;
    std::vector<QMenu*> popups;         // menus opened, oldest first
    std::vector<QPoint> popupPositions; // where (global), alongside
    QStringList clipboard;              // every text stored, oldest first
    bool clipboardFails = false;
};

} // namespace melodeck::test
