// The lower panes. The keyword panel: its layout at every size, the analysis
// of its lines into the keyword array, the Option button's request to the
// frame. The message panel: appending, clearing, scrolling to the end,
// copying, keeping every line of a very long log, lines from another thread.
#include "apptestenv.h"

#include "panels/infosetupview.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QScrollBar>

#include <atomic>
#include <thread>

namespace {

// The analysed keywords, after the panel's text was sent for analysis.
QStringList Keywords()
{
    SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
    QStringList out;
    for (long i = 0; i < g_arrKeywords.GetSize(); ++i) out << QString::fromUtf8(g_arrKeywords[i].szKeyword);
    return out;
}

}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchContext(); }

    // ---- Keywords -----------------------------------------------------------
    void keywordPaneLayoutFollowsEveryResize()
    {
        CInfoSetupView view;
        view.resize(200, 180);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CKeywordPanel* panel = view.Panel();
        QCOMPARE(panel->Edit()->lineWrapMode(), QPlainTextEdit::NoWrap);
        // The panel covers the view; the button is a full-width strip 20
        // pixels high along the bottom, the editor fills the rest; a pane
        // lower than the strip shows only the button.
        for (const QSize size : {QSize(200, 420), QSize(640, 90), QSize(200, 180), QSize(100, 12)}) {
            view.resize(size);
            QApplication::processEvents();
            QCOMPARE(panel->geometry(), QRect(QPoint(0, 0), size));
            QCOMPARE(panel->OptionButton()->geometry(), QRect(0, size.height() - 20, size.width(), 20));
            QCOMPARE(panel->Edit()->geometry(), QRect(0, 0, size.width(), std::max(0, size.height() - 20)));
        }
    }

    void eachLineIsAKeyword()
    {
        CMessagePanel log;
        {
            CKeywordPanel panel;
            QCOMPARE(g_hWndKeywordPanel.load(), panel.Handle());
            panel.Edit()->setPlainText(QStringLiteral("alpha\n\n  \nBeta\nalpha\n10\u00a0kg"));
            QCOMPARE(Keywords(), (QStringList{"alpha", "  ", "Beta", "alpha", "10\u00a0kg"}));
            QCOMPARE(LogLines(log), (QStringList{Str(IDS_INITIALIZATION), Str(IDS_ANALYZE_KEYWORDS)}));

            // Typed: Enter and Shift+Enter (a break inside the editor's
            // paragraph, still a new line on screen) both start a keyword.
            panel.Edit()->clear();
            panel.show();
            QVERIFY(QTest::qWaitForWindowExposed(&panel));
            QTest::keyClicks(panel.Edit(), QStringLiteral("invoice"));
            QTest::keyClick(panel.Edit(), Qt::Key_Return);
            QTest::keyClicks(panel.Edit(), QStringLiteral("Rechnung"));
            QTest::keyClick(panel.Edit(), Qt::Key_Return, Qt::ShiftModifier);
            panel.Edit()->insertPlainText(QStringLiteral("m\u00fcller"));
            QCOMPARE(Keywords(), (QStringList{"invoice", "Rechnung", "m\u00fcller"}));
        }
        QCOMPARE(g_hWndKeywordPanel.load(), static_cast<HWND>(nullptr));
    }

    void tooManyLinesAreRefused()
    {
        CMessagePanel log;
        CRecordingTarget frame;
        g_hWndMainFrame = &frame;
        CKeywordPanel panel;
        QStringList lines;
        for (int i = 0; i < 256; ++i) lines << QStringLiteral("k%1").arg(i);
        panel.Edit()->setPlainText(lines.join(QLatin1Char('\n')));
        QCOMPARE(Keywords().size(), 256);
        // 256 keywords and a final Enter are 257 lines.
        panel.Edit()->setPlainText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        SendMessage(g_hWndMessagePanel.load(), WM_CLEAR_MESSAGES, 0, 0);
        QCOMPARE(Keywords().size(), 0);
        QCOMPARE(LogLines(log), QStringList{Str(IDS_TOO_MANY_KEYWORDS)});
        QCOMPARE(frame.calls.size(), std::size_t{1});
        QCOMPARE(std::get<0>(frame.calls[0]), static_cast<UINT>(WM_SEARCH_FINISHED));

        // The Option button asks the frame for the Option sheet.
        frame.calls.clear();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTest::mouseClick(panel.OptionButton(), Qt::LeftButton);
        g_hWndMainFrame = nullptr;
        QCOMPARE(frame.calls, (decltype(frame.calls){{WM_SHOW_OPTIONS, 0, 0}}));
    }

    // ---- The log --------------------------------------------------------------
    void logAppendsLinesAndClears()
    {
        g_strMessageText.Set("left over from before");
        {
            CMessagePanel panel;
            QCOMPARE(g_hWndMessagePanel.load(), panel.Handle());
            QCOMPARE(g_strMessageText.Get(), std::string());
            LogLine("first");
            LogLine("");  // an empty line is still a line
            LogLine("/home/m\xc3\xbcller/Bericht.doc");
            QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\n\n/home/m\u00fcller/Bericht.doc\n"));
            // Without a line of its own the message carries the shared text.
            g_strMessageText.Set("shared");
            SendMessage(panel.Handle(), WM_APPEND_MESSAGE, 0, 0);
            QCOMPARE(LogLines(panel).back(), QStringLiteral("shared"));
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            QCOMPARE(panel.Edit()->toPlainText(), QString());
            LogString(IDS_NO_KEYWORD);
            QCOMPARE(LogLines(panel), QStringList{Str(IDS_NO_KEYWORD)});
        }
        QCOMPARE(g_hWndMessagePanel.load(), static_cast<HWND>(nullptr));
    }

    void logIsReadOnlyCopyableAndShowsItsEnd()
    {
        CMessagePanel panel;
        panel.resize(300, 120);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        LogLine("copy me");
        QTest::keyClicks(panel.Edit(), QStringLiteral("typed"));
        QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("copy me\n"));
        QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(panel.Edit()->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        panel.Edit()->selectAll();
        panel.Edit()->copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("copy me\n"));

        // Every line is kept, and each new one scrolls to the end, also
        // when the user had scrolled up.
        QScrollBar* bar = panel.Edit()->verticalScrollBar();
        constexpr int kLines = 100000;
        for (int i = 1; i < kLines; ++i) LogLine("C:/docs/file" + std::to_string(i) + ".doc:Files is in use");
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        bar->setValue(0);
        LogLine("newest");
        QTRY_COMPARE(bar->value(), bar->maximum());
        const QStringList lines = LogLines(panel);
        QCOMPARE(lines.size(), kLines + 1);
        QCOMPARE(lines.at(54321), QStringLiteral("C:/docs/file54321.doc:Files is in use"));
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
};

QTEST_MAIN(PanelsTest)
#include "panels_qtest.moc"
