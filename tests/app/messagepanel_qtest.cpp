// The message panel: appending, clearing, scrolling to the end, copying,
// keeping every line of a very long log, and lines sent from another thread.
#include "apptestenv.h"

#include "panels/messagepanel.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <atomic>
#include <thread>

class MessagePanelTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchContext(); }

    void publishesHandleAndEmptiesSharedText()
    {
        g_strMessageText.Set("left over from before");
        {
            CMessagePanel panel;
            QCOMPARE(g_hWndMessagePanel.load(), panel.Handle());
            QCOMPARE(g_strMessageText.Get(), std::string());
        }
        QCOMPARE(g_hWndMessagePanel.load(), static_cast<HWND>(nullptr));
    }

    void appendEndsEveryLineWithALineBreak()
    {
        CMessagePanel panel;
        LogLine("first");
        QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\n"));
        // An empty line is still a line.
        LogLine("");
        LogLine("third");
        QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\n\nthird\n"));
        // Without a line of its own the message carries the shared text.
        g_strMessageText.Set("shared");
        SendMessage(panel.Handle(), WM_APPEND_MESSAGE, 0, 0);
        QCOMPARE(LogLines(panel).back(), QStringLiteral("shared"));
    }

    void clearEmptiesTheLogAndTheNextLineComesFirst()
    {
        CMessagePanel panel;
        LogString(IDS_INITIALIZATION);
        LogString(IDS_ANALYZE_KEYWORDS);
        SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
        QCOMPARE(panel.Edit()->toPlainText(), QString());
        LogString(IDS_NO_KEYWORD);
        QCOMPARE(LogLines(panel), QStringList{Str(IDS_NO_KEYWORD)});
        QVERIFY(panel.Edit()->isReadOnly());
    }

    void readOnlyButSelectableAndCopyable()
    {
        CMessagePanel panel;
        panel.resize(300, 200);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        LogLine("copy me");
        const QString before = panel.Edit()->toPlainText();
        QTest::keyClicks(panel.Edit(), QStringLiteral("typed"));
        QCOMPARE(panel.Edit()->toPlainText(), before);
        QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        panel.Edit()->selectAll();
        panel.Edit()->copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("copy me\n"));
    }

    void showsTheEndAfterAppending()
    {
        CMessagePanel panel;
        panel.resize(300, 120);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (int i = 0; i < 200; ++i) LogLine("line " + std::to_string(i));
        QApplication::processEvents();
        QScrollBar* bar = panel.Edit()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        // Scrolled up by the user, the next line brings the end back.
        bar->setValue(0);
        LogLine("newest");
        QApplication::processEvents();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void keepsAHundredThousandLines()
    {
        CMessagePanel panel;
        panel.resize(400, 200);
        panel.show();
        constexpr int kLines = 100000;
        for (int i = 0; i < kLines; ++i) LogLine("C:/docs/file" + std::to_string(i) + ".doc:Files is in use");
        const QStringList lines = LogLines(panel);
        QCOMPARE(lines.size(), kLines);
        QCOMPARE(lines.front(), QStringLiteral("C:/docs/file0.doc:Files is in use"));
        QCOMPARE(lines.at(54321), QStringLiteral("C:/docs/file54321.doc:Files is in use"));
        QCOMPARE(lines.back(), QStringLiteral("C:/docs/file99999.doc:Files is in use"));
    }

    void linesFromTheWorkerArriveInOrderWithTheirOwnText()
    {
        CMessagePanel panel;
        std::atomic<bool> done{false};
        std::thread worker([&done] {
            for (int i = 0; i < 50; ++i) LogLine("worker " + std::to_string(i));
            done = true;
        });
        // The GUI thread keeps replacing the shared text meanwhile; each
        // line the worker sent must still be its own.
        while (!done) {
            g_strMessageText.Set("ui thread text");
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        worker.join();
        const QStringList lines = LogLines(panel);
        QCOMPARE(lines.size(), 50);
        for (int i = 0; i < 50; ++i) QCOMPARE(lines.at(i), QStringLiteral("worker %1").arg(i));
    }

    void eightBitTextIsShownAsUtf8()
    {
        CMessagePanel panel;
        LogLine("/home/m\xc3\xbcller/Bericht.doc");
        QCOMPARE(LogLines(panel).back(), QStringLiteral("/home/m\u00fcller/Bericht.doc"));
    }
};

QTEST_MAIN(MessagePanelTest)
#include "messagepanel_qtest.moc"
