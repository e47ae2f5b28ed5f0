// Build tool: draws the program icon's SVG as the PNG files a Linux desktop
// looks for, one per size of the hicolor icon theme, so that menus and
// launchers that do not read SVG still show the program's own picture.
// Usage: varnel-rendericon <icon.svg> <output folder> <side>...
// writes <output folder>/<side>x<side>/apps/varnel.png for every side.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <icon.svg> <output folder> <side>...\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const long side = std::strtol(argv[i], nullptr, 10);
        if (side < 1 || side > 1024) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        const int s = static_cast<int>(side);
        QImage image(s, s, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString folder = QStringLiteral("%1x%1/apps").arg(s);
        if (!out.mkpath(folder) || !image.save(out.filePath(folder + QStringLiteral("/varnel.png")))) {
            std::fprintf(stderr, "%s: cannot write the %dx%d icon\n", argv[0], s, s);
            return 1;
        }
    }
    return 0;
}
