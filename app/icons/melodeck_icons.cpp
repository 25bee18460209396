// Writes the icon theme files of the program into one folder:
// scalable/apps/melodeck.svg and <n>x<n>/apps/melodeck.png for every size.
#include "app/gui/AppIcon.h"

#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: melodeck_icons <hicolor folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    auto fail = [](const QString& path) {
        std::fprintf(stderr, "melodeck_icons: cannot write %s\n", qPrintable(path));
        return 1;
    };
    const QString svgDir = out.filePath(QStringLiteral("scalable/apps"));
    QFile svg(svgDir + QStringLiteral("/melodeck.svg"));
    if (!QDir().mkpath(svgDir) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(melodeck::AppIcon::Svg()) < 0 || !svg.flush())
        return fail(svg.fileName());
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = out.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString png = dir + QStringLiteral("/melodeck.png");
        if (!QDir().mkpath(dir) || !melodeck::AppIcon::Image(size).save(png, "PNG"))
            return fail(png);
    }
    return 0;
}
