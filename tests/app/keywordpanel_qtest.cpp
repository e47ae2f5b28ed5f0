// The keyword panel: its layout at every size, the analysis of its lines
// into the keyword array, and the Option button's request to the frame.
#include "apptestenv.h"

#include "panels/infosetupview.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "search/searchcontext.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace {

std::string Keyword(int index)
{
    return std::string(g_arrKeywords[index].szKeyword);
}

}  // namespace

class KeywordPanelTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchContext(); }

    void publishesItsHandleWhileItLives()
    {
        {
            CKeywordPanel panel;
            QCOMPARE(g_hWndKeywordPanel.load(), panel.Handle());
        }
        QCOMPARE(g_hWndKeywordPanel.load(), static_cast<HWND>(nullptr));
    }

    void controlsAreAsTheUserExpects()
    {
        CKeywordPanel panel;
        QCOMPARE(panel.OptionButton()->text(), QStringLiteral("Option"));
        QVERIFY(panel.OptionButton()->isFlat());
        QCOMPARE(panel.Edit()->lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(!panel.Edit()->isReadOnly());
    }

    void layoutFollowsEveryResize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("initial pane") << QSize(200, 180);
        QTest::newRow("taller") << QSize(200, 420);
        QTest::newRow("wider and shorter") << QSize(640, 90);
        QTest::newRow("back again") << QSize(200, 180);
    }

    void layoutFollowsEveryResize()
    {
        QFETCH(QSize, size);
        CInfoSetupView view;
        view.resize(200, 180);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.resize(size);
        QApplication::processEvents();
        CKeywordPanel* panel = view.Panel();
        // The panel covers the view; the button is a full-width strip 20
        // pixels high along the bottom, the editor fills the rest.
        QCOMPARE(panel->geometry(), QRect(QPoint(0, 0), size));
        QCOMPARE(panel->OptionButton()->geometry(), QRect(0, size.height() - 20, size.width(), 20));
        QCOMPARE(panel->Edit()->geometry(), QRect(0, 0, size.width(), size.height() - 20));
    }

    void tinyPaneShowsOnlyTheButton()
    {
        CKeywordPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.resize(100, 12);
        QApplication::processEvents();
        QCOMPARE(panel.Edit()->height(), 0);
        QCOMPARE(panel.OptionButton()->geometry(), QRect(0, -8, 100, 20));
    }

    void analysisTakesOneKeywordPerNonEmptyLine()
    {
        CMessagePanel log;
        CKeywordPanel panel;
        panel.Edit()->setPlainText(QStringLiteral("alpha\n\n  \nBeta\nalpha"));
        QCOMPARE(SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0), 0);
        QCOMPARE(g_arrKeywords.GetSize(), 4L);
        QCOMPARE(Keyword(0), std::string("alpha"));
        QCOMPARE(Keyword(1), std::string("  "));
        QCOMPARE(Keyword(2), std::string("Beta"));
        QCOMPARE(Keyword(3), std::string("alpha"));
        QCOMPARE(LogLines(log), (QStringList{Str(IDS_INITIALIZATION), Str(IDS_ANALYZE_KEYWORDS)}));
    }

    void typedLinesBecomeKeywords()
    {
        CMessagePanel log;
        CKeywordPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTest::keyClicks(panel.Edit(), QStringLiteral("invoice"));
        QTest::keyClick(panel.Edit(), Qt::Key_Return);
        QTest::keyClicks(panel.Edit(), QStringLiteral("Rechnung"));
        // Shift+Enter breaks the line inside the editor's paragraph; it is a
        // new line on screen, so it starts a new keyword too.
        QTest::keyClick(panel.Edit(), Qt::Key_Return, Qt::ShiftModifier);
        panel.Edit()->insertPlainText(QStringLiteral("m\u00fcller"));
        SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
        QCOMPARE(g_arrKeywords.GetSize(), 3L);
        QCOMPARE(Keyword(0), std::string("invoice"));
        QCOMPARE(Keyword(1), std::string("Rechnung"));
        QCOMPARE(Keyword(2), std::string("m\xc3\xbcller"));
    }

    void noBreakSpaceIsKeptAsTyped()
    {
        CMessagePanel log;
        CKeywordPanel panel;
        panel.Edit()->setPlainText(QStringLiteral("10\u00a0kg"));
        SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
        QCOMPARE(g_arrKeywords.GetSize(), 1L);
        QCOMPARE(Keyword(0), std::string("10\xc2\xa0kg"));
    }

    void tooManyLinesAreRefused()
    {
        CMessagePanel log;
        CRecordingTarget frame;
        g_hWndMainFrame = &frame;
        CKeywordPanel panel;
        QStringList lines;
        for (int i = 0; i < 256; ++i) lines << QStringLiteral("k%1").arg(i);
        // 256 keywords and a final Enter are 257 lines.
        panel.Edit()->setPlainText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
        QCOMPARE(g_arrKeywords.GetSize(), 0L);
        QCOMPARE(LogLines(log), QStringList{Str(IDS_TOO_MANY_KEYWORDS)});
        QCOMPARE(frame.calls.size(), std::size_t{1});
        QCOMPARE(std::get<0>(frame.calls[0]), static_cast<UINT>(WM_SEARCH_FINISHED));

        panel.Edit()->setPlainText(lines.join(QLatin1Char('\n')));
        SendMessage(g_hWndKeywordPanel.load(), WM_ANALYZE_KEYWORDS, 0, 0);
        QCOMPARE(g_arrKeywords.GetSize(), 256L);
        g_hWndMainFrame = nullptr;
    }

    void optionButtonAsksTheFrameForTheOptionSheet()
    {
        CRecordingTarget frame;
        g_hWndMainFrame = &frame;
        CKeywordPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTest::mouseClick(panel.OptionButton(), Qt::LeftButton);
        QCOMPARE(frame.calls.size(), std::size_t{1});
        QCOMPARE(frame.calls[0], std::make_tuple(static_cast<UINT>(WM_SHOW_OPTIONS), WPARAM{0}, LPARAM{0}));
        g_hWndMainFrame = nullptr;
    }
};

QTEST_MAIN(KeywordPanelTest)
#include "keywordpanel_qtest.moc"
