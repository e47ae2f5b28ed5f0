// The read-ahead seam between the search driver and the built-in Office.
// The driver walks the folders on one worker thread and calls Word and
// Excel through automation, one file at a time, in walk order. While one
// file is searched the next ones can already be read and parsed on another
// core: the driver tells the registered service which files come next, and
// the service's Documents.Open / Workbooks.Open take what it parsed when the
// file has not changed since. The automation calls and their order stay as
// they are; a process without a service (fake applications in the tests)
// searches exactly as before.
//
// How many threads a search may use (the worker included) comes from
// VARNEL_THREADS, else the number of cores; varnel-find's -j overrides it.
// 1 means no helper thread at all.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ReadAheadItem {
    std::string path;
    bool workbook = false;  // read for Excel, not for Word
};

class IReadAhead {
public:
    virtual ~IReadAhead() = default;
    // Starts `helpers` threads for one search (none when 0).
    virtual void Start(unsigned helpers) = 0;
    // The file the driver is about to hand to an application, then the
    // files it will hand over after it, in order. Replaces the previous
    // hint: work on files no longer named is dropped. The driver need not
    // give one for every file: what a hint named stays named until an
    // application opens a file after it, or a later hint leaves it out.
    virtual void Hint(const std::vector<ReadAheadItem>& coming) = 0;
    // Cancels the reads in progress, drops what was read and joins the
    // helper threads. Returns once none is left.
    virtual void Stop() = 0;
};

// One service per process, like the automation servers; null when none.
void SetReadAheadService(IReadAhead* service);
IReadAhead* ReadAheadService();

// Threads a search may use, at least 1.
unsigned SearchThreads();
// Overrides the environment (0: back to VARNEL_THREADS or the core count).
void SetSearchThreads(unsigned threads);
// VARNEL_THREADS's value as a thread count: false when it is not a whole
// number from 1 to kMaxSearchThreads.
constexpr unsigned kMaxSearchThreads = 256;
bool ParseThreadCount(const char* text, unsigned& threads);

}  // namespace platform
