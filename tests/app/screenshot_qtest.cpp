// Renders the main window after a real search and checks that it painted
// its panes. With VARNEL_SCREENSHOT set to a file name the picture is also
// saved there (docs/screenshot.png is made this way).
#include "apptestenv.h"

#include "app/mainframe.h"
#include "folders/directoryview.h"
#include "office/automation/builtinoffice.h"
#include "panels/keywordpanel.h"
#include "results/resultlist.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSet>
#include <QTest>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void windowAfterASearch()
    {
        CTestRegistry registry;
        office::RegisterBuiltinOffice();
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("Documents")));
        const QString docs = root.filePath(QStringLiteral("Documents"));
        const QList<QPair<QString, QByteArray>> files = {
            {"garden-invoice.txt", "Invoice for the garden work, March.\r\n"},
            {"meeting-notes.txt", "Notes: the invoice was paid on Friday.\r\n"},
            {"recipes.txt", "Bread, butter and jam.\r\n"},
            {"tax-2024.txt", "Tax return 2024, receipts and invoices attached.\r\n"},
        };
        for (const auto& [name, bytes] : files) {
            QFile file(docs + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }

        CMainFrame frame;
        const std::string mount = docs.toStdString();
        frame.FolderPane()->SetDriveSource(
            [mount] { return std::vector<CDriveEntry>{CDriveEntry{mount, "Documents", DriveKind::Fixed}}; });
        frame.resize(960, 640);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        CDirectoryTree& tree = frame.FolderPane()->Tree();
        QTreeWidgetItem* drive = tree.RootItem()->child(0);
        QVERIFY(drive != nullptr);
        tree.SetCheckState(drive, CDirectoryTree::STATE_CHECKED);
        g_bTextFile = 1;
        frame.KeywordPanel()->Edit()->setPlainText(QStringLiteral("invoice\nreceipts"));
        frame.OnFind();
        QTRY_VERIFY_WITH_TIMEOUT(frame.IsIdle() && !frame.IsWorkerAlive(), 20000);
        QCOMPARE(g_nResultCount, 3);
        QTest::qWait(100);

        const QImage image = frame.grab().toImage();
        QCOMPARE(image.size(), frame.size() * frame.devicePixelRatio());
        // A painted window has many colours; a blank or failed grab has one.
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));

        const QByteArray target = qgetenv("VARNEL_SCREENSHOT");
        if (!target.isEmpty()) QVERIFY(image.save(QString::fromLocal8Bit(target), "PNG"));
        QVERIFY(frame.close());
    }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_qtest.moc"
