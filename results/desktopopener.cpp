// The replaceable desktop handler (see desktopopener.h).
#include "results/desktopopener.h"

#include <QDesktopServices>

namespace {

CDesktopOpener::Handler& CurrentHandler()
{
    static CDesktopOpener::Handler handler;
    return handler;
}

}  // namespace

void CDesktopOpener::Open(const QUrl& url)
{
    if (CurrentHandler()) CurrentHandler()(url);
    else QDesktopServices::openUrl(url);
}

void CDesktopOpener::SetHandler(Handler handler)
{
    CurrentHandler() = std::move(handler);
}
