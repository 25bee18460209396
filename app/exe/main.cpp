#include "app/gui/ModMeloDeck.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // Without a display the window cannot open; say so plainly.
    if (const QString problem = melodeck::ModMeloDeck::DisplayProblem(argc, argv);
        !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", problem.toUtf8().constData());
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
