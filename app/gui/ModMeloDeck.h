#pragma once
#include "app/gui/frmMeloDeck.h"
#include "common/Seams.h"

#include <QFileDialog>
#include <QMessageBox>

#include <memory>

namespace melodeck::ModMeloDeck {

// Creates the main window, loads it and shows it, focus in txt歌手名.
// After a start-up failure: the warning "バグったかな・・・" + description,
// no window, and nullptr.
std::unique_ptr<frmMeloDeck> Main();

// Settles the program folder of the running executable: its own folder when
// that holds the database or the settings file, otherwise the user's data
// folder, made and filled from the installed files at the first start.
// False after the warning "バグったかな・・・" + the reason.
bool UseProgramFolder();

// Installs the real seams (warning box, file dialog, menus, clipboard,
// screen size, message pump, busy cursor), the font substitution and the
// Japanese translations.
void InstallPlatform();

// Qt's own texts (dialog buttons, the file dialog, the text fields' menus)
// in Japanese, as the window is. False when Qt's Japanese translations are
// not installed.
bool InstallTranslations();

// The warning box and the open-file dialog as the real seams show them, in
// the window's font. The caller runs them.
std::unique_ptr<QMessageBox> MakeWarningBox(const QString& title, const QString& text);
std::unique_ptr<QFileDialog> MakeOpenFileDialog(const OpenFileRequest& request);

// Only the font substitution: "MS UI Gothic" becomes a Japanese Gothic face
// installed here (tests use it without the real seams).
void InstallFonts();

} // namespace melodeck::ModMeloDeck
