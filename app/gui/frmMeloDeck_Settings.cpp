// Settings file: conditions and list source, window position, save at exit.
// PLACEHOLDER: replaced by the settings work.
#include "app/gui/frmMeloDeck.h"

namespace melodeck {
void frmMeloDeck::LoadConditions() {}
void frmMeloDeck::RestorePosition() {}
void frmMeloDeck::SaveSettings() {}
} // namespace melodeck
