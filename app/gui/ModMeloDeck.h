#pragma once
#include "app/gui/frmMeloDeck.h"

#include <memory>

namespace melodeck::ModMeloDeck {

// Creates the main window, loads it and shows it, focus in txt歌手名.
// After a start-up failure: the warning "バグったかな・・・" + description,
// no window, and nullptr.
std::unique_ptr<frmMeloDeck> Main();

// Installs the real seams (warning box, file dialog, menus, clipboard,
// screen size, message pump, busy cursor) and the font substitution.
void InstallPlatform();

// Only the font substitution: "MS UI Gothic" becomes a Japanese Gothic face
// installed here (tests use it without the real seams).
void InstallFonts();

} // namespace melodeck::ModMeloDeck
