// The program's pictures: SVG files in res/icons, compiled into the program
// as Qt resources (res/icons.qrc) and drawn by Qt's SVG support, so they
// stay sharp at every size a toolbar, menu or window manager asks for.
// `name` is the file's name without ".svg", e.g. "find".
#pragma once

#include <QIcon>
#include <QPixmap>

// The picture as an icon that renders at any size.
QIcon ResourceIcon(const char* name);
// The picture drawn at side by side pixels; null when there is no picture
// of that name (or the SVG support is missing).
QPixmap ResourcePixmap(const char* name, int side);
// The picture's SVG text; empty when there is no picture of that name.
QByteArray ResourceSvg(const char* name);
