// The pictures of the folder tree: the four check-box states, drawn here
// so they look the same on every desktop, and the drive and folder icons,
// which come from the desktop's own icon theme as a file manager's would.
#pragma once

#include <QPixmap>

class CTreeImages {
public:
    static constexpr int kSize = 16;
    static constexpr int kCheckStateCount = 4;
    static constexpr int kNormalCount = 7;

    // The four check states side by side, 64 by 16 pixels: blank, empty
    // square, square with a check mark, and square with a check mark and a
    // small plus in its upper left.
    static QPixmap CheckStrip();
    // One 16-pixel picture of the strip; a state outside 0..3 is blank.
    static QPixmap CheckState(int state);

    // Image `index` of the tree's icons: 0 computer, 1 fixed drive,
    // 2 optical drive, 3 folder, 4 open folder, 5 floppy, 6 removable
    // drive. Anything else is a blank picture.
    static QPixmap Normal(int index);
};
