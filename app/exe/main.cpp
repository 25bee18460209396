#include "app/gui/ModMeloDeck.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // Without any display the window cannot open; say so plainly.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "MeloDeck: no display found (DISPLAY is not set); "
                             "start it inside a desktop session.\n");
        return 2;
    }
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.melodeck.melodeck"));
    melodeck::ModMeloDeck::InstallPlatform();
    if (!melodeck::ModMeloDeck::UseProgramFolder())
        return 1;
    auto window = melodeck::ModMeloDeck::Main();
    if (!window)
        return 1;
    return app.exec();
}
