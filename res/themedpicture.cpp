// Palette-following pictures (see themedpicture.h).
#include "res/themedpicture.h"

#include "res/icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <cmath>

namespace {

double Luminance(const QColor& colour)
{
    const auto channel = [](float c) {
        const double v = static_cast<double>(c);
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

QColor Mix(const QColor& a, const QColor& b, double share)
{
    const auto part = [share](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * share)); };
    return QColor(part(a.red(), b.red()), part(a.green(), b.green()), part(a.blue(), b.blue()));
}

// Replaces the value of attribute `name` inside one start tag.
void SetAttribute(QString& tag, const QString& name, const QColor& colour)
{
    const QRegularExpression attribute(QStringLiteral("\\b%1=\"[^\"]*\"").arg(name));
    tag.replace(attribute, QStringLiteral("%1=\"%2\"").arg(name, colour.name()));
}

QColor Attribute(const QString& tag, const QString& name)
{
    const QRegularExpression attribute(QStringLiteral("\\b%1=\"(#[0-9a-fA-F]{6})\"").arg(name));
    const QRegularExpressionMatch match = attribute.match(tag);
    return match.hasMatch() ? QColor(match.captured(1)) : QColor();
}

}  // namespace

double CThemedPicture::Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor CThemedPicture::Readable(const QColor& ink, const QColor& background, const QColor& fallback)
{
    constexpr double kLeast = 3.0;
    for (int tenth = 0; tenth <= 10; ++tenth) {
        const QColor candidate = Mix(ink, fallback, tenth / 10.0);
        if (Contrast(candidate, background) >= kLeast) return candidate;
    }
    return fallback;
}

QByteArray CThemedPicture::Recolour(const QByteArray& svg, const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    // Our own pictures, compiled in: each marked element is one start tag.
    static const QRegularExpression marked(QStringLiteral("<[^<>]*\\bclass=\"([^\"]*)\"[^<>]*>"));
    const QString source = QString::fromUtf8(svg);
    QString out;
    out.reserve(source.size() + 64);
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = marked.globalMatch(source); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(source).mid(done, match.capturedStart() - done);
        QString tag = match.captured(0);
        const QStringList classes = match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& role : classes) {
            if (role == QLatin1String("base-fill")) SetAttribute(tag, QStringLiteral("fill"), base);
            else if (role == QLatin1String("text-stroke")) SetAttribute(tag, QStringLiteral("stroke"), text);
            else if (role == QLatin1String("readable-stroke") || role == QLatin1String("readable-fill")) {
                const QString name = role == QLatin1String("readable-fill") ? QStringLiteral("fill")
                                                                            : QStringLiteral("stroke");
                const QColor drawn = Attribute(tag, name);
                if (drawn.isValid()) SetAttribute(tag, name, Readable(drawn, base, text));
            }
        }
        out += tag;
        done = match.capturedEnd();
    }
    out += QStringView(source).mid(done);
    return out.toUtf8();
}

QPixmap CThemedPicture::Pixmap(const char* name, int side, const QPalette& palette, qreal dpr)
{
    if (side <= 0 || !(dpr > 0) || dpr > 16) return QPixmap();
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QString key = QStringLiteral("varnel-themed/%1/%2/%3/%4/%5")
                            .arg(QLatin1String(name))
                            .arg(side)
                            .arg(dpr)
                            .arg(base.rgba())
                            .arg(text.rgba());
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;

    const QByteArray svg = ResourceSvg(name);
    if (svg.isEmpty()) return QPixmap();
    QSvgRenderer renderer(Recolour(svg, palette));
    if (!renderer.isValid()) return QPixmap();
    const int pixels = static_cast<int>(std::lround(side * dpr));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    }
    image.setDevicePixelRatio(dpr);
    QPixmap pixmap = QPixmap::fromImage(image);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap CThemedPicture::Pixmap(const char* name, int side)
{
    const qreal dpr = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr ? qApp->devicePixelRatio()
                                                                                              : 1.0;
    return Pixmap(name, side, QGuiApplication::palette(), dpr);
}
