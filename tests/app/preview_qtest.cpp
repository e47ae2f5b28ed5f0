// The main window after a real search (its list, log and status, and a new
// search starting over), painted, and its result preview: it fills for the
// selected row, shows only the last of quick selections, empties on a new
// search, notices a file changed since the search, opens the file from a
// hit, and its switch is remembered; the window follows a dark palette.
// With VARNEL_SCREENSHOT, VARNEL_DARK_SCREENSHOT or VARNEL_PREVIEW_SCREENSHOT
// set to a file name the window is saved there without the preview, in the
// dark palette and with the preview (docs/screenshot.png, docs/preview.png;
// run with QT_SCALE_FACTOR=2 for docs/screenshot-2x.png and -dark-2x.png).
#include "apptestenv.h"
#include "results/previewpane.h"

#include <QSet>
#include <QTreeWidget>

class PreviewTest : public QObject {
    Q_OBJECT
private:
    static QStringList TopTexts(const CPreviewPane* pane)
    {
        QStringList out;
        for (int i = 0; i < pane->Tree()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = pane->Tree()->topLevelItem(i);
            out << item->text(0) + QLatin1Char('|') + item->text(1);
        }
        return out;
    }
    // Saves the window where the variable asks for it.
    static void Shoot(const QImage& image, const char* variable)
    {
        if (const QByteArray target = qgetenv(variable); !target.isEmpty())
            QVERIFY(image.save(QString::fromLocal8Bit(target), "PNG"));
    }
    // The average grey: smooth scaling to one pixel averages them all.
    static int MeanGrey(const QImage& image)
    {
        return qGray(image.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixel(0, 0));
    }

private slots:
    void previewFollowsTheSelection()
    {
        CFrameFixture fx;
        QVERIFY(WriteFile(fx.docs.filePath("a.txt"), "Invoice for the garden.\r\nSecond line with receipts.\r\n"));
        QVERIFY(WriteFile(fx.docs.filePath("b.txt"), "Only an invoice here.\r\n"));
        QVERIFY(WriteFile(fx.docs.filePath("c.txt"), "Receipts and an invoice.\r\n"));
        auto frame = fx.MakeFrame();
        frame->resize(960, 640);
        QVERIFY(FindAndWait(*frame, QStringLiteral("invoice\nreceipts")));
        CResultList* list = frame->ResultView()->List();
        list->Model().Flush();
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(Log(*frame).back(), Str(IDS_SEARCH_FINISHED));
        QVERIFY2(Log(*frame).contains(Str(IDS_OFFICE_2003)), qPrintable(Log(*frame).join(" | ")));
        QTest::qWait(100);
        // A painted window has many colours; a blank or failed grab has one.
        const QImage image = frame->grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
        Shoot(image, "VARNEL_SCREENSHOT");

        QAction* preview = frame->Command(ID_VIEW_PREVIEW);
        QVERIFY(!preview->isChecked());  // off until switched on
        preview->trigger();
        CPreviewPane* pane = frame->ResultView()->Preview();
        QVERIFY(pane->isVisible() && pane->height() > 0);
        QVERIFY(!pane->accessibleName().isEmpty() && !pane->Tree()->accessibleName().isEmpty());

        // The degree's tooltip names the keywords found and missing.
        const QModelIndex bDegree = list->model()->index(1, CResultModel::COLUMN_DEGREE);
        QCOMPARE(list->model()->data(bDegree, Qt::ToolTipRole).toString(),
                 QStringLiteral("Found: invoice\nMissing: receipts"));

        QSignalSpy shown(pane, &CPreviewPane::reportShown);
        SelectRows(list, {0});
        QVERIFY(shown.wait(5000));
        QCOMPARE(TopTexts(pane), QStringList({QStringLiteral("\u2714 invoice|found"),
                                              QStringLiteral("\u2714 receipts|found")}));
        QTreeWidgetItem* hit = pane->Tree()->topLevelItem(1)->child(0);
        QCOMPARE(hit->text(0), QStringLiteral("Main text, paragraph 2"));
        auto* snippet = qobject_cast<QLabel*>(pane->Tree()->itemWidget(hit, 1));
        QVERIFY(snippet != nullptr && snippet->text().contains(QStringLiteral(">receipts</span>")));

        // A double-click on a hit opens the file, but not while file
        // actions are off (a search runs), as with Open File.
        QList<QUrl> opened;
        CDesktopOpener::SetHandler([&opened](const QUrl& url) { opened << url; });
        list->OnMessage(WM_ENABLE_RESULT_ACTIONS, 0, 0);
        emit pane->Tree()->itemDoubleClicked(hit, 0);
        list->OnMessage(WM_ENABLE_RESULT_ACTIONS, 1, 0);
        emit pane->Tree()->itemDoubleClicked(hit, 0);
        CDesktopOpener::SetHandler({});
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(fx.docs.filePath("a.txt"))}));

        // Quick selections: only the last is read and shown.
        shown.clear();
        const int started = pane->Started();
        SelectRows(list, {1});
        SelectRows(list, {2});
        QVERIFY(shown.wait(5000));
        QTest::qWait(2 * CPreviewPane::kSettleMs);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(pane->Started(), started + 1);
        QCOMPARE(QString::fromStdString(pane->ShownPath()), fx.docs.filePath("c.txt"));

        // A file changed since the search says what it lost.
        QVERIFY(WriteFile(fx.docs.filePath("b.txt"), "Nothing left.\r\n"));
        SelectRows(list, {1});
        QVERIFY(shown.wait(5000));
        QCOMPARE(TopTexts(pane), QStringList({QStringLiteral("\u2718 invoice|not found in this file any more"),
                                              QStringLiteral("\u2718 receipts|missing")}));
        QVERIFY(pane->Status()->text().contains(QStringLiteral("changed since the search")));

        if (!qEnvironmentVariableIsEmpty("VARNEL_PREVIEW_SCREENSHOT")) {
            SelectRows(list, {0});
            QVERIFY(shown.wait(5000));
            QTest::qWait(100);
            Shoot(frame->grab().toImage(), "VARNEL_PREVIEW_SCREENSHOT");
        }

        // A new search empties the preview, and the list and the log first:
        // only the one file that matches is listed.
        QVERIFY(FindAndWait(*frame, QStringLiteral("garden")));
        QVERIFY(pane->ShownPath().empty());
        QCOMPARE(pane->Tree()->topLevelItemCount(), 0);
        QCOMPARE(list->RowCount(), 1);
        QCOMPARE(Log(*frame).count(Str(IDS_SEARCH_FINISHED)), 1);
        QCOMPARE(frame->StatusLineText() + ' ' + frame->FilesPaneText(), QStringLiteral("Complete... Files:1"));

        // The switch is remembered for the next window, made here in a dark
        // palette, which it follows as the first followed the default one.
        frame.reset();
        const QPalette original = QApplication::palette();
        QApplication::setPalette(QPalette(QColor(0x35, 0x35, 0x35)));
        auto again = fx.MakeFrame();
        QVERIFY(again->Command(ID_VIEW_PREVIEW)->isChecked());
        again->resize(960, 640);
        QVERIFY(FindAndWait(*again, QStringLiteral("invoice")));
        QTest::qWait(100);
        const QImage dark = again->grab().toImage();
        QApplication::setPalette(original);
        Shoot(dark, "VARNEL_DARK_SCREENSHOT");
        QVERIFY2(MeanGrey(image) > 150 && MeanGrey(dark) < 100,
                 qPrintable(QStringLiteral("%1 %2").arg(MeanGrey(image)).arg(MeanGrey(dark))));
    }
};

QTEST_MAIN(PreviewTest)
#include "preview_qtest.moc"
