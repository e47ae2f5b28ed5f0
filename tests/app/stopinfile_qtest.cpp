// Stop and closing the window while the real search is inside one large
// file: the window returns to idle at once and the worker ends within
// moments instead of after the file, without reaching the files after it.
#include "apptestenv.h"

#include "platform/cancellation.h"
#include "platform/oleauto.h"

#include <QElapsedTimer>

#include <fstream>

class StopInFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CFrameFixture> m_fx;

    // Starts a search over about 64 MB of text whose only keyword is at its
    // end, then a small file with the keyword (a search that went through
    // them would list both); sounds-like compares word by word, for many
    // seconds. Returns once Word, its Documents and the document are alive.
    bool FindUntilTheLargeFileIsOpen(CMainFrame& frame)
    {
        std::string block;
        while (block.size() < (1u << 20)) block += "the quarterly figures of the northern region are ready\n";
        std::ofstream out(m_fx->docs.filePath(QStringLiteral("a-large.txt")).toStdString(), std::ios::binary);
        for (int i = 0; i < 64; ++i) out << block;
        out << "needle\n";
        out.close();
        if (!WriteFile(m_fx->docs.filePath(QStringLiteral("b.txt")), "needle")) return false;
        g_conditions.MatchSoundsLike = 1;
        const long base = CDispatchObject::LiveObjects();
        StartFind(frame, QStringLiteral("needle"));
        if (!QTest::qWaitFor([base] { return CDispatchObject::LiveObjects() >= base + 3; }, 120000)) return false;
        QTest::qWait(100);
        return frame.IsWorkerAlive();
    }

private slots:
    void init() { m_fx = std::make_unique<CFrameFixture>(); }
    void cleanup()
    {
        m_fx.reset();
        platform::ClearSearchStop();
    }

    void stopInsideALargeFileEndsTheWorkerSoon()
    {
        auto frame = m_fx->MakeFrame();
        QVERIFY(frame);
        QVERIFY2(FindUntilTheLargeFileIsOpen(*frame), qPrintable(Log(*frame).join(" | ")));
        QElapsedTimer clock;
        clock.start();
        frame->Command(ID_STOP)->trigger();
        QVERIFY(frame->IsIdle() && frame->Command(ID_FIND)->isEnabled());
        QCOMPARE(Log(*frame).back(), Str(IDS_USER_STOPPED));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsWorkerAlive(), 5000);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        // The large file was left in the middle, with no line of its own;
        // the small one was never reached; the worker then logged its end.
        QCOMPARE(g_nResultCount, 0);
        for (const QString& line : Log(*frame))
            QVERIFY2(!line.contains(QStringLiteral("a-large.txt")), qPrintable(line));
        QCOMPARE(Log(*frame).back(), Str(IDS_SEARCH_FINISHED));
    }

    void closingInsideALargeFileDoesNotWaitForIt()
    {
        auto frame = m_fx->MakeFrame();
        QVERIFY(frame);
        QVERIFY2(FindUntilTheLargeFileIsOpen(*frame), qPrintable(Log(*frame).join(" | ")));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(frame->close());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!frame->IsWorkerAlive());
        QCOMPARE(g_nResultCount, 0);
        QCOMPARE(g_bRunning.load(), 0);
    }
};

QTEST_MAIN(StopInFileTest)
#include "stopinfile_qtest.moc"
