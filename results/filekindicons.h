// The result list's six small pictures, one per file kind, from the
// program's resources (res/icons): 0 Word document, 1 Word template (with a
// binding), 2 Excel workbook, 3 Excel template (with a binding), 4 text
// file (a note pad), 5 web page. The file kinds of the search (FILE_KIND_*)
// are the indexes.
#pragma once

#include <QPixmap>

class CFileKindIcons {
public:
    static constexpr int kSize = 16;
    static constexpr int kCount = 6;

    // Picture `index` for the application's palette (its page and outline
    // follow a dark palette) at the screen's pixel ratio, so it stays sharp
    // at 200%; a null pixmap for an index outside 0..5.
    static QPixmap Icon(int index);
};
