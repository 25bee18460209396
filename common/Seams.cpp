#include "common/Seams.h"

#include <QCoreApplication>

#include <cstdio>

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
    return s;
}

} // namespace

Seams& seams() {
    static Seams instance = makeDefaults();
    return instance;
}

} // namespace melodeck
