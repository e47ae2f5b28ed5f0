// The message panel takes a line in while its sender waits and lays lines
// out together on a short timer: a worker's lines arrive whole and in
// order, far fewer layouts than lines are made, all lines show once the
// timer has run, and a clear drops lines not yet laid out.
#include "apptestenv.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include <atomic>
#include <thread>

namespace {

// The edit control as it stands, without the lay-out Edit() does first.
QPlainTextEdit* RawEdit(CMessagePanel& panel)
{
    return panel.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
}

QStringList Shown(CMessagePanel& panel)
{
    QStringList lines = RawEdit(panel)->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

}  // namespace

class MessageBatchTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchContext(); }

    void workerLinesArriveInOrderAndShowAfterTheBatch()
    {
        CMessagePanel panel;
        panel.resize(400, 200);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        int layouts = 0;
        connect(RawEdit(panel)->document(), &QTextDocument::contentsChange, this,
                [&layouts](int, int, int added) { layouts += added > 0 ? 1 : 0; });

        constexpr int kLines = 3000;
        std::atomic<bool> done{false};
        std::thread worker([&done] {
            for (int i = 0; i < kLines; ++i) LogLine("/data/file" + std::to_string(i) + ".txt:cannot be searched");
            done = true;
        });
        QStringList seen;
        while (!done) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            // Whatever is laid out at any moment is the lines so far, in order.
            seen = Shown(panel);
            for (int i = 0; i < seen.size(); i += 97) {
                QCOMPARE(seen.at(i), QStringLiteral("/data/file%1.txt:cannot be searched").arg(i));
            }
        }
        worker.join();
        QTRY_COMPARE(Shown(panel).size(), kLines);
        const QStringList lines = Shown(panel);
        for (int i = 0; i < kLines; ++i) QCOMPARE(lines.at(i), QStringLiteral("/data/file%1.txt:cannot be searched").arg(i));
        QScrollBar* bar = RawEdit(panel)->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        // Lines are laid out in batches, not one by one.
        QVERIFY2(layouts <= kLines / 4, qPrintable(QStringLiteral("%1 layouts").arg(layouts)));
    }

    void aLineWaitsForTheTimerUnlessTheLogIsReadAndAClearDropsIt()
    {
        CMessagePanel panel;
        LogLine("old");
        QCOMPARE(Shown(panel), QStringList());
        SendMessage(panel.Handle(), WM_CLEAR_MESSAGES, 0, 0);
        LogLine("first");
        QTRY_COMPARE(Shown(panel), QStringList{"first"});
        LogLine("second");
        // Reading the log through the panel lays out what it has taken in.
        QCOMPARE(panel.Edit()->toPlainText(), QStringLiteral("first\nsecond\n"));
    }
};

QTEST_MAIN(MessageBatchTest)
#include "messagebatch_qtest.moc"
