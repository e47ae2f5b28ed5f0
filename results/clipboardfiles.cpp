// Clipboard contents for copied result files (see clipboardfiles.h).
#include "results/clipboardfiles.h"

#include <QMimeData>

QList<QUrl> CClipboardFiles::UrlsOf(const std::vector<std::string>& paths)
{
    QList<QUrl> urls;
    for (const std::string& path : paths)
        urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()))));
    return urls;
}

QMimeData* CClipboardFiles::Build(const std::vector<std::string>& paths)
{
    if (paths.empty()) return nullptr;
    const QList<QUrl> urls = UrlsOf(paths);
    auto* data = new QMimeData;
    data->setUrls(urls);

    QByteArray gnome("copy");
    QString text;
    for (const QUrl& url : urls) {
        gnome += '\n';
        gnome += url.toEncoded();
        if (!text.isEmpty()) text += QLatin1Char('\n');
        text += url.toLocalFile();
    }
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    data->setData(QStringLiteral("application/x-kde-cutselection"), QByteArray("0"));
    data->setText(text);
    return data;
}
