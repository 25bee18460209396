// Search, show-all, clear conditions, focus selection and header sort.
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/VbError.h"
#include "common/clsMousePointer.h"
#include "common/gui/WindowHelpers.h"
#include "search/SearchQuery.h"

namespace melodeck {

namespace {

search::Conditions ConditionsOf(const frmMeloDeck& w) {
    search::Conditions c;
    c.rows[0] = {frmMeloDeck::chkValue(w.chk歌手名に), w.txt歌手名->text()};
    c.rows[1] = {frmMeloDeck::chkValue(w.chk曲名に), w.txt曲名->text()};
    c.rows[2] = {frmMeloDeck::chkValue(w.chk歌い出しに), w.txt歌い出し->text()};
    c.harmony = w.HarmonyIndex();
    return c;
}

// Puts the sort state to (col, desc) and requeries; a requery that fails
// leaves the rows as they were, and the state goes back with them.
template <class Requery>
bool TrySort(std::int32_t& orderCol, bool& orderDesc, std::int32_t col, bool desc,
             Requery&& requery) {
    const std::int32_t oldCol = orderCol;
    const bool oldDesc = orderDesc;
    orderCol = col;
    orderDesc = desc;
    if (requery())
        return true;
    orderCol = oldCol;
    orderDesc = oldDesc;
    return false;
}

} // namespace

bool frmMeloDeck::RequeryOrWarn(DataControl& dc, FlexGrid* grid, const QString& source) {
    const QString previous = dc.RecordSource;
    dc.RecordSource = source;
    try {
        dc.Refresh();
    } catch (const VbError& e) {
        // A pattern the engine cannot read ("[abc") must not end the program:
        // the data control still holds the previous rows, so the grid stays.
        dc.RecordSource = previous;
        ModCommon::ShowWarning(e.description());
        return false;
    }
    grid->Refresh();
    return true;
}

void frmMeloDeck::cmd抽出_Click() {
    clsMousePointer pointer;
    pointer.Busy();
    QString source;
    try {
        source = search::BuildSearchSource(sListTable, sColName, ConditionsOf(*this), lListOrderCol,
                                           bListOrderDesc);
    } catch (const VbError& e) {
        // A song table with too few fields for the condition.
        ModCommon::ShowWarning(e.description());
        return;
    }
    if (RequeryOrWarn(datList, flgList, source))
        bSelected = true;
}

void frmMeloDeck::cmd抽出解除_Click() {
    if (TrySort(lListOrderCol, bListOrderDesc, 0, false, [&] {
            return RequeryOrWarn(datList, flgList,
                                 search::BuildShowAllSource(sListTable, sColName));
        }))
        bSelected = false;
    ShowSortMarks();
}

void frmMeloDeck::cmd条件クリア_Click() {
    setChkValue(chk歌手名に, 1);
    txt歌手名->setText(QString());
    setChkValue(chk曲名に, 1);
    txt曲名->setText(QString());
    setChkValue(chk歌い出しに, 1);
    txt歌い出し->setText(QString());
    optハモリ[2]->setChecked(true);
}

// Typing into a condition field replaces its previous text.
void frmMeloDeck::txt歌手名_GotFocus() {
    ModCommon::SelectAllText(txt歌手名);
}
void frmMeloDeck::txt曲名_GotFocus() {
    ModCommon::SelectAllText(txt曲名);
}
void frmMeloDeck::txt歌い出し_GotFocus() {
    ModCommon::SelectAllText(txt歌い出し);
}
void frmMeloDeck::txtパス_GotFocus() {
    ModCommon::SelectAllText(txtパス);
}

void frmMeloDeck::SortByHeader(FlexGrid* grid, DataControl& dc, std::int32_t& orderCol,
                               bool& orderDesc) {
    if (!search::IsWholeColumnSelection(grid->Col(), grid->ColSel(), grid->Row(), grid->RowSel(),
                                        grid->Rows()))
        return;
    clsMousePointer pointer;
    pointer.Busy();
    std::int32_t col = orderCol;
    bool desc = orderDesc;
    search::ToggleSort(grid->Col(), col, desc);
    TrySort(orderCol, orderDesc, col, desc, [&] {
        return RequeryOrWarn(dc, grid, search::ResortSource(dc.RecordSource, sColName, col, desc));
    });
    ShowSortMarks();
}

void frmMeloDeck::ShowSortMarks() {
    // A stored column outside the fields sorts by column 1, ascending.
    const auto show = [this](FlexGrid* grid, std::int32_t col, bool desc) {
        if (col < 1 || col >= sColName.size())
            grid->setSortMark(1, false);
        else
            grid->setSortMark(col, desc);
    };
    show(flgList, lListOrderCol, bListOrderDesc);
    show(flgPickup, lPickupOrderCol, bPickupOrderDesc);
}

void frmMeloDeck::flgList_Click() {
    SortByHeader(flgList, datList, lListOrderCol, bListOrderDesc);
}

void frmMeloDeck::flgPickup_Click() {
    SortByHeader(flgPickup, datPickup, lPickupOrderCol, bPickupOrderDesc);
}

} // namespace melodeck
