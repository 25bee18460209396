// Pickup list, grid presses, pop-up menus and clipboard.
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/VbError.h"
#include "pickup/PickupSql.h"

#include <algorithm>

namespace melodeck {

namespace {

QString keyOf(const FlexGrid* grid, std::int32_t row) {
    return pickup::KeyText(grid->TextMatrix(row, KeyColumn));
}

} // namespace

// Every change of the pickup table ends here: the statement, then the pickup
// grid requeried with its own record source so that its sort stays. A refused
// statement (read-only or locked file) is shown and changes nothing, so one
// bad click does not end the program.
void frmMeloDeck::executePickup(const QString& statement) {
    try {
        datPickup.Database().Execute(statement);
        CheckpointWhenIdle();
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
    const QString keyField = sColName.value(KeyColumn);
    try {
        const auto rs =
            datPickup.Database().OpenRecordset(pickup::CountSql(sPickupTable, keyField, key));
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
        pickup::DeleteSql(sPickupTable, sColName.value(KeyColumn), keyOf(flgPickup, row)));
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

bool frmMeloDeck::flgList_KeyDown(int key, int shift) {
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && shift == 0) {
        AddPickup(flgList->Row());
        return true;
    }
    return gridKey(flgList, true, mnuリストメニュー, key, shift);
}

bool frmMeloDeck::flgPickup_KeyDown(int key, int shift) {
    if (key == Qt::Key_Delete && shift == 0) {
        RemovePickup(flgPickup->Row());
        return true;
    }
    return gridKey(flgPickup, false, mnuピックアップメニュー, key, shift);
}

bool frmMeloDeck::gridKey(FlexGrid* grid, bool fixedColumnCounts, QMenu* menu, int key, int shift) {
    if (key == Qt::Key_C && shift == 2) {
        // The selected cells as tab-separated lines: a header click selects
        // a whole column, so this copies the column.
        const std::int32_t r0 = std::min(grid->Row(), grid->RowSel());
        const std::int32_t r1 = std::max(grid->Row(), grid->RowSel());
        const std::int32_t c0 = std::min(grid->Col(), grid->ColSel());
        const std::int32_t c1 = std::max(grid->Col(), grid->ColSel());
        QString text;
        for (std::int32_t r = std::max(r0, 1); r <= r1; ++r) {
            if (r > std::max(r0, 1))
                text += QLatin1Char('\n');
            for (std::int32_t c = c0; c <= c1; ++c) {
                if (c > c0)
                    text += QLatin1Char('\t');
                text += grid->TextMatrix(r, c);
            }
        }
        if (seams().setClipboardText)
            seams().setClipboardText(text);
        return true;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && shift == 1)) {
        // As a right press on the current cell would: its menu, at the cell.
        lClickCol = grid->Col();
        lClickRow = grid->Row();
        if (!pickup::PressTakesCell(fixedColumnCounts, lClickRow, lClickCol, grid->Rows()))
            return true;
        grid->setCol(lClickCol);
        grid->setRow(lClickRow);
        grid->scrollTo(
            grid->model()->index(std::max(lClickRow, 1) - 1, std::max(lClickCol, 1) - 1));
        if (seams().popupMenu)
            seams().popupMenu(menu, grid->mapToGlobal(grid->cellCenter(lClickRow, lClickCol)));
        return true;
    }
    return false;
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
