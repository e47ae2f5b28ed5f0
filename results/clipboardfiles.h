// The clipboard contents that let a file manager paste the result files:
// text/uri-list, the copy markers of GNOME-style managers
// (x-special/gnome-copied-files, "copy" then the URLs) and of KDE
// (application/x-kde-cutselection "0", not a cut), plus the paths as plain
// text for editors and terminals.
#pragma once

#include <QList>
#include <QUrl>

#include <string>
#include <vector>

class QMimeData;

class CClipboardFiles {
public:
    // file:// URLs of paths in the system code page.
    static QList<QUrl> UrlsOf(const std::vector<std::string>& paths);
    // New mime data for the paths (the caller owns it); null when there are
    // none.
    static QMimeData* Build(const std::vector<std::string>& paths);
};
