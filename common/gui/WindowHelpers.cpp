#include "common/gui/WindowHelpers.h"

#include "common/ModCommon.h"
#include "common/Seams.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace melodeck::ModCommon {

QFont WindowFont() {
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPointSizeF(11.25);
    return font;
}

void SelectAllText(QLineEdit* field) {
    try {
        if (!field)
            return;
        const QString text = field->text();
        const int bytes = ByteLen(TrimSpaces(text));
        if (field->hasSelectedText() || bytes == 0)
            return;
        // The byte count of a full-width text exceeds its length: the field
        // stops the selection at its end.
        field->setSelection(0, std::min<int>(bytes, int(text.size())));
    } catch (...) {
        // Selecting is a convenience; the field simply stays as it was.
    }
}

void SetSizable(QWidget* window, bool sizable) {
    if (!window)
        return;
    const bool visible = window->isVisible();
    Qt::WindowFlags f = window->windowFlags();
    if (sizable) {
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        f &= ~Qt::WindowFlags(Qt::CustomizeWindowHint);
        f |= Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
    } else {
        window->setFixedSize(window->size());
        f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
             Qt::WindowMinimizeButtonHint;
        f &= ~Qt::WindowFlags(Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    }
    window->setWindowFlags(f);
    if (visible) // new flags hide a shown window
        window->show();
}

void CenterForm(QWidget* window) {
    if (!window)
        return;
    if (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    QSize screen;
    if (seams().screenSize)
        screen = seams().screenSize();
    else if (const QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->size();
    const double left = (screen.width() - size.width()) / 2.0;
    const double top = (screen.height() - size.height()) / 2.0;
    window->move(std::max(0, int(std::floor(left))), std::max(0, int(std::floor(top))));
}

} // namespace melodeck::ModCommon
