#pragma once
// A small song table whose texts exercise the search: quotes, typed
// wildcards, full-width and half-width letters, kana of both kinds and
// look-alike dashes, songs with and without a harmony part.

#include "program_fixture.h"

#include <QString>
#include <QStringList>

namespace melodeck::test {

// Creates MeloDeck.mdb in folder with the known songs (numbers 1 to 9).
QString createSearchSongs(const QString& folder);

// The song numbers the list shows, top to bottom, joined by ",".
QString shownNumbers(const FlexGrid* grid);

} // namespace melodeck::test
