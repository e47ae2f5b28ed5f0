// Renders the main window after a real search and checks that it painted
// its panes. With VARNEL_SCREENSHOT set to a file name the picture is also
// saved there (docs/screenshot.png is made this way).
#include "apptestenv.h"

#include <QDir>
#include <QImage>
#include <QSet>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowAfterASearch()
    {
        CFrameFixture fx;
        const QStringList files = {"garden-invoice.txt", "Invoice for the garden work, March.",
                                   "meeting-notes.txt",  "Notes: the invoice was paid on Friday.",
                                   "recipes.txt",        "Bread, butter and jam.",
                                   "tax-2024.txt",       "Tax return 2024, receipts and invoices attached."};
        for (qsizetype i = 0; i < files.size(); i += 2)
            QVERIFY(WriteFile(fx.docs.filePath(files[i]), files[i + 1].toUtf8() + "\r\n"));
        auto frame = fx.MakeFrame();
        QVERIFY(frame);
        frame->resize(960, 640);
        QVERIFY(FindAndWait(*frame, QStringLiteral("invoice\nreceipts")));
        QCOMPARE(g_nResultCount, 3);
        QTest::qWait(100);

        const QImage image = frame->grab().toImage();
        // A painted window has many colours; a blank or failed grab has one.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
        const QByteArray target = qgetenv("VARNEL_SCREENSHOT");
        if (!target.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(target), "PNG"));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_qtest.moc"
