// Opening a file or folder with the desktop's handler (xdg-open through
// QDesktopServices). The handler can be replaced, so tests can see what
// would be opened without starting programs.
#pragma once

#include <QUrl>

#include <functional>

class CDesktopOpener {
public:
    using Handler = std::function<void(const QUrl&)>;

    // Opens `url`; the outcome is not examined (no handler, a file moved
    // since the search: nothing happens).
    static void Open(const QUrl& url);
    // Replaces the handler; an empty one restores the desktop's.
    static void SetHandler(Handler handler);
};
