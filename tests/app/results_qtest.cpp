// Result list: rows from the shared result record, the right-click report
// to the frame, the file actions through a replaceable desktop handler, the
// clipboard contents, header sorting, clearing and batched adding.
#include "apptestenv.h"

#include "results/clipboardfiles.h"
#include "results/filekindicons.h"

#include <QHeaderView>

#include <algorithm>

namespace {

void Send(UINT message, WPARAM wParam = 0)
{
    SendMessage(g_hWndResultList, message, wParam, 0);
}

QList<QUrl> Files(std::initializer_list<const char*> paths)
{
    QList<QUrl> urls;
    for (const char* path : paths) urls << QUrl::fromLocalFile(QString::fromUtf8(path));
    return urls;
}

}  // namespace

class ResultsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CResultList> m_list;
    CRecordingTarget m_frame;
    QList<QUrl> m_opened;

    QPoint Row(int row) const { return m_list->visualRect(m_list->model()->index(row, 0)).center(); }
    QPoint BelowTheRows() const { return QPoint(10, m_list->viewport()->height() - 5); }
    void Select(std::initializer_list<int> rows) { SelectRows(m_list.get(), rows); }
    void RightClick(const QPoint& pos) { QTest::mouseClick(m_list->viewport(), Qt::RightButton, {}, pos); }
    void DoubleClick(const QPoint& pos, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, keys, pos);
    }
    void AddThree()
    {
        AddResult("a.doc", "/work/a.doc", 50, FILE_KIND_WORD);
        AddResult("B.xls", "/work/B.xls", 100, FILE_KIND_EXCEL);
        AddResult("c.txt", "/other/c.txt", 60, FILE_KIND_TEXT);
        m_list->Model().Flush();
    }
    QStringList Column(int column) const
    {
        QStringList out;
        for (int r = 0; r < m_list->model()->rowCount(); ++r)
            out << m_list->model()->index(r, column).data().toString();
        return out;
    }
    // The frame's reports of right clicks: (on a row?, rows selected).
    QList<QPair<WPARAM, LPARAM>> Reports() const
    {
        QList<QPair<WPARAM, LPARAM>> out;
        for (const auto& [message, onRow, selected] : m_frame.calls) out << qMakePair(onRow, selected);
        return out;
    }

private slots:
    void init()
    {
        ResetSearchContext();
        g_bDCOpenFile = 0;
        m_frame.calls.clear();
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
        // At least the default widths; wider where a header needs it; the
        // path column takes the rest of the pane.
        const int widths[] = {120, 80, 340};
        QStringList headers;
        for (int c = 0; c < m_list->model()->columnCount(); ++c) {
            headers << m_list->model()->headerData(c, Qt::Horizontal).toString();
            QVERIFY(m_list->columnWidth(c) >= std::max(widths[c], m_list->header()->sectionSizeHint(c)));
        }
        QCOMPARE(headers, (QStringList{"File Name", "Matchdegree", "Address"}));
        QTRY_COMPARE(m_list->header()->sectionViewportPosition(2) + m_list->columnWidth(2),
                     m_list->viewport()->width());

        // Rows reach the view in one batch, without anyone flushing. Kinds 0
        // to 5 (Word, Excel and their templates, text, web) have pictures
        // of their own, unknown kinds none.
        QSignalSpy inserts(&m_list->Model(), &QAbstractItemModel::rowsInserted);
        const int kinds[] = {0, 1, 2, 3, 4, 5, 7, -1};
        for (int i = 0; i < 8; ++i) AddResult(("f" + std::to_string(i)).c_str(), "/f", 10 * i, kinds[i]);
        QTRY_COMPARE(m_list->model()->rowCount(), 8);
        QCOMPARE(inserts.count(), 1);
        QList<QImage> icons;
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(Column(0)[i] + ' ' + Column(1)[i] + ' ' + Column(2)[i],
                     QStringLiteral("f%1 %2% /f").arg(i).arg(10 * i));
            icons << m_list->model()->index(i, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
            QCOMPARE(icons[i], CFileKindIcons::Icon(kinds[i]).toImage());
            QVERIFY(icons[i].isNull() == (i >= 6) && (i >= 6 || !icons.mid(0, i).contains(icons[i])));
            QVERIFY(!m_list->model()->index(i, 1).data(Qt::DecorationRole).isValid());
        }
        // A record without terminators is read within its fields.
        std::memset(&g_resultFileInfo, 'x', sizeof g_resultFileInfo.szFileName + sizeof g_resultFileInfo.szFilePath);
        Send(WM_ADD_RESULT);
        m_list->Model().Flush();
        QCOMPARE(Column(0).back().size(), qsizetype(260));
        QCOMPARE(Column(2).back().size(), qsizetype(260));
    }

    void rightClickSelectsItsRowAndReportsTheSelectionUnlessSearching()
    {
        QCOMPARE(m_list->HitItem(), -1);
        AddThree();
        Select({});
        RightClick(Row(1));
        QCOMPARE(m_list->HitItem(), 1);
        QCOMPARE(m_list->selectionModel()->selectedRows().size(), qsizetype(1));  // the click selected its row
        Select({0, 2});
        RightClick(Row(1));
        Select({0});
        RightClick(Row(0));
        // Below the rows: no hit, so a command chosen next does nothing.
        RightClick(BelowTheRows());
        // An unselected row is selected alone before the report.
        QCOMPARE(Reports(), (QList<QPair<WPARAM, LPARAM>>{{1, 1}, {1, 1}, {1, 1}, {0, 1}}));
        QVERIFY(m_list->HitItem() < 0);
        Select({0});
        Send(WM_RESULT_ACTION, 1);
        QVERIFY(m_opened.isEmpty());

        // The popup is asked of the owner, by mouse and by keyboard.
        QSignalSpy spy(m_list.get(), &CResultList::contextMenuRequested);
        QContextMenuEvent mouse(QContextMenuEvent::Mouse, Row(0), m_list->viewport()->mapToGlobal(Row(0)));
        QApplication::sendEvent(m_list->viewport(), &mouse);
        // The menu key acts on the current row as a right click on it would.
        m_frame.calls.clear();
        Select({});
        m_list->selectionModel()->setCurrentIndex(m_list->model()->index(1, 0), QItemSelectionModel::NoUpdate);
        QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(-1, -1), QPoint(-1, -1));
        QApplication::sendEvent(m_list->viewport(), &keyboard);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toPoint(), m_list->viewport()->mapToGlobal(Row(0)));
        QCOMPARE(spy.at(1).at(0).toPoint(), m_list->mapToGlobal(QPoint(5, 5)));
        QCOMPARE(m_list->HitItem(), 1);
        QCOMPARE(m_list->SelectedPaths(), std::vector<std::string>{"/work/B.xls"});
        QCOMPARE(Reports(), (QList<QPair<WPARAM, LPARAM>>{{1, 1}}));

        // During a search a right click reports nothing, and neither the
        // actions nor a double click open anything.
        Send(WM_ENABLE_RESULT_ACTIONS, 0);
        RightClick(Row(2));
        QCOMPARE(m_frame.calls.size(), std::size_t(1));  // nothing sent
        for (WPARAM action = 1; action <= 3; ++action) Send(WM_RESULT_ACTION, action);
        g_bDCOpenFile = 1;
        DoubleClick(Row(0));
        QVERIFY(m_opened.isEmpty());
        Send(WM_ENABLE_RESULT_ACTIONS, 1);
        Select({0});
        Send(WM_RESULT_ACTION, 1);
        QCOMPARE(m_opened, Files({"/work/a.doc"}));
    }

    void openFilesAndFoldersAndCopy()
    {
        AddThree();
        AddResult("root.doc", "/root.doc", 1, 0);
        m_list->Model().Flush();
        Select({0, 1, 2});
        RightClick(Row(0));  // keeps the selection: the row is selected
        Send(WM_RESULT_ACTION, 1);
        // Two files in /work open it twice, once per row.
        Send(WM_RESULT_ACTION, 2);
        Select({3});
        Send(WM_RESULT_ACTION, 2);
        Send(WM_RESULT_ACTION, 4);  // no such action
        Select({});
        Send(WM_RESULT_ACTION, 1);  // nothing selected
        QCOMPARE(m_opened, Files({"/work/a.doc", "/work/B.xls", "/other/c.txt", "/work", "/work", "/other", "/"}));

        // A double click opens only when switched on; then every selected
        // row opens, whatever the multi-file setting; below the rows nothing.
        m_opened.clear();
        DoubleClick(Row(1));
        QVERIFY(m_opened.isEmpty());
        g_bDCOpenFile = 1;
        Select({0, 1});
        DoubleClick(Row(2), Qt::ControlModifier);
        QVERIFY(m_opened.size() >= 2 && m_opened.contains(QUrl::fromLocalFile("/other/c.txt")));
        m_opened.clear();
        DoubleClick(BelowTheRows());
        QVERIFY(m_opened.isEmpty());

        // Copy puts the selected files on the clipboard.
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setText(QStringLiteral("keep"));
        // With a hit row but nothing selected the clipboard stays as it was.
        Select({0});
        RightClick(Row(0));
        Select({});
        Send(WM_RESULT_ACTION, 3);
        QCOMPARE(clipboard->text(), QStringLiteral("keep"));

        Select({0, 2});
        Send(WM_RESULT_ACTION, 3);
        const QMimeData* data = clipboard->mimeData();
        QVERIFY(data != nullptr);
        QCOMPARE(data->urls(), Files({"/work/a.doc", "/other/c.txt"}));
        QCOMPARE(data->data("x-special/gnome-copied-files"),
                 QByteArray("copy\nfile:///work/a.doc\nfile:///other/c.txt"));
        QCOMPARE(data->data("application/x-kde-cutselection"), QByteArray("0"));
        // Names are escaped in the URLs.
        std::unique_ptr<QMimeData> escaped(CClipboardFiles::Build({"/a b/ü#1.doc"}));
        QCOMPARE(escaped->urls().front().toLocalFile(), QString::fromUtf8("/a b/ü#1.doc"));
        QCOMPARE(escaped->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///a%20b/%C3%BC%231.doc"));
    }

    void headerSortsAndANewFindRestoresAddingOrder()
    {
        AddThree();
        // Names whatever their case, degrees as numbers (as text "100%" would
        // come first), either way round.
        QHeaderView* header = m_list->header();
        for (const auto& [column, ascending] : {std::pair{0, QStringList{"a.doc", "B.xls", "c.txt"}},
                                                {1, {"50%", "60%", "100%"}},
                                                {2, {"/other/c.txt", "/work/a.doc", "/work/B.xls"}}}) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
            const QStringList sorted = Column(column);
            QVERIFY2(sorted == ascending || sorted == QStringList(ascending.rbegin(), ascending.rend()),
                     qPrintable(sorted.join(' ')));
        }
        // Actions follow the order on screen.
        Select({0, 1, 2});
        RightClick(Row(0));
        Send(WM_RESULT_ACTION, 1);
        QList<QUrl> onScreen;
        for (const QString& path : Column(2)) onScreen << QUrl::fromLocalFile(path);
        QCOMPARE(m_opened, onScreen);
        // A new Find empties the list, also of rows still queued, resets the
        // count and lists in the order of finding, also rows added later.
        Send(WM_CLEAR_RESULTS);
        AddResult("q.doc", "/q.doc", 1, 0);
        Send(WM_CLEAR_RESULTS);
        QCOMPARE(m_list->RowCount() + g_nResultCount, 0);
        AddResult("z.doc", "/z.doc", 10, 0);
        AddResult("y.doc", "/y.doc", 90, 0);
        AddResult("x.doc", "/x.doc", 50, 0);
        QTRY_COMPARE(Column(0), (QStringList{"z.doc", "y.doc", "x.doc"}));
    }
};

QTEST_MAIN(ResultsTest)
#include "results_qtest.moc"
