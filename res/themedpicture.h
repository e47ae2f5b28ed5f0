// Pictures that follow the palette: the check boxes of the folder tree and
// the file-kind and drive pictures drawn from the SVG files in res/icons.
// A light picture drawn for a light desktop turns into a black square or an
// invisible outline on a dark one, so the parts of a picture that sit on
// the view's background are marked in the SVG with a class and recoloured
// from the palette before the picture is drawn:
//   base-fill        fill with the palette's Base (the view's background)
//   text-stroke      outline in the palette's Text colour
//   readable-stroke, readable-fill
//                    keep the drawn colour where it stands out from Base,
//                    else move it towards Text until it does
// Everything else (the coloured badges) stays as drawn. The SVG files stay
// valid pictures as they are; the light palette gives back their colours.
//
// Pictures are drawn at the device pixel ratio they are shown at, so they
// stay sharp at 200% scale, and are kept in Qt's pixmap cache.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QPalette>
#include <QPixmap>

class CThemedPicture {
public:
    // The picture `name` (a file of res/icons without ".svg") for `palette`,
    // side by side logical pixels at `dpr`: a pixmap of side * dpr pixels
    // carrying that ratio. Null when there is no such picture.
    static QPixmap Pixmap(const char* name, int side, const QPalette& palette, qreal dpr);
    // The same for the application's palette and its highest screen ratio.
    static QPixmap Pixmap(const char* name, int side);

    // The SVG text with its marked colours replaced for `palette`.
    static QByteArray Recolour(const QByteArray& svg, const QPalette& palette);
    // `ink` if its contrast with `background` is at least 3:1 (the least a
    // picture's lines need to be told apart), else the first mix of `ink`
    // towards `fallback` (in tenths) that reaches it, at most `fallback`.
    static QColor Readable(const QColor& ink, const QColor& background, const QColor& fallback);
    // Contrast ratio of two colours, from 1 (same) to 21 (black on white).
    static double Contrast(const QColor& a, const QColor& b);
};
