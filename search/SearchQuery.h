#pragma once
// Query texts of the search area: the search over the song table, the whole
// table again, and a record source re-sorted by a header click. Plain text
// builders; the window hands the results to its data controls.

#include "common/SongFields.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace melodeck::search {

// One condition row: the check box value (0 unticked, 1 ticked, 2 grey) and
// the text of its field.
struct ConditionRow {
    int check = 1;
    QString text;
};

// The conditions as the window's controls hold them. Rows in the order
// singer, title, lyric start; harmony is the index of the selected option
// (0 has a harmony part, 1 has none, 2 either).
struct Conditions {
    std::array<ConditionRow, 3> rows;
    int harmony = 2;
};

// A row takes part when its box is ticked (value 1 only) and its text is not
// empty; blanks count as text.
bool TakesPart(const ConditionRow& row);

// "SELECT * FROM " + table + " WHERE 1=1", a LIKE clause per row taking part,
// the harmony clause, then the list's order clause. A condition on a field the
// table lacks raises the subscript error.
QString BuildSearchSource(const QString& sListTable, const QStringList& sColName,
                          const Conditions& conditions, std::int32_t lListOrderCol,
                          bool bListOrderDesc);

// The whole table, sorted by its first field ascending.
QString BuildShowAllSource(const QString& sListTable, const QStringList& sColName);

// A grid's selection covers one whole column: what a header click makes, and
// what any click makes on a grid with a single data row.
bool IsWholeColumnSelection(std::int32_t col, std::int32_t colSel, std::int32_t row,
                            std::int32_t rowSel, std::int32_t rows);

// A click on column col: the same column again reverses the direction,
// another column sorts ascending by it.
void ToggleSort(std::int32_t col, std::int32_t& orderCol, bool& orderDesc);

// The record source with its order clause replaced by the one for
// (orderCol, orderDesc). Everything in front of the clause the program
// appended stays as it was, the blank before it included; a source without
// one gets the clause appended whole.
QString ResortSource(const QString& recordSource, const QStringList& sColName,
                     std::int32_t orderCol, bool orderDesc);

} // namespace melodeck::search
