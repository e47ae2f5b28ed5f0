// The file-kind pictures (see filekindicons.h).
#include "results/filekindicons.h"

#include "res/icons.h"

#include <array>

QPixmap CFileKindIcons::Icon(int index)
{
    if (index < 0 || index >= kCount) return QPixmap();
    // Drawn once: every row of the list shows one.
    static const std::array<QPixmap, kCount> icons = {
        ResourcePixmap("word", kSize),           ResourcePixmap("word-template", kSize), ResourcePixmap("excel", kSize),
        ResourcePixmap("excel-template", kSize), ResourcePixmap("text", kSize),          ResourcePixmap("web", kSize),
    };
    return icons[static_cast<std::size_t>(index)];
}
