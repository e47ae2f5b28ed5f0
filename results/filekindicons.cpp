// The file-kind pictures (see filekindicons.h).
#include "results/filekindicons.h"

#include "res/themedpicture.h"

#include <array>

QPixmap CFileKindIcons::Icon(int index)
{
    static constexpr std::array<const char*, kCount> kNames = {"word",           "word-template", "excel",
                                                               "excel-template", "text",          "web"};
    if (index < 0 || index >= kCount) return QPixmap();
    return CThemedPicture::Pixmap(kNames[static_cast<std::size_t>(index)], kSize);
}
