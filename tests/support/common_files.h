#pragma once
// Whole files as bytes, for tests that write inputs and compare outputs.

#include <QByteArray>
#include <QString>

namespace melodeck::test {

// The bytes of a file; empty when it cannot be read.
QByteArray ReadBytes(const QString& path);
// Writes bytes to a file, replacing it; fails the test when it cannot.
void WriteBytes(const QString& path, const QByteArray& bytes);

} // namespace melodeck::test
