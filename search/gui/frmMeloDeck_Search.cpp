// Search, show-all, clear conditions, focus selection and header sort.
// PLACEHOLDER: replaced by the search work.
#include "app/gui/frmMeloDeck.h"

namespace melodeck {
void frmMeloDeck::cmd抽出_Click() {}
void frmMeloDeck::cmd抽出解除_Click() {}
void frmMeloDeck::cmd条件クリア_Click() {}
void frmMeloDeck::txt歌手名_GotFocus() {}
void frmMeloDeck::txt曲名_GotFocus() {}
void frmMeloDeck::txt歌い出し_GotFocus() {}
void frmMeloDeck::txtパス_GotFocus() {}
void frmMeloDeck::flgList_Click() {}
void frmMeloDeck::flgPickup_Click() {}
} // namespace melodeck
