// The user manual: found beside an installed program and, for a program in
// its build folder, in the source tree; and it covers what the window
// offers: every menu and popup command, every log line of the string table
// and every wildcard element.
#include "apptestenv.h"

#include "app/helpmanual.h"

#include <QDir>
#include <QMenuBar>
#include <QRegularExpression>

class HelpManualTest : public QObject {
    Q_OBJECT
private slots:
    void installedManualIsFoundBesideTheProgram()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        QVERIFY(CHelpManual::Find({CHelpManual::Candidates(bin).front()}).isEmpty());
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/varnel/manual.html")));
        // A folder of that name is not a manual.
        QVERIFY(CHelpManual::Find({CHelpManual::Candidates(bin).front()}).isEmpty());
        QVERIFY(QDir(prefix.filePath(QStringLiteral("share/doc/varnel"))).rmdir(QStringLiteral("manual.html")));
        const QString installed = prefix.filePath(QStringLiteral("share/doc/varnel/manual.html"));
        QVERIFY(WriteFile(installed, "<html></html>"));
        QCOMPARE(CHelpManual::Find(CHelpManual::Candidates(bin)), installed);
        // This test program is not installed: it finds the source tree's.
        QCOMPARE(QFileInfo(CHelpManual::Locate()).canonicalFilePath(),
                 QFileInfo(QStringLiteral(VARNEL_TEST_DATA "/../../docs/manual.html")).canonicalFilePath());
    }

    void manualCoversCommandsLogLinesAndWildcards()
    {
        QFile file(CHelpManual::Locate());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QStringList missing;

        CFrameFixture fx;
        auto frame = fx.MakeFrame();
        QVERIFY(frame);
        QList<QAction*> commands = frame->ResultPopupMenu()->actions();
        for (QAction* top : frame->menuBar()->actions()) commands << top->menu()->actions();
        for (QAction* action : commands) {
            if (action->isSeparator()) continue;
            // "About Varnel(&A)..." is written "About Varnel".
            QString text = action->text();
            text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$")));
            if (!html.contains(QStringLiteral("<td>%1</td>").arg(text))) missing << text;
        }

        for (UINT id : {IDS_INITIALIZATION, IDS_ANALYZE_KEYWORDS, IDS_SEARCH_SELECTED_DIRS, IDS_OFFICE_2003,
                        IDS_SEARCH_FINISHED, IDS_USER_STOPPED, IDS_NO_KEYWORD, IDS_NO_FOLDER, IDS_NO_FILE_TYPE,
                        IDS_TOO_MANY_KEYWORDS, IDS_KEYWORD_TOO_LONG, IDS_FILE_RUINED, IDS_FILE_IN_USE,
                        IDS_PATH_TOO_LONG, IDS_FOLDER_UNREADABLE, IDS_BAD_WILDCARD_KEYWORD, IDS_WORD_START_FAILED,
                        IDS_EXCEL_START_FAILED, IDS_HELP_NOT_FOUND}) {
            const QString line = Str(id).trimmed();
            if (!html.contains(line.toHtmlEscaped())) missing << line;
        }

        for (const char* element : {"?", "*", "@", "{n}", "{n,}", "{n,m}", "[abc]", "[a-z]", "[!x]", "&lt;", "&gt;",
                                    "( )", "\\"})
            if (!html.contains(QStringLiteral("<td><code>%1</code></td>").arg(QLatin1String(element))))
                missing << QLatin1String(element);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }
};

QTEST_MAIN(HelpManualTest)
#include "helpmanual_qtest.moc"
