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

void LoadCondition(const QString& key, QCheckBox* box, QLineEdit* field) {
    const settings::Condition c = settings::ParseCondition(ReadIni(kPickupCond, key));
    frmMeloDeck::setChkValue(box, c.check);
    field->setText(c.text);
}

void SaveCondition(const QString& key, const QCheckBox* box, const QLineEdit* field) {
    WriteIni(kPickupCond, key,
             settings::FormatCondition(frmMeloDeck::chkValue(box), field->text()));
}

QString Number(std::int64_t n) {
    return QString::number(n);
}

} // namespace

void frmMeloDeck::LoadConditions() {
    LoadCondition(QStringLiteral("Cond1"), chk歌手名に, txt歌手名);
    LoadCondition(QStringLiteral("Cond2"), chk曲名に, txt曲名);
    LoadCondition(QStringLiteral("Cond3"), chk歌い出しに, txt歌い出し);
    optハモリ[settings::HamoriIndex(ReadIni(kPickupCond, QStringLiteral("Hamori")))]->setChecked(
        true);
    // An empty stored source empties the field too.
    txtパス->setText(ReadIni(settings::kCsv, QStringLiteral("Path")));
}

int frmMeloDeck::HarmonyIndex() const {
    return optハモリ[0]->isChecked() ? 0 : optハモリ[1]->isChecked() ? 1 : 2;
}

void frmMeloDeck::RestorePosition() {
    storedPosition_.width = ReadIni(kPosition, QStringLiteral("Width"));
    storedPosition_.height = ReadIni(kPosition, QStringLiteral("Height"));
    storedPosition_.left = ReadIni(kPosition, QStringLiteral("Left"));
    storedPosition_.top = ReadIni(kPosition, QStringLiteral("Top"));
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
    // In whole pixels: the screen size tells the next start whether the
    // stored position is for this screen.
    const QSize screen = seams().screenSize();
    WriteIni(kPosition, QStringLiteral("Width"), Number(screen.width()));
    WriteIni(kPosition, QStringLiteral("Height"), Number(screen.height()));
    WriteIni(kPosition, QStringLiteral("Left"), Number(pos().x()));
    WriteIni(kPosition, QStringLiteral("Top"), Number(pos().y()));

    const std::int32_t cols = flgList->Cols();
    WriteIni(kListGrid, QStringLiteral("NumColumns"), Number(cols));
    for (std::int32_t i = 1; i <= cols; ++i)
        WriteIni(kListGrid, QStringLiteral("Widht") + Number(i), Number(flgList->ColWidth(i - 1)));
    WriteIni(kListGrid, QStringLiteral("Selected"), FlagText(bSelected));
    WriteIni(kListGrid, QStringLiteral("OrderCol"), Number(lListOrderCol));
    WriteIni(kListGrid, QStringLiteral("OrderDesc"), FlagText(bListOrderDesc));
    WriteIni(kPickupGrid, QStringLiteral("OrderCol"), Number(lPickupOrderCol));
    WriteIni(kPickupGrid, QStringLiteral("OrderDesc"), FlagText(bPickupOrderDesc));

    SaveCondition(QStringLiteral("Cond1"), chk歌手名に, txt歌手名);
    SaveCondition(QStringLiteral("Cond2"), chk曲名に, txt曲名);
    SaveCondition(QStringLiteral("Cond3"), chk歌い出しに, txt歌い出し);
    WriteIni(kPickupCond, QStringLiteral("Hamori"), Number(HarmonyIndex()));
    WriteIni(settings::kCsv, QStringLiteral("Path"), txtパス->text());
}

} // namespace melodeck
