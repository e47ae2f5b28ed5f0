// A small fake Word and Excel for driver tests. They answer the calls
// Kestrel makes by reading the file as plain text: a keyword is "found" when
// the file's bytes contain it. They record what the driver asks of the
// applications (starts, quits, opened files) and let a test act at each
// open, e.g. press Stop in the middle of a run.
#pragma once

#include "platform/oleauto.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct FakeOfficeLog {
    std::mutex lock;
    std::vector<std::string> events;  // "word:start", "word:open:/p", "excel:quit", ...
    std::function<void(const std::string& path)> onOpen;
    bool failWordVisible = false;
    bool failExcelQuit = false;

    void Add(const std::string& e)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(e);
    }
    std::vector<std::string> Events()
    {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
    int Count(const std::string& e)
    {
        std::lock_guard<std::mutex> guard(lock);
        int n = 0;
        for (const auto& x : events) n += x == e ? 1 : 0;
        return n;
    }
};

// Registers the fakes under "Word.Application" and "Excel.Application",
// logging into `log` (which must outlive every object created).
void RegisterFakeOffice(FakeOfficeLog& log);
