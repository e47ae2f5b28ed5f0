// Shared helpers of the window tests: an isolated registry (the user hive
// in a temporary folder, an empty machine hive), a fresh search context,
// a same-thread target that records the messages it gets, and access to
// the lines of the message panel.
#pragma once

#include "panels/messagepanel.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>

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
    QString Folder() const { return m_dir.path(); }

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
