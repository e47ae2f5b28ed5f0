// The lower panes. The keyword panel: its layout at every size, its lines
// handed to the analysis as typed (its Option button is the main window
// test's). The message panel: appending and clearing, a read-only log that
// can be copied and shows its end, every line of a very long log kept, and
// a worker's lines taken in while it waits and laid out together on a short
// timer (whole, in order, in far fewer layouts than lines).
#include "apptestenv.h"

#include "panels/infosetupview.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>

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

// The log's editor, without the lay-out that Edit() does first.
QPlainTextEdit* RawEdit(CMessagePanel& panel)
{
    return panel.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
}

}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchContext(); }

    // ---- Keywords -----------------------------------------------------------
    // How lines become keywords (blank lines, the limit of 256) is the
    // analysis's own test; here: the panel hands over its lines as typed,
    // and its layout follows every size.
    void keywordPaneHandsOverItsLinesAndFollowsEveryResize()
    {
        {
            CInfoSetupView view;
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            CKeywordPanel* panel = view.Panel();
            QCOMPARE(g_hWndKeywordPanel.load(), panel->Handle());
            panel->Edit()->setPlainText(QStringLiteral("alpha\n\n  \nBeta\nalpha\n10\u00a0kg"));
            QCOMPARE(Keywords(), (QStringList{"alpha", "  ", "Beta", "alpha", "10\u00a0kg"}));
            // Typed: Enter and Shift+Enter (a break inside the editor's
            // paragraph, still a new line on screen) both start a keyword.
            panel->Edit()->clear();
            QTest::keyClicks(panel->Edit(), QStringLiteral("invoice"));
            QTest::keyClick(panel->Edit(), Qt::Key_Return);
            QTest::keyClicks(panel->Edit(), QStringLiteral("Rechnung"));
            QTest::keyClick(panel->Edit(), Qt::Key_Return, Qt::ShiftModifier);
            panel->Edit()->insertPlainText(QStringLiteral("m\u00fcller"));
            QCOMPARE(Keywords(), (QStringList{"invoice", "Rechnung", "m\u00fcller"}));

            QCOMPARE(panel->Edit()->lineWrapMode(), QPlainTextEdit::NoWrap);
            // The button is a full-width strip 20 pixels high along the bottom,
            // the editor fills the rest; a lower pane shows only the button.
            for (const QSize size : {QSize(200, 420), QSize(640, 90), QSize(100, 12)}) {
                view.resize(size);
                QApplication::processEvents();
                QCOMPARE(panel->geometry(), QRect(QPoint(0, 0), size));
                QCOMPARE(panel->OptionButton()->geometry(), QRect(0, size.height() - 20, size.width(), 20));
                QCOMPARE(panel->Edit()->geometry(), QRect(0, 0, size.width(), std::max(0, size.height() - 20)));
            }
        }
        QCOMPARE(g_hWndKeywordPanel.load(), static_cast<HWND>(nullptr));
    }

    // ---- The log --------------------------------------------------------------
    // One panel through its life: appending and clearing, a read-only log
    // that can be copied and shows its end, and a worker's lines.
    void logAppendsClearsKeepsEveryLineAndTakesAWorkersLines()
    {
        g_strMessageText.Set("left over from before");
        {
            CMessagePanel panel;
            panel.resize(400, 200);
            panel.show();
            QVERIFY(QTest::qWaitForWindowExposed(&panel));
            QCOMPARE(g_hWndMessagePanel.load(), panel.Handle());
            QCOMPARE(g_strMessageText.Get(), std::string());
            LogLine("old");
            QCOMPARE(LogLines(RawEdit(panel)), QStringList());  // waits for the timer
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            LogLine("first");
            QTRY_COMPARE(LogLines(RawEdit(panel)), QStringList{"first"});
            LogLine("");  // an empty line is still a line
            LogLine("/home/m\xc3\xbcller/Bericht.doc");
            // Reading the log through the panel lays out what it has taken in.
            QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\n\n/home/m\u00fcller/Bericht.doc\n"));
            // Without a line of its own the message carries the shared text.
            g_strMessageText.Set("shared");
            SendMessage(panel.Handle(), WM_APPEND_MESSAGE, 0, 0);
            QCOMPARE(LogLines(panel.Edit()).back(), QStringLiteral("shared"));
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            // A steady stream of lines shows while it lasts, not only at its end.
            for (int i = 0; i < 30 && LogLines(RawEdit(panel)).size() < 2; ++i) {
                LogLine("stream");
                QTest::qWait(10);
            }
            QVERIFY(LogLines(RawEdit(panel)).size() >= 2);

            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
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
            constexpr int kLongLog = 100000;
            for (int i = 1; i < kLongLog; ++i) LogLine("C:/docs/file" + std::to_string(i) + ".doc:Files is in use");
            QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
            bar->setValue(0);
            LogLine("newest");
            QTRY_COMPARE(bar->value(), bar->maximum());
            const QStringList log = LogLines(panel.Edit());
            QCOMPARE(log.size(), kLongLog + 1);
            QCOMPARE(log.at(54321), QStringLiteral("C:/docs/file54321.doc:Files is in use"));

            // A worker's lines are taken in while it waits and laid out
            // together: whole, in order, in far fewer layouts than lines.
            SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
            int layouts = 0;
            connect(RawEdit(panel)->document(), &QTextDocument::contentsChange, this,
                    [&layouts](int, int, int added) { layouts += added > 0 ? 1 : 0; });
            constexpr int kLines = 3000;
            const auto line = [](int i) { return QStringLiteral("/data/file%1.txt:cannot be searched").arg(i); };
            std::atomic<bool> done{false};
            std::thread worker([&done, &line] {
                for (int i = 0; i < kLines; ++i) LogLine(line(i).toStdString());
                done = true;
            });
            // The GUI thread keeps replacing the shared text meanwhile; whatever
            // is laid out at any moment is the worker's own lines so far, in order.
            while (!done) {
                g_strMessageText.Set("ui thread text");
                QApplication::processEvents(QEventLoop::AllEvents, 5);
                const QStringList seen = LogLines(RawEdit(panel));
                for (int i = 0; i < seen.size(); i += 97) QCOMPARE(seen.at(i), line(i));
            }
            worker.join();
            QTRY_COMPARE(LogLines(RawEdit(panel)).size(), kLines);
            const QStringList lines = LogLines(RawEdit(panel));
            for (int i = 0; i < kLines; ++i) QCOMPARE(lines.at(i), line(i));
            QCOMPARE(bar->value(), bar->maximum());
            QVERIFY2(layouts <= kLines / 4, qPrintable(QStringLiteral("%1 layouts").arg(layouts)));
        }
        QCOMPARE(g_hWndMessagePanel.load(), static_cast<HWND>(nullptr));
    }
};

QTEST_MAIN(PanelsTest)
#include "panels_qtest.moc"
