// Finding the user manual (see helpmanual.h).
#include "app/helpmanual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QStringList& TestCandidates()
{
    static QStringList candidates;
    return candidates;
}

}  // namespace

QStringList CHelpManual::Candidates(const QString& programDir)
{
    const QString name = QString::fromLatin1(kFileName);
    QStringList candidates;
    if (!programDir.isEmpty())
        candidates << QDir::cleanPath(programDir + QStringLiteral("/../share/doc/varnel/") + name);
#ifdef VARNEL_SOURCE_DOCS_DIR
    // Only a program that has not been installed gets this far.
    candidates << QDir::cleanPath(QStringLiteral(VARNEL_SOURCE_DOCS_DIR "/") + name);
#endif
    return candidates;
}

QString CHelpManual::Find(const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable()) return info.absoluteFilePath();
    }
    return QString();
}

QString CHelpManual::Locate()
{
    if (!TestCandidates().isEmpty()) return Find(TestCandidates());
    return Find(Candidates(QCoreApplication::applicationDirPath()));
}

void CHelpManual::SetCandidatesForTesting(const QStringList& candidates)
{
    TestCandidates() = candidates;
}
