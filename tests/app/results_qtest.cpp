// Result list: rows from the shared result record, the right-click report
// to the frame, the file actions through a replaceable desktop handler, the
// clipboard contents, header sorting and batched adding.
#include "results/clipboardfiles.h"
#include "results/desktopopener.h"
#include "results/filekindicons.h"
#include "results/resultlist.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"

#include <QClipboard>
#include <QHeaderView>
#include <QMimeData>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

class RecordingFrame : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_RESULT_SELECTION) reports.emplace_back(wParam, lParam);
        return 0;
    }
    std::vector<std::pair<WPARAM, LPARAM>> reports;
};
using Report = std::pair<WPARAM, LPARAM>;

void AddResult(const char* name, const char* path, int degree, int kind)
{
    std::memset(&g_resultFileInfo, 0, sizeof g_resultFileInfo);
    std::strncpy(g_resultFileInfo.szFileName, name, sizeof g_resultFileInfo.szFileName - 1);
    std::strncpy(g_resultFileInfo.szFilePath, path, sizeof g_resultFileInfo.szFilePath - 1);
    g_resultFileInfo.nMatchDegree = degree;
    g_resultFileInfo.nFileKind = kind;
    SendMessage(g_hWndResultList, WM_ADD_RESULT, 0, 0);
}

void Action(WPARAM action) { SendMessage(g_hWndResultList, WM_RESULT_ACTION, action, 0); }

QList<QUrl> Files(std::initializer_list<const char*> paths)
{
    QList<QUrl> urls;
    for (const char* path : paths) urls << QUrl::fromLocalFile(QString::fromUtf8(path));
    return urls;
}

// CPU time of this thread: other programs on the machine do not count.
qint64 ThreadCpuNanos()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

class ResultsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CResultList> m_list;
    RecordingFrame m_frame;
    QList<QUrl> m_opened;

    QPoint Row(int row) const { return m_list->visualRect(m_list->model()->index(row, 0)).center(); }
    QPoint BelowTheRows() const { return QPoint(10, m_list->viewport()->height() - 5); }
    void SelectRows(std::initializer_list<int> rows)
    {
        m_list->clearSelection();
        for (int row : rows)
            m_list->selectionModel()->select(m_list->model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void RightClick(const QPoint& pos) { QTest::mouseClick(m_list->viewport(), Qt::RightButton, {}, pos); }
    void DoubleClick(const QPoint& pos, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, keys, pos);
    }
    void AddThree()
    {
        AddResult("a.doc", "/work/a.doc", 50, FILE_KIND_WORD);
        AddResult("B.xls", "/work/B.xls", 100, FILE_KIND_EXCEL);
        AddResult("c.txt", "/other/c.txt", 9, FILE_KIND_TEXT);
        m_list->Model().Flush();
    }
    QStringList Column(int column) const
    {
        QStringList out;
        for (int r = 0; r < m_list->model()->rowCount(); ++r) out << m_list->model()->index(r, column).data().toString();
        return out;
    }

private slots:
    void init()
    {
        ResetSearchContext();
        g_bDCOpenFile = 0;
        m_frame.reports.clear();
        m_opened.clear();
        CDesktopOpener::SetHandler([this](const QUrl& url) { m_opened.append(url); });
        m_list = std::make_unique<CResultList>();
        m_list->InitColumns();
        m_list->resize(600, 300);
        g_hWndMainFrame = &m_frame;
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    }

    void cleanup()
    {
        m_list.reset();
        QVERIFY(g_hWndResultList.load() == nullptr);  // unpublished with the list
        CDesktopOpener::SetHandler({});
        ResetSearchContext();
    }

    void rowsShowTheRecordInTheirColumns()
    {
        QCOMPARE(g_hWndResultList.load(), m_list->Handle());
        QStringList headers;
        QList<int> widths;
        for (int c = 0; c < m_list->model()->columnCount(); ++c) {
            headers << m_list->model()->headerData(c, Qt::Horizontal).toString();
            widths << m_list->columnWidth(c);
        }
        QCOMPARE(headers, (QStringList{"File Name", "Matchdegree", "Address"}));
        QCOMPARE(widths, (QList<int>{120, 80, 340}));

        const int kinds[] = {FILE_KIND_WORD, FILE_KIND_EXCEL, FILE_KIND_TEXT, FILE_KIND_HTM, 7, -1};
        for (int i = 0; i < 6; ++i) AddResult(("f" + std::to_string(i)).c_str(), "/f", 10 * i, kinds[i]);
        QCOMPARE(g_nResultCount, 6);
        // Rows reach the view in batches, without anyone flushing.
        QTRY_COMPARE(m_list->model()->rowCount(), 6);
        QCOMPARE(Column(0), (QStringList{"f0", "f1", "f2", "f3", "f4", "f5"}));
        QCOMPARE(Column(1), (QStringList{"0%", "10%", "20%", "30%", "40%", "50%"}));
        QCOMPARE(Column(2), QStringList(6, "/f"));
        for (int i = 0; i < 6; ++i) {
            const QPixmap icon = m_list->model()->index(i, 0).data(Qt::DecorationRole).value<QPixmap>();
            QCOMPARE(icon.toImage(), CFileKindIcons::Icon(kinds[i]).toImage());  // null for unknown kinds
            QVERIFY(!m_list->model()->index(i, 1).data(Qt::DecorationRole).isValid());
        }
        for (int i = 0; i < CFileKindIcons::kCount; ++i) {
            QVERIFY(!CFileKindIcons::Icon(i).isNull());
            for (int j = i + 1; j < CFileKindIcons::kCount; ++j)
                QVERIFY(CFileKindIcons::Icon(i).toImage() != CFileKindIcons::Icon(j).toImage());
        }

        // A record without terminators is read within its fields.
        std::memset(&g_resultFileInfo, 'x', sizeof g_resultFileInfo.szFileName + sizeof g_resultFileInfo.szFilePath);
        SendMessage(g_hWndResultList, WM_ADD_RESULT, 0, 0);
        m_list->Model().Flush();
        QCOMPARE(Column(0).back().size(), qsizetype(260));
        QCOMPARE(Column(2).back().size(), qsizetype(260));
    }

    void clearEmptiesAndResetsTheCount()
    {
        AddThree();
        RightClick(Row(1));
        SendMessage(g_hWndResultList, WM_CLEAR_RESULTS, 0, 0);
        QCOMPARE(g_nResultCount, 0);
        QCOMPARE(m_list->RowCount(), 0);
        QCOMPARE(m_list->HitItem(), 1);  // not reset by a clear
        // Rows still queued are dropped as well.
        AddResult("q.doc", "/q.doc", 1, 0);
        SendMessage(g_hWndResultList, WM_CLEAR_RESULTS, 0, 0);
        QTest::qWait(2 * CResultModel::kFlushIntervalMs);
        QCOMPARE(m_list->model()->rowCount(), 0);
    }

    // The report to the frame: (on a row?, rows selected before the click).
    void rightClickReportsTheSelectionBeforeTheClick()
    {
        QCOMPARE(m_list->HitItem(), -1);
        AddThree();
        SelectRows({});
        RightClick(Row(1));
        QCOMPARE(m_list->HitItem(), 1);
        QCOMPARE(m_list->selectionModel()->selectedRows().size(), qsizetype(1));  // the click selected its row
        SelectRows({0, 2});
        RightClick(Row(1));
        SelectRows({0});
        RightClick(Row(0));
        QCOMPARE(m_frame.reports, (std::vector<Report>{{1, 0}, {1, 2}, {1, 1}}));
        // Below the rows: no hit, so a command chosen next does nothing.
        RightClick(BelowTheRows());
        QCOMPARE(m_frame.reports.back().first, WPARAM(0));
        QVERIFY(m_list->HitItem() < 0);
        SelectRows({0});
        Action(1);
        QVERIFY(m_opened.isEmpty());
    }

    void contextMenuIsAskedOfTheOwner()
    {
        QSignalSpy spy(m_list.get(), &CResultList::contextMenuRequested);
        const QPoint local = Row(0);
        QContextMenuEvent mouse(QContextMenuEvent::Mouse, local, m_list->viewport()->mapToGlobal(local));
        QApplication::sendEvent(m_list->viewport(), &mouse);
        QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(-1, -1), QPoint(-1, -1));
        QApplication::sendEvent(m_list->viewport(), &keyboard);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toPoint(), m_list->viewport()->mapToGlobal(local));
        QCOMPARE(spy.at(1).at(0).toPoint(), m_list->mapToGlobal(QPoint(5, 5)));
    }

    void actionsAreIgnoredDuringASearch()
    {
        AddThree();
        SelectRows({0});
        RightClick(Row(0));
        SendMessage(g_hWndResultList, WM_ENABLE_RESULT_ACTIONS, 0, 0);
        QCOMPARE(m_list->ActionsEnabled(), 0);
        RightClick(Row(1));
        QCOMPARE(m_frame.reports.size(), std::size_t(1));  // nothing sent
        for (WPARAM action = 1; action <= 3; ++action) Action(action);
        g_bDCOpenFile = 1;
        DoubleClick(Row(0));
        QVERIFY(m_opened.isEmpty());
        SendMessage(g_hWndResultList, WM_ENABLE_RESULT_ACTIONS, 1, 0);
        QCOMPARE(m_list->ActionsEnabled(), 1);
        SelectRows({0});
        Action(1);
        QCOMPARE(m_opened, Files({"/work/a.doc"}));
    }

    void openFilesAndFolders()
    {
        AddThree();
        AddResult("root.doc", "/root.doc", 1, 0);
        m_list->Model().Flush();
        SelectRows({0, 1, 2});
        RightClick(Row(0));  // keeps the selection: the row is selected
        Action(1);
        QCOMPARE(m_opened, Files({"/work/a.doc", "/work/B.xls", "/other/c.txt"}));
        m_opened.clear();
        Action(2);
        // Two files in /work open it twice, once per row.
        QCOMPARE(m_opened, Files({"/work", "/work", "/other"}));
        m_opened.clear();
        SelectRows({3});
        Action(2);
        QCOMPARE(m_opened, Files({"/"}));
        m_opened.clear();
        Action(4);  // no such action
        SelectRows({});
        Action(1);  // nothing selected
        QVERIFY(m_opened.isEmpty());
    }

    void doubleClickOpensOnlyWhenSwitchedOn()
    {
        AddThree();
        DoubleClick(Row(1));
        QVERIFY(m_opened.isEmpty());
        g_bDCOpenFile = 1;
        SelectRows({0, 1});
        DoubleClick(Row(2), Qt::ControlModifier);
        // Every selected row opens, whatever the multi-file setting.
        QVERIFY(m_opened.size() >= 2);
        QVERIFY(m_opened.contains(QUrl::fromLocalFile("/other/c.txt")));
        m_opened.clear();
        DoubleClick(BelowTheRows());
        QVERIFY(m_opened.isEmpty());
    }

    void copyPutsFilesOnTheClipboard()
    {
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setText(QStringLiteral("keep"));
        AddThree();
        // With a hit row but nothing selected the clipboard stays as it was.
        SelectRows({0});
        RightClick(Row(0));
        SelectRows({});
        Action(3);
        QCOMPARE(clipboard->text(), QStringLiteral("keep"));

        SelectRows({0, 2});
        Action(3);
        const QMimeData* data = clipboard->mimeData();
        QVERIFY(data != nullptr);
        QCOMPARE(data->urls(), Files({"/work/a.doc", "/other/c.txt"}));
        QCOMPARE(data->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///work/a.doc\nfile:///other/c.txt"));
        QCOMPARE(data->data("application/x-kde-cutselection"), QByteArray("0"));
        // Names are escaped in the URLs.
        std::unique_ptr<QMimeData> escaped(CClipboardFiles::Build({"/a b/ü#1.doc"}));
        QCOMPARE(escaped->urls().front().toLocalFile(), QString::fromUtf8("/a b/ü#1.doc"));
        QCOMPARE(escaped->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///a%20b/%C3%BC%231.doc"));
    }

    void headerSortsAndANewFindRestoresAddingOrder()
    {
        AddThree();
        QHeaderView* header = m_list->header();
        const auto clickHeader = [header](int section) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
        };
        // Names whatever their case, degrees as numbers ("100%" < "50%" as text).
        clickHeader(0);
        const QStringList names = Column(0);
        QVERIFY2(names == (QStringList{"a.doc", "B.xls", "c.txt"}) || names == (QStringList{"c.txt", "B.xls", "a.doc"}),
                 qPrintable(names.join(' ')));
        clickHeader(1);
        const QStringList degrees = Column(1);
        QVERIFY2(degrees == (QStringList{"9%", "50%", "100%"}) || degrees == (QStringList{"100%", "50%", "9%"}),
                 qPrintable(degrees.join(' ')));
        // Actions follow the order on screen.
        SelectRows({0, 1, 2});
        RightClick(Row(0));
        Action(1);
        QCOMPARE(m_opened.front().toLocalFile(), degrees.front() == "9%" ? QString("/other/c.txt") : QString("/work/B.xls"));
        // A new Find lists in the order of finding, also rows added later.
        SendMessage(g_hWndResultList, WM_CLEAR_RESULTS, 0, 0);
        AddResult("z.doc", "/z.doc", 10, 0);
        AddResult("y.doc", "/y.doc", 90, 0);
        AddResult("x.doc", "/x.doc", 50, 0);
        m_list->Model().Flush();
        QCOMPARE(Column(0), (QStringList{"z.doc", "y.doc", "x.doc"}));
    }

    void rowsFromTheWorkerThread()
    {
        // The worker sends from its own thread; each send waits for the row.
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 200; ++i) {
                const std::string name = "w" + std::to_string(i) + ".doc";
                AddResult(name.c_str(), ("/w/" + name).c_str(), i % 101, 0);
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
        worker.join();
        QCOMPARE(g_nResultCount, 200);
        QTRY_COMPARE(m_list->model()->rowCount(), 200);
        QCOMPARE(m_list->model()->index(199, 0).data().toString(), QStringLiteral("w199.doc"));
    }

    void addingStaysLinear()
    {
        // The time per row with 100,000 rows may not grow much beyond the
        // time per row with 1,000: no redraw or copy per added row. The
        // event loop runs now and then, as between the worker's sends.
        const auto addRows = [this](int count) {
            SendMessage(g_hWndResultList, WM_CLEAR_RESULTS, 0, 0);
            QCoreApplication::processEvents();
            const qint64 start = ThreadCpuNanos();
            for (int i = 0; i < count; ++i) {
                AddResult("file.doc", "/some/folder/file.doc", i % 101, i % 6);
                if (i % 500 == 499) QCoreApplication::processEvents();
            }
            m_list->Model().Flush();
            QCoreApplication::processEvents();
            return ThreadCpuNanos() - start;
        };
        // The median of several short runs, so one disturbed run does not
        // skew the baseline.
        std::vector<qint64> smallRuns;
        for (int i = 0; i < 10; ++i) smallRuns.push_back(addRows(1000));
        std::sort(smallRuns.begin(), smallRuns.end());
        QSignalSpy inserts(&m_list->Model(), &QAbstractItemModel::rowsInserted);
        const qint64 large = addRows(100000);
        // The view hears of the rows in batches, not one by one.
        QVERIFY2(inserts.count() * 50 < 100000, qPrintable(QString("%1 insertions").arg(inserts.count())));
        QCOMPARE(m_list->model()->rowCount(), 100000);
        // Linear adding gives about 100; work per added row that grows with
        // the rows already there gives thousands.
        const double ratio = double(large) / double(std::max<qint64>(smallRuns[5], 1));
        QVERIFY2(ratio < 1000.0, qPrintable(QString("ratio %1").arg(ratio)));
    }
};

QTEST_MAIN(ResultsTest)
#include "results_qtest.moc"
