#pragma once
// A private-profile (INI) file layer that reads and writes files the way the
// Windows ANSI profile functions do: code page 932, CR LF, untouched lines
// kept byte for byte, values read into a 255-byte buffer.

#include <QString>

namespace melodeck::profile {

// The value of key in section, or def when the file, section or key is
// missing. At most 254 bytes of code page 932, never cut inside a character.
QString GetString(const QString& section, const QString& key, const QString& def,
                  const QString& filePath);

// Writes key=value into section, creating file, section and key as needed.
// Returns false when the file cannot be written (nothing is changed then).
bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& filePath);

} // namespace melodeck::profile
