#pragma once
// What the database engine reports, in the words the user reads: the
// engine's English messages that reach a user are given in Japanese with the
// names they carry; any other keeps the engine's words after a Japanese lead.

#include <QString>

namespace melodeck {

// The description of an engine result code rc (extended codes allowed) with
// the engine's message for it, for the database file at path.
QString DescribeEngineError(const QString& path, int rc, const char* engineMessage);

// Raises VbError (Database) with that description.
[[noreturn]] void RaiseEngineError(const QString& path, int rc, const char* engineMessage);

} // namespace melodeck
