// Shared helpers of the window tests: an isolated registry (the user hive
// in a temporary folder, an empty machine hive) with a fresh search context,
// a target that records what is sent to it, the lines of the message panel,
// result rows and tree items by name, and a main window over a temporary
// folder of documents with a helper that runs a real search there.
#pragma once

#include "app/mainframe.h"
#include "app/varnelview.h"
#include "folders/directoryview.h"
#include "office/automation/builtinoffice.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "results/desktopopener.h"
#include "results/resultlist.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

class CTestRegistry {
public:
    CTestRegistry()
    {
        RegSetUserHivePath(m_dir.filePath(QStringLiteral("user.reg")).toStdString());
        RegClearMachineHive();
        RegDenyUserKeyForTesting(std::string());
        ResetSearchContext();
    }
    ~CTestRegistry()
    {
        RegDenyUserKeyForTesting(std::string());
        RegClearMachineHive();
    }

    QString HivePath() const { return m_dir.filePath(QStringLiteral("user.reg")); }
    QByteArray HiveText() const
    {
        QFile hive(HivePath());
        return hive.open(QIODevice::ReadOnly) ? hive.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

// The default value of a user-hive key, or "<missing>".
inline std::string DefaultValue(const std::string& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, subKey.c_str(), &key) != 0) return "<missing>";
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LONG result = RegQueryValueEx(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result != 0 || type != REG_SZ ? "<missing>" : std::string(buffer);
}

// Records every message sent to it on its own thread.
class CRecordingTarget : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        calls.emplace_back(message, wParam, lParam);
        return 0;
    }
    std::vector<std::tuple<UINT, WPARAM, LPARAM>> calls;
};

// The lines an editor shows, without the empty line behind the last line
// break; for the log, its panel's Edit() lays out what it has taken in.
inline QStringList LogLines(const QPlainTextEdit* edit)
{
    QStringList lines = edit->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

inline QString Str(UINT id)
{
    return QString::fromUtf8(LoadString(id).c_str());
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Sends one row to the published result list, as the worker does.
inline void AddResult(const char* name, const char* path, int degree = 100, int kind = 0)
{
    std::memset(&g_resultFileInfo, 0, sizeof g_resultFileInfo);
    std::strncpy(g_resultFileInfo.szFileName, name, sizeof g_resultFileInfo.szFileName - 1);
    std::strncpy(g_resultFileInfo.szFilePath, path, sizeof g_resultFileInfo.szFilePath - 1);
    g_resultFileInfo.nMatchDegree = degree;
    g_resultFileInfo.nFileKind = kind;
    SendMessage(g_hWndResultList, WM_ADD_RESULT, 0, 0);
}

// Selects exactly `rows` (the first becomes the current row).
inline void SelectRows(QAbstractItemView* view, std::initializer_list<int> rows)
{
    view->clearSelection();
    QItemSelectionModel* selection = view->selectionModel();
    if (rows.size() != 0)
        selection->setCurrentIndex(view->model()->index(*rows.begin(), 0), QItemSelectionModel::NoUpdate);
    for (int row : rows)
        selection->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// A tree item by its path below the first drive ("a/B"): "." is the drive,
// "~" the root; null when missing.
inline QTreeWidgetItem* TreeItem(const CDirectoryTree& tree, const QString& path)
{
    if (path == QLatin1String("~")) return tree.RootItem();
    QTreeWidgetItem* item = tree.RootItem()->child(0);
    if (path == QLatin1String(".")) return item;
    for (const QString& name : path.split(QLatin1Char('/'))) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item != nullptr && i < item->childCount(); ++i)
            if (item->child(i)->text(0) == name) next = item->child(i);
        item = next;
    }
    return item;
}

// A registry and a documents folder of its own for each test, and a shown,
// active main window whose folder tree lists only that folder as its drive.
struct CFrameFixture {
    CTestRegistry registry;
    QTemporaryDir docs;

    CFrameFixture() { office::RegisterBuiltinOffice(); }

    std::unique_ptr<CMainFrame> MakeFrame(CSearchWorker::Procedure worker = nullptr) const
    {
        auto frame = std::make_unique<CMainFrame>(std::move(worker));
        const std::string mount = docs.path().toStdString();
        frame->FolderPane()->SetDriveSource([mount] {
            return std::vector<CDriveEntry>{CDriveEntry{mount, "Docs", DriveKind::Fixed}};
        });
        frame->show();
        frame->activateWindow();
        // A window that never shows fails the test here, so no caller checks again.
        if (!QTest::qWaitForWindowExposed(frame.get()) || !QTest::qWaitForWindowActive(frame.get()))
            QTest::qFail("the main window was never shown", __FILE__, __LINE__);
        return frame;
    }
};

inline QStringList Log(const CMainFrame& frame)
{
    return LogLines(frame.MessagePanel()->Edit());
}

// Ticks the documents folder, switches text files on and runs Find for the
// keyword lines to its end; false if it did not end in time.
inline bool FindAndWait(CMainFrame& frame, const QString& keywords)
{
    CDirectoryTree& tree = frame.FolderPane()->Tree();
    tree.SetCheckState(tree.RootItem()->child(0), CDirectoryTree::STATE_CHECKED);
    g_bTextFile = 1;
    frame.KeywordPanel()->Edit()->setPlainText(keywords);
    frame.Command(ID_FIND)->trigger();
    return QTest::qWaitFor([&frame] { return frame.IsIdle() && !frame.IsWorkerAlive(); }, 20000);
}
