#include "common/gui/WindowHelpers.h"

#include "common/Seams.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if MELODECK_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace melodeck::ModCommon {

namespace {

class SelectionKeeper : public QObject {
public:
    explicit SelectionKeeper(QLineEdit* field) : QObject(field), field_(field) {
        field->installEventFilter(this);
        connect(field, &QLineEdit::textChanged, this, [this] { length_ = 0; });
    }

protected:
    bool eventFilter(QObject*, QEvent* ev) override {
        if (ev->type() == QEvent::FocusOut) {
            start_ = field_->selectionStart();
            length_ = field_->selectionLength();
            backwards_ = field_->cursorPosition() == start_;
        } else if (ev->type() == QEvent::FocusIn && length_ > 0 && !field_->hasSelectedText()) {
            // The cursor goes back to the end it was at.
            if (backwards_)
                field_->setSelection(start_ + length_, -length_);
            else
                field_->setSelection(start_, length_);
        }
        return false;
    }

private:
    QLineEdit* field_;
    int start_ = 0, length_ = 0;
    bool backwards_ = false;
};

class OptionGroup : public QObject {
public:
    OptionGroup(QObject* parent, const std::vector<QAbstractButton*>& buttons) : QObject(parent) {
        for (QAbstractButton* b : buttons) {
            buttons_.push_back(b);
            b->installEventFilter(this);
            connect(b, &QAbstractButton::toggled, this, [this] { markTabStop(); });
        }
        markTabStop();
    }

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() == QEvent::FocusOut) {
            // Qt hands the tab stop to whichever button got the focus.
            markTabStop();
        } else if (ev->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(ev);
            if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
                return false;
            switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Left:
                return step(obj, -1);
            case Qt::Key_Down:
            case Qt::Key_Right:
                return step(obj, 1);
            default:
                break;
            }
        }
        return false;
    }

private:
    // Only the selected button is reached by Tab (the first one while none is).
    void markTabStop() {
        QAbstractButton* stop = nullptr;
        for (QAbstractButton* b : buttons_)
            if (b && b->isChecked())
                stop = b;
        if (!stop && !buttons_.empty())
            stop = buttons_.front();
        for (QAbstractButton* b : buttons_)
            if (b)
                b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }

    bool step(QObject* from, int direction) {
        const int n = int(buttons_.size());
        int at = -1;
        for (int i = 0; i < n; ++i)
            if (buttons_[size_t(i)] == from)
                at = i;
        if (at < 0)
            return false;
        for (int k = 1; k < n; ++k) {
            QAbstractButton* b = buttons_[size_t(((at + direction * k) % n + n) % n)];
            if (b && b->isEnabled() && b->isVisibleTo(b->window())) {
                b->setFocus(direction < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
                b->click();
                return true;
            }
        }
        return true;
    }

    std::vector<QPointer<QAbstractButton>> buttons_;
};

} // namespace

QFont WindowFont() {
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPointSizeF(11.25);
    return font;
}

void SelectAllText(QLineEdit* field) {
    if (!field || field->hasSelectedText())
        return;
    field->setSelection(0, int(field->text().size()));
}

void KeepSelectionWhileAway(QLineEdit* field) {
    if (field)
        new SelectionKeeper(field);
}

void MakeOptionGroup(const std::vector<QAbstractButton*>& buttons) {
    if (!buttons.empty() && buttons.front())
        new OptionGroup(buttons.front()->parent(), buttons);
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
    const QSize size = OuterSize(window);
    const double left = (screen.width() - size.width()) / 2.0;
    const double top = (screen.height() - size.height()) / 2.0;
    window->move(std::max(0, int(std::floor(left))), std::max(0, int(std::floor(top))));
}

QSize OuterSize(const QWidget* window) {
    return window->frameGeometry().size();
}

void ShowNoCaption(QWidget* window) {
    if (!window || !window->isWindow() || !window->testAttribute(Qt::WA_WState_Created))
        return;
#if MELODECK_HAVE_XCB
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    const auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    };
    const auto id = xcb_window_t(window->winId());
    // Both names, the one window managers read first and the old one.
    const xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, netName, utf8, 8, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(c);
#endif
}

} // namespace melodeck::ModCommon
