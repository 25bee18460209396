// Settings file: conditions and list source, window position, save at exit.
#include "app/Settings.h"
#include "app/gui/frmMeloDeck.h"
#include "common/ModCommon.h"
#include "common/Seams.h"
#include "common/gui/WindowHelpers.h"

namespace melodeck {

using ModCommon::ReadIni;
using ModCommon::WriteIni;
using settings::kListGrid;
using settings::kPickupCond;
using settings::kPickupGrid;
using settings::kPosition;

namespace {

void LoadCondition(const profile::File& ini, const QString& key, QCheckBox* box, QLineEdit* field) {
    const settings::Condition c = settings::ParseCondition(ReadIni(ini, kPickupCond, key));
    frmMeloDeck::setChkValue(box, c.check);
    field->setText(c.text);
}

void SaveCondition(profile::File& ini, const QString& key, const QCheckBox* box,
                   const QLineEdit* field) {
    WriteIni(ini, kPickupCond, key,
             settings::FormatCondition(frmMeloDeck::chkValue(box), field->text()));
}

QString Number(std::int64_t n) {
    return QString::number(n);
}

} // namespace

void frmMeloDeck::LoadConditions(const profile::File& ini) {
    LoadCondition(ini, QStringLiteral("Cond1"), chk歌手名に, txt歌手名);
    LoadCondition(ini, QStringLiteral("Cond2"), chk曲名に, txt曲名);
    LoadCondition(ini, QStringLiteral("Cond3"), chk歌い出しに, txt歌い出し);
    optハモリ[settings::HamoriIndex(ReadIni(ini, kPickupCond, QStringLiteral("Hamori")))]
        ->setChecked(true);
    // An empty stored source empties the field too.
    txtパス->setText(ReadIni(ini, settings::kCsv, QStringLiteral("Path")));
}

int frmMeloDeck::HarmonyIndex() const {
    return optハモリ[0]->isChecked() ? 0 : optハモリ[1]->isChecked() ? 1 : 2;
}

void frmMeloDeck::RestorePosition(const profile::File& ini) {
    storedPosition_.width = ReadIni(ini, kPosition, QStringLiteral("Width"));
    storedPosition_.height = ReadIni(ini, kPosition, QStringLiteral("Height"));
    storedPosition_.left = ReadIni(ini, kPosition, QStringLiteral("Left"));
    storedPosition_.top = ReadIni(ini, kPosition, QStringLiteral("Top"));
    MoveToStoredPosition();
}

void frmMeloDeck::MoveToStoredPosition() {
    const QSize screen = seams().screenSize();
    // Before the first show the frame is not known yet: the window's own size,
    // as the centring measured it.
    const QSize window = ModCommon::OuterSize(this);
    if (const auto at = settings::RestoredPosition(storedPosition_, screen.width(), screen.height(),
                                                   window.width(), window.height()))
        move(at->first, at->second);
}

void frmMeloDeck::SaveSettings() {
    using settings::FlagText;
    // Every value goes into one reading of the file, which is then written
    // back in one piece.
    profile::File ini = ModCommon::OpenIni(location_);
    // In whole pixels: the screen size tells the next start whether the
    // stored position is for this screen.
    const QSize screen = seams().screenSize();
    WriteIni(ini, kPosition, QStringLiteral("Width"), Number(screen.width()));
    WriteIni(ini, kPosition, QStringLiteral("Height"), Number(screen.height()));
    WriteIni(ini, kPosition, QStringLiteral("Left"), Number(pos().x()));
    WriteIni(ini, kPosition, QStringLiteral("Top"), Number(pos().y()));

    const std::int32_t cols = flgList->Cols();
    WriteIni(ini, kListGrid, QStringLiteral("NumColumns"), Number(cols));
    for (std::int32_t i = 1; i <= cols; ++i)
        WriteIni(ini, kListGrid, QStringLiteral("Widht") + Number(i),
                 Number(flgList->ColWidth(i - 1)));
    WriteIni(ini, kListGrid, QStringLiteral("Selected"), FlagText(bSelected));
    WriteIni(ini, kListGrid, QStringLiteral("OrderCol"), Number(lListOrderCol));
    WriteIni(ini, kListGrid, QStringLiteral("OrderDesc"), FlagText(bListOrderDesc));
    WriteIni(ini, kPickupGrid, QStringLiteral("OrderCol"), Number(lPickupOrderCol));
    WriteIni(ini, kPickupGrid, QStringLiteral("OrderDesc"), FlagText(bPickupOrderDesc));

    SaveCondition(ini, QStringLiteral("Cond1"), chk歌手名に, txt歌手名);
    SaveCondition(ini, QStringLiteral("Cond2"), chk曲名に, txt曲名);
    SaveCondition(ini, QStringLiteral("Cond3"), chk歌い出しに, txt歌い出し);
    WriteIni(ini, kPickupCond, QStringLiteral("Hamori"), Number(HarmonyIndex()));
    WriteIni(ini, settings::kCsv, QStringLiteral("Path"), txtパス->text());
    // Not confirmed: a file that cannot be written keeps its former values.
    (void)ini.Save();
}

} // namespace melodeck
