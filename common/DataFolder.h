#pragma once
// Where an installed program keeps the files it writes. A built or unpacked
// program keeps them beside the executable; an installed one, whose own
// folder belongs to the system, keeps them in the user's data folder, made
// at the first start from the files the installation ships.

#include <QString>
#include <QStringList>

namespace melodeck::DataFolder {

// The files a program folder starts with: database, first settings, sample list.
QStringList ShippedFiles();

// The user's data folder of the program: $XDG_DATA_HOME/melodeck, or
// $HOME/.local/share/melodeck when XDG_DATA_HOME is empty or not absolute.
// "" when neither gives an absolute folder.
QString UserFolder(const QString& xdgDataHome, const QString& home);

// The program folder for an executable in exeDir: exeDir itself when it holds
// the database or the settings file, otherwise UserFolder.
QString Choose(const QString& exeDir, const QString& xdgDataHome, const QString& home);

// Makes folder (with its parents) and copies into it each shipped file from
// shippedDir that it does not hold yet; a file that is there is never
// replaced. A relative list source in copied first settings is made to name
// the copy beside them. Returns "" or what failed, with the reason.
QString Prepare(const QString& folder, const QString& shippedDir);

} // namespace melodeck::DataFolder
