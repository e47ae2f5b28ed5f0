// The pictures of the folder tree: the check-box states and the removable
// drive, from the program's resources (res/icons) so they look the same on
// every desktop, drawn for the palette of the view (readable on a dark one)
// at its device pixel ratio; and the other drive and folder icons, which
// come from the desktop's own icon theme as a file manager's would.
#pragma once

#include <QPalette>
#include <QPixmap>

class CTreeImages {
public:
    static constexpr int kSize = 16;
    static constexpr int kCheckStateCount = 4;
    static constexpr int kNormalCount = 7;

    // The 16-pixel picture of a check state: 0 blank, 1 empty square,
    // 2 square with a check mark, 3 square with a check mark and a small
    // plus in its upper left. A state outside 0..3 is blank.
    static QPixmap CheckState(int state, const QPalette& palette, qreal dpr);
    // The same for the application's palette and screen.
    static QPixmap CheckState(int state);

    // Image `index` of the tree's icons: 0 computer, 1 fixed drive,
    // 2 optical drive, 3 folder, 4 open folder, 5 floppy, 6 removable
    // drive. Anything else is a blank picture.
    static QPixmap Normal(int index, const QPalette& palette, qreal dpr);
    static QPixmap Normal(int index);
};
