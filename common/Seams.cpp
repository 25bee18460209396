#include "common/Seams.h"

#include <QCoreApplication>

#include <cassert>
#include <cstdio>
#include <utility>

namespace melodeck {

namespace {

Seams makeDefaults() {
    Seams s;
    s.warning = [](const QString& title, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", title.toUtf8().constData(), text.toUtf8().constData());
    };
    s.openFile = [](const OpenFileRequest&) { return QString(); };
    s.popupMenu = [](QMenu*, QPoint) {};
    s.setClipboardText = [](const QString&) { return false; };
    s.screenSize = [] { return QSize(1920, 1080); };
    s.processEvents = [] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    };
    s.showPointer = [](std::int16_t) {};
    return s;
}

// The innermost scope's set; nullptr while no scope is alive.
const Seams* inForce = nullptr;

} // namespace

const Seams& seams() {
    if (inForce)
        return *inForce;
    static const Seams defaults = makeDefaults();
    return defaults;
}

ScopedSeams::ScopedSeams(Seams installed) : seams_(std::move(installed)), previous_(inForce) {
    inForce = &seams_;
}

ScopedSeams::~ScopedSeams() {
    assert(inForce == &seams_ && "seam scopes end in reverse order");
    inForce = previous_;
}

} // namespace melodeck
