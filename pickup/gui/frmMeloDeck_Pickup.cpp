// Pickup list, grid presses, pop-up menus and clipboard.
// PLACEHOLDER: replaced by the pickup work.
#include "app/gui/frmMeloDeck.h"

namespace melodeck {
void frmMeloDeck::AddPickup(std::int32_t) {}
void frmMeloDeck::RemovePickup(std::int32_t) {}
void frmMeloDeck::cmdピックアップ全解除_Click() {}
void frmMeloDeck::flgList_DblClick() {}
void frmMeloDeck::flgPickup_DblClick() {}
void frmMeloDeck::flgList_MouseDown(int, int, QPoint) {}
void frmMeloDeck::flgPickup_MouseDown(int, int, QPoint) {}
void frmMeloDeck::mnuピックアップ_Click() {}
void frmMeloDeck::mnuピックアップ解除_Click() {}
void frmMeloDeck::mnuリストコピー_Click() {}
void frmMeloDeck::mnuコピー_Click() {}
void frmMeloDeck::mnu検索条件に追加_Click() {}
} // namespace melodeck
