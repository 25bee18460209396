#pragma once
// The half-width space trimming that the value helpers and the settings-file
// layer share. It stands apart from both so that neither has to include the
// other for it.

#include <QString>
#include <QStringView>

namespace melodeck::ModCommon {

// Half-width spaces removed at both ends (not the ideographic space).
QString TrimSpaces(const QString& text);
QStringView TrimSpaces(QStringView text);

} // namespace melodeck::ModCommon
