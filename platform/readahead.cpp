// The process's read-ahead service and thread count (see readahead.h).
#include "platform/readahead.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace platform {

namespace {

std::atomic<IReadAhead*> g_service{nullptr};
std::atomic<unsigned> g_threads{0};

}  // namespace

void SetReadAheadService(IReadAhead* service)
{
    g_service.store(service);
}

IReadAhead* ReadAheadService()
{
    return g_service.load();
}

bool ParseThreadCount(const char* text, unsigned& threads)
{
    if (text == nullptr || *text < '0' || *text > '9') return false;
    unsigned long value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > kMaxSearchThreads) return false;
    }
    if (value == 0) return false;
    threads = static_cast<unsigned>(value);
    return true;
}

unsigned SearchThreads()
{
    if (const unsigned set = g_threads.load(); set != 0) return set;
    unsigned threads = 0;
    if (ParseThreadCount(std::getenv("VARNEL_THREADS"), threads)) return threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void SetSearchThreads(unsigned threads)
{
    g_threads.store(threads > kMaxSearchThreads ? kMaxSearchThreads : threads);
}

}  // namespace platform
