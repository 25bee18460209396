#pragma once
// Statement texts and small decisions of the pickup list and the grids'
// pop-up menus, kept apart from the window so that they can be checked
// without a display.

#include "common/SongFields.h"

#include <QString>
#include <cstdint>

namespace melodeck::pickup {

// The key as it goes into a statement: the leading number of the key cell's
// text in plain decimal ("00123" gives 123, a text without a number gives 0).
QString KeyText(const QString& keyCellText);

// "SELECT COUNT(*) FROM <pickup> WHERE <key field> = <key>"
QString CountSql(const QString& pickupTable, const QString& keyField, const QString& keyText);

// "INSERT INTO <pickup> SELECT * FROM <list> WHERE <key field> = <key>"
QString InsertSql(const QString& pickupTable, const QString& listTable, const QString& keyField,
                  const QString& keyText);

// "DELETE FROM <pickup> WHERE <key field> = <key>"
QString DeleteSql(const QString& pickupTable, const QString& keyField, const QString& keyText);

// "DELETE FROM <pickup>"
QString ClearSql(const QString& pickupTable);

// Whether a button press on a grid goes on to move the current cell (and
// perhaps open the menu). The song list takes presses on its fixed column
// too; the pickup list does not. A grid without records takes none, and no
// grid takes a press past its last column (col -1), where there is no cell.
bool PressTakesCell(bool fixedColumnCounts, std::int32_t row, std::int32_t col, std::int32_t rows);

// What "検索条件に追加" does with the text of a song-list cell.
enum class Condition {
    None,        // columns without a search condition
    Singer,      // txt歌手名 becomes the text
    Title,       // txt曲名 becomes the text
    LyricStart,  // txt歌い出し becomes the text
    WithHarmony, // optハモリ(0)
    NoHarmony,   // optハモリ(1)
};
Condition ConditionFor(std::int32_t col, const QString& cellText);

} // namespace melodeck::pickup
