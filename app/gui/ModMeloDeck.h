#pragma once
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTranslator>

#include <memory>
#include <optional>

namespace melodeck::ModMeloDeck {

// Why the window cannot open on the display that the command line and the
// environment name, as the line for the error output: none is named, or an
// X display cannot be reached (Qt would abort there). "" when it can, and
// when Qt is left to find out for itself (a Wayland session, offscreen).
// Runs before the application object exists.
QString DisplayProblem(int argc, char** argv);

// Creates the main window on location, loads it and shows it, focus in
// txt歌手名. After a start-up failure: the warning "バグったかな・・・" +
// description, no window, and nullptr.
std::unique_ptr<frmMeloDeck> Main(const ModCommon::ProgramLocation& location);

// Settles the program folder of the running executable: its own folder when
// that holds the database or the settings file, otherwise the user's data
// folder, made and filled from the installed files at the first start.
// Nothing after the warning "バグったかな・・・" + the reason.
std::optional<ModCommon::ProgramLocation> UseProgramFolder();

// The real seams (warning box, file dialog, menus, clipboard, screen size,
// message pump, busy cursor), for a ScopedSeams of the program's run.
Seams PlatformSeams();

// Qt's own texts (dialog buttons, the file dialog, the text fields' menus)
// in Japanese, as the window is, for as long as the translator returned
// lives. nullptr when Qt's Japanese translations are not installed.
std::unique_ptr<QTranslator> InstallTranslations();

// The warning box and the open-file dialog as the real seams show them, in
// the window's font. The caller runs them.
std::unique_ptr<QMessageBox> MakeWarningBox(const QString& title, const QString& text);
std::unique_ptr<QFileDialog> MakeOpenFileDialog(const OpenFileRequest& request);

// Only the font substitution: "MS UI Gothic" becomes a Japanese Gothic face
// installed here (tests use it without the real seams).
void InstallFonts();

} // namespace melodeck::ModMeloDeck
