// Stop and closing the window while the real search is inside one large
// file: the window returns to idle at once, as it always has, and now the
// worker ends within moments instead of after the file.
#include "apptestenv.h"

#include "app/mainframe.h"
#include "app/varnelview.h"
#include "folders/directoryview.h"
#include "office/automation/builtinoffice.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "platform/cancellation.h"
#include "platform/oleauto.h"
#include "results/resultlist.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>

#include <fstream>
#include <memory>

class StopInFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CTestRegistry> m_registry;
    std::unique_ptr<QTemporaryDir> m_docs;

    // A shown frame whose folder tree lists only the documents folder.
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>();
        const std::string mount = m_docs->path().toStdString();
        frame->FolderPane()->SetDriveSource([mount] {
            return std::vector<CDriveEntry>{CDriveEntry{mount, "Docs", DriveKind::Fixed}};
        });
        frame->show();
        if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
        return frame;
    }

    // About 64 MB of text whose only keyword is at its end, then a small
    // file with the keyword: a search that went through them would list
    // both. Sounds like compares word by word, for many seconds.
    void WriteDocuments()
    {
        std::string block;
        while (block.size() < (1u << 20)) block += "the quarterly figures of the northern region are ready\n";
        std::ofstream out(m_docs->filePath(QStringLiteral("a-large.txt")).toStdString(), std::ios::binary);
        for (int i = 0; i < 64; ++i) out << block;
        out << "needle\n";
        std::ofstream(m_docs->filePath(QStringLiteral("b.txt")).toStdString(), std::ios::binary) << "needle";
    }

    // Starts the search and returns once the large file is open and being
    // searched (Word, its Documents and the document are alive).
    bool FindUntilTheLargeFileIsOpen(CMainFrame& frame)
    {
        CDirectoryTree& tree = frame.FolderPane()->Tree();
        tree.SetCheckState(tree.RootItem()->child(0), CDirectoryTree::STATE_CHECKED);
        g_bTextFile = 1;
        g_conditions.MatchSoundsLike = 1;
        frame.KeywordPanel()->Edit()->setPlainText(QStringLiteral("needle"));
        const long base = CDispatchObject::LiveObjects();
        frame.Command(ID_FIND)->trigger();
        if (!QTest::qWaitFor([base] { return CDispatchObject::LiveObjects() >= base + 3; }, 120000)) return false;
        QTest::qWait(100);
        return frame.IsWorkerAlive();
    }

private slots:
    void init()
    {
        m_registry = std::make_unique<CTestRegistry>();
        m_docs = std::make_unique<QTemporaryDir>();
        office::RegisterBuiltinOffice();
        WriteDocuments();
    }

    void cleanup()
    {
        m_docs.reset();
        m_registry.reset();
        platform::ClearSearchStop();
    }

    void stopInsideALargeFileEndsTheWorkerSoon()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY2(FindUntilTheLargeFileIsOpen(*frame), qPrintable(LogLines(*frame->MessagePanel()).join(" | ")));

        QElapsedTimer clock;
        clock.start();
        frame->Command(ID_STOP)->trigger();
        // Idle at once, as before.
        QVERIFY(frame->IsIdle());
        QVERIFY(frame->Command(ID_FIND)->isEnabled());
        QCOMPARE(LogLines(*frame->MessagePanel()).back(), Str(IDS_USER_STOPPED));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsWorkerAlive(), 5000);
        qInfo("worker ended %lld ms after Stop", static_cast<long long>(clock.elapsed()));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        // The large file was left in the middle, with no line of its own;
        // the small one was never reached; the worker then logged its end.
        QCOMPARE(g_nResultCount, 0);
        const QStringList log = LogLines(*frame->MessagePanel());
        for (const QString& line : log) QVERIFY2(!line.contains(QStringLiteral("a-large.txt")), qPrintable(line));
        QCOMPARE(log.back(), Str(IDS_SEARCH_FINISHED));
    }

    void closingInsideALargeFileDoesNotWaitForIt()
    {
        auto frame = MakeFrame();
        QVERIFY(frame);
        QVERIFY2(FindUntilTheLargeFileIsOpen(*frame), qPrintable(LogLines(*frame->MessagePanel()).join(" | ")));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(frame->close());
        qInfo("window closed %lld ms after the request", static_cast<long long>(clock.elapsed()));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!frame->IsWorkerAlive());
        QCOMPARE(g_nResultCount, 0);
        frame.reset();
    }
};

QTEST_MAIN(StopInFileTest)
#include "stopinfile_qtest.moc"
