// Loading of the program's pictures (see icons.h).
#include "res/icons.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

// Outside any namespace: the registration function Q_INIT_RESOURCE names is
// a global one. The resources live in a static library, so nothing would
// pull their registration into the program unless it is called by name.
static void InitIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace {

QString PathOf(const char* name)
{
    return QStringLiteral(":/icons/") + QString::fromLatin1(name) + QStringLiteral(".svg");
}

}  // namespace

QIcon ResourceIcon(const char* name)
{
    InitIconResources();
    return QIcon(PathOf(name));
}

QPixmap ResourcePixmap(const char* name, int side)
{
    InitIconResources();
    QImageReader reader(PathOf(name));
    reader.setScaledSize(QSize(side, side));
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QByteArray ResourceSvg(const char* name)
{
    InitIconResources();
    QFile file(PathOf(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
