#include "import/gui/frmWait.h"

#include "common/Twips.h"
#include "common/gui/WindowHelpers.h"

#include <algorithm>
#include <climits>

namespace melodeck {

using twips::ToPixels;

frmWait::frmWait(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmWait"));
    setModal(false);
    setWindowTitle(QString());
    setFixedSize(ToPixels(5775), ToPixels(1125));

    setFont(ModCommon::WindowFont());

    Label2 = new QLabel(QStringLiteral("取り込んでいます．．．"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(ToPixels(315), ToPixels(90), ToPixels(2565), ToPixels(375));

    prgWait = new QProgressBar(this);
    prgWait->setObjectName(QStringLiteral("prgWait"));
    prgWait->setGeometry(ToPixels(300), ToPixels(555), ToPixels(4995), ToPixels(360));
    prgWait->setTextVisible(false);
    prgWait->setRange(0, 1);
    prgWait->setValue(0);
}

void frmWait::showEvent(QShowEvent* ev) {
    QDialog::showEvent(ev);
    ModCommon::ShowNoCaption(this);
}

void frmWait::setMax(std::int64_t max) {
    max = max < 0 ? kUnknown : max;
    if (max == max_)
        return;
    max_ = max;
    if (max_ == kUnknown) {
        prgWait->setRange(0, 0);
        return;
    }
    shift_ = 0;
    while ((max_ >> shift_) > INT_MAX)
        ++shift_;
    // An empty list leaves the bar empty rather than a busy animation.
    const int top = std::max(1, int(max_ >> shift_));
    prgWait->setRange(0, top);
    prgWait->setValue(0);
    // Far finer than a pixel of any bar: smaller steps would not show.
    step_ = std::max(1, top / 4096);
}

void frmWait::setValue(std::int64_t value) {
    if (max_ == kUnknown)
        return;
    const int v = int(std::clamp<std::int64_t>(value, 0, max_) >> shift_);
    // QProgressBar::setValue formats its text on every call, even a hidden
    // one, which would cost as much as the row itself; call it per visible
    // step and always for the last value.
    const int shown = prgWait->value();
    if (v == shown || (v > shown && v - shown < step_ && v < prgWait->maximum()))
        return;
    prgWait->setValue(v);
}

} // namespace melodeck
