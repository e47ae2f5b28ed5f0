// Shared helpers of the window tests: an isolated registry (the user hive
// in a temporary folder, an empty machine hive) with a fresh search context,
// a target that records what is sent to it, the lines of the message panel,
// and a main window over a temporary folder of documents with a helper that
// runs a real search there and waits for its end.
#pragma once

#include "app/mainframe.h"
#include "folders/directoryview.h"
#include "office/automation/builtinoffice.h"
#include "panels/keywordpanel.h"
#include "panels/messagepanel.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
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
    CTestRegistry(const CTestRegistry&) = delete;
    CTestRegistry& operator=(const CTestRegistry&) = delete;

    QString HivePath() const { return m_dir.filePath(QStringLiteral("user.reg")); }
    QByteArray HiveText() const
    {
        QFile hive(HivePath());
        return hive.open(QIODevice::ReadOnly) ? hive.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};

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

// The log's lines, without the empty line behind the last line break.
inline QStringList LogLines(const CMessagePanel& panel)
{
    QStringList lines = panel.Edit()->toPlainText().split(QLatin1Char('\n'));
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

// A registry and a documents folder of its own for each test, and a shown
// main window whose folder tree lists only that folder as its drive.
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
        if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
        return frame;
    }
};

inline QStringList Log(const CMainFrame& frame)
{
    return LogLines(*frame.MessagePanel());
}

// Ticks the documents folder, switches text files on and starts Find for
// the keyword lines; the caller waits for what it needs.
inline void StartFind(CMainFrame& frame, const QString& keywords)
{
    CDirectoryTree& tree = frame.FolderPane()->Tree();
    tree.SetCheckState(tree.RootItem()->child(0), CDirectoryTree::STATE_CHECKED);
    g_bTextFile = 1;
    frame.KeywordPanel()->Edit()->setPlainText(keywords);
    frame.Command(ID_FIND)->trigger();
}

// Runs a search to its end; false if it did not end in time.
inline bool FindAndWait(CMainFrame& frame, const QString& keywords)
{
    StartFind(frame, keywords);
    return QTest::qWaitFor([&frame] { return frame.IsIdle() && !frame.IsWorkerAlive(); }, 20000);
}
