// Pickup list, grid presses, pop-up menus and clipboard.
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "pickup/PickupSql.h"

namespace melodeck {

namespace {

QString keyOf(const FlexGrid* grid, std::int32_t row) {
    return pickup::KeyText(grid->TextMatrix(row, pickup::KeyColumn));
}

} // namespace

// Every change of the pickup table ends here: the statement, then the pickup
// grid requeried with its own record source so that its sort stays. A refused
// statement (read-only or locked file) is shown and changes nothing, so one
// bad click does not end the program.
void frmMeloDeck::executePickup(const QString& statement) {
    try {
        datPickup.Database().Execute(statement);
        datPickup.Refresh();
        flgPickup->Refresh();
    } catch (const VbError& e) {
        ModCommon::ShowWarning(e.description());
    }
}

void frmMeloDeck::AddPickup(std::int32_t row) {
    if (row < 1 || row >= flgList->Rows())
        return;
    const QString key = keyOf(flgList, row);
    const QString keyField = sColName.value(pickup::KeyColumn);
    try {
        const auto rs =
            datPickup.Database().OpenRecordset(pickup::CountSql(sPickupTable, keyField, key), 4);
        const Value count = rs->RecordCount() > 0 ? rs->FieldValue(0, 0) : Value::null();
        if (ModCommon::NullToZero(count) != 0)
            return; // already picked up
    } catch (const VbError& e) {
        ModCommon::ShowWarning(e.description());
        return;
    }
    executePickup(pickup::InsertSql(sPickupTable, sListTable, keyField, key));
}

void frmMeloDeck::RemovePickup(std::int32_t row) {
    // An empty grid still has a current row; its key cell does not exist.
    if (row < 1 || row >= flgPickup->Rows())
        return;
    executePickup(
        pickup::DeleteSql(sPickupTable, sColName.value(pickup::KeyColumn), keyOf(flgPickup, row)));
}

void frmMeloDeck::cmdピックアップ全解除_Click() {
    executePickup(pickup::ClearSql(sPickupTable));
}

// A double click on the header row belongs to the sort click, not to the
// current row.
void frmMeloDeck::flgList_DblClick() {
    if (flgList->MouseRow() < 1)
        return;
    AddPickup(flgList->Row());
}

void frmMeloDeck::flgPickup_DblClick() {
    if (flgPickup->MouseRow() < 1)
        return;
    RemovePickup(flgPickup->Row());
}

void frmMeloDeck::pressOnGrid(FlexGrid* grid, bool fixedColumnCounts, QMenu* menu, int button,
                              QPoint pos) {
    lClickCol = grid->MouseCol();
    lClickRow = grid->MouseRow();
    if (!pickup::PressTakesCell(fixedColumnCounts, lClickRow, lClickCol, grid->Rows()))
        return;
    grid->setCol(lClickCol);
    grid->setRow(lClickRow);
    if ((button & 2) && seams().popupMenu)
        seams().popupMenu(menu, grid->mapToGlobal(pos));
}

void frmMeloDeck::flgList_MouseDown(int button, int, QPoint pos) {
    pressOnGrid(flgList, true, mnuリストメニュー, button, pos);
}

void frmMeloDeck::flgPickup_MouseDown(int button, int, QPoint pos) {
    pressOnGrid(flgPickup, false, mnuピックアップメニュー, button, pos);
}

void frmMeloDeck::mnuピックアップ_Click() {
    AddPickup(lClickRow);
}

void frmMeloDeck::mnuピックアップ解除_Click() {
    RemovePickup(lClickRow);
}

// A clipboard held by another program is not worth a message: the user
// simply copies again.
void frmMeloDeck::copyCell(const FlexGrid* grid) {
    if (seams().setClipboardText)
        seams().setClipboardText(grid->TextMatrix(lClickRow, lClickCol));
}

void frmMeloDeck::mnuリストコピー_Click() {
    copyCell(flgList);
}

void frmMeloDeck::mnuコピー_Click() {
    copyCell(flgPickup);
}

// Fills the condition only; the search runs at the next cmd抽出.
void frmMeloDeck::mnu検索条件に追加_Click() {
    const QString text = flgList->TextMatrix(lClickRow, lClickCol);
    switch (pickup::ConditionFor(lClickCol, text)) {
    case pickup::Condition::Singer:
        txt歌手名->setText(text);
        break;
    case pickup::Condition::Title:
        txt曲名->setText(text);
        break;
    case pickup::Condition::LyricStart:
        txt歌い出し->setText(text);
        break;
    case pickup::Condition::WithHarmony:
        optハモリ[0]->setChecked(true);
        break;
    case pickup::Condition::NoHarmony:
        optハモリ[1]->setChecked(true);
        break;
    case pickup::Condition::None:
        break;
    }
}

} // namespace melodeck
