#pragma once
// A small song table whose texts exercise the search: quotes, typed
// wildcards, full-width and half-width letters, kana of both kinds and
// look-alike dashes, songs with and without a harmony part.

#include "store/gui/FlexGrid.h"

#include <QString>
#include <QStringList>
#include <ostream>

namespace melodeck::test {

// Creates MeloDeck.mdb in folder with the known songs (numbers 1 to 9).
QString createSearchSongs(const QString& folder);

// The texts of column col in the data rows of a grid.
QStringList gridColumn(const FlexGrid* grid, int col);

// The song numbers the list shows, top to bottom, joined by ",".
QString shownNumbers(const FlexGrid* grid);

} // namespace melodeck::test

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
