#pragma once
// Rules of the settings file that need no window: how a condition value is
// split and formed, how the harmony index is read, and where a stored window
// position may be restored.

#include <QString>
#include <cstdint>
#include <optional>

namespace melodeck {
class Database;
}

namespace melodeck::settings {

// The sections of the settings file.
inline const QString kPosition = QStringLiteral("Position");
inline const QString kListGrid = QStringLiteral("ListGrid");
inline const QString kPickupGrid = QStringLiteral("PickupGrid");
inline const QString kPickupCond = QStringLiteral("PickupCond");
inline const QString kCsv = QStringLiteral("CSV");
inline const QString kMdb = QStringLiteral("MDB");

// A number read from the settings file, rounded to 32 bits; nothing when it
// is too large for that (an edited file holding 1e308), which callers take
// as a value not given rather than a reason to stop.
std::optional<std::int32_t> StoredLong(const QString& text);

// A "Cond1".."Cond3" value: the flag before the first comma, the field's text
// after it (later commas belong to the text). A value without a comma is the
// flag alone. The box is ticked unless the flag reads as the number 0.
struct Condition {
    int check = 0;
    QString text;
};
Condition ParseCondition(const QString& value);
// "1," + text when the box has the value 1, "0," + text otherwise.
QString FormatCondition(int check, const QString& text);

// "Hamori": 0 and 1 select those options, anything else the third (2).
// Absent reads as 0.
int HamoriIndex(const QString& value);

// "1" or "0".
QString FlagText(bool value);

// Raises VbError when the song table and the pickup table named in the
// settings are one table of db, as the engine resolves the two names: the
// pickup list is emptied and the song list replaced by deleting every row,
// so one table under both names would lose every song.
void RequireSeparateTables(Database& db, const QString& listTable, const QString& pickupTable);

// A stored window position as read back at start-up.
struct StoredPosition {
    QString width, height, left, top; // "Position" values as read
};

// Where the window goes, or nothing when it stays where it is: the stored
// screen size must equal the current one (compared in single precision), the
// stored edges must be greater than 0 and fit 32 bits, and the window must end
// before the screen's right and bottom edges.
std::optional<std::pair<std::int32_t, std::int32_t>>
RestoredPosition(const StoredPosition& stored, double screenWidthPx, double screenHeightPx,
                 double windowWidthPx, double windowHeightPx);

} // namespace melodeck::settings
