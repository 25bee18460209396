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
    using namespace melodeck;
    // Both end before the application does: what they installed goes with them.
    const ScopedSeams platform(ModMeloDeck::PlatformSeams());
    const auto translations = ModMeloDeck::InstallTranslations(); // else Qt's texts stay English
    ModMeloDeck::InstallFonts();
    const auto location = ModMeloDeck::UseProgramFolder();
    if (!location)
        return 1;
    auto window = ModMeloDeck::Main(*location);
    if (!window)
        return 1;
    return app.exec();
}
