#pragma once
// Plain routines shared by the window's handlers: numbers read from text,
// value and text helpers, byte measure in code page 932, the warning text,
// the program's location and the settings-file access.

#include "common/PrivateProfile.h"
#include "common/Trim.h" // TrimSpaces
#include "common/Value.h"

#include <QString>
#include <cstdint>

namespace melodeck::ModCommon {

// ---- numbers -------------------------------------------------------------

// The number a text begins with, read leniently: blanks, tabs and line feeds
// are skipped anywhere; sign, digits, decimal point, exponent (E or D);
// &H / &O prefixes; stops at the first character that cannot continue the
// number. 0 when the text does not begin with a number.
double LeadingNumber(const QString& text);

// Nearest integer, halves to the even neighbour.
double RoundHalfEven(double v);

// Round to a 32-bit signed integer (halves to even); VbError::overflow when
// the result does not fit (NaN included).
std::int32_t RoundToLong(double v);

// Strict conversion: the whole text (blanks around it allowed) must read as a
// number, then it is rounded to 32 bits. VbError::typeMismatch for an empty or
// non-numeric text, VbError::overflow beyond 32 bits.
std::int32_t StrictLong(const QString& text);

// ---- value helpers -------------------------------------------------------

double NullToZero(const Value& v);
QString NullToStr(const Value& v); // trims half-width spaces only

// Every occurrence of ch doubled.
QString DoubleChar(const QString& text, QChar ch);

// Takes the next token off text: the part before the first occurrence of the
// first delimiter of the list that occurs at all; the whole text when none
// occurs. With remove, text loses the token and one delimiter, so that a text
// used up gives empty tokens.
QString GetToken(QString& text, const QString& delimiters, const bool& remove);
// The same rule, with removal, on a view: for callers that split many lines
// without copying them.
QStringView TakeToken(QStringView& text, QStringView delimiters);

// text followed by ch unless it already ends with ch.
QString AddLastChar(const QString& text, QChar ch);

// Removes trailing blanks and NUL characters.
QString TrimNull(const QString& text);

// ---- code page 932 measure ------------------------------------------------

std::int32_t ByteLen(const QString& text);
QString ByteLeft(const QString& text, std::int32_t n);

// The text a warning box shows: a message shorter than 60 bytes padded with
// half-width spaces to exactly 60 bytes; longer ones unchanged.
QString WarningText(const QString& message);

// Title of every warning box.
QString WarningTitle();

// Shows a modal warning through the warning seam (see common/Seams.h).
void ShowWarning(const QString& message);

// ---- program location and settings file -----------------------------------

// Where the program keeps its files: the folder of the settings file and of
// the database, and the name the download's temporary file takes. Settled
// once at start-up and handed to the window; a test gives its own.
struct ProgramLocation {
    QString folder; // no trailing separator
    QString name;   // the program's file name without extension

    // folder joined with a file name by "/".
    QString file(const QString& fileName) const { return folder + u'/' + fileName; }
};

QString GetIniPath(const ProgramLocation& location);

// The settings file read once. Start-up takes every value from one reading,
// and the exit button writes every value into one reading and then saves it
// (the result of the save is not used: a settings file that cannot be written
// simply keeps its former values).
profile::File OpenIni(const ProgramLocation& location);

// A value with trailing blanks and NULs removed ("" when absent).
QString ReadIni(const profile::File& ini, const QString& section, const QString& key);
void WriteIni(profile::File& ini, const QString& section, const QString& key, const QString& value);

} // namespace melodeck::ModCommon
