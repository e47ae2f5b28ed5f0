// What the message panel's log costs a search: a worker thread sends N
// lines (default 3,000, or the first argument) to a shown panel, as the
// driver does for files that cannot be searched, while the user-interface
// thread runs its event loop. Printed: how long the worker was held up by
// the sends and how long until every line was on screen, for lines laid out
// in batches (the panel as it is) and for lines laid out at every turn of
// the event loop (one layout per line, as before batching). Run with
// QT_QPA_PLATFORM=offscreen; nothing passes or fails here.
#include "panels/messagepanel.h"
#include "search/searchcontext.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

struct Figures {
    double worker = 0;
    double shown = 0;
};

Figures Run(int lines, bool everyTurn)
{
    CMessagePanel panel;
    panel.resize(700, 300);
    panel.show();
    QApplication::processEvents();
    QPlainTextEdit* raw = panel.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
    // Edit() lays out what the panel has taken in: called at every turn of
    // the event loop it gives one layout per line.
    QTimer eachTurn;
    if (everyTurn) {
        QObject::connect(&eachTurn, &QTimer::timeout, &panel, [&panel] { panel.Edit(); });
        eachTurn.start(0);
    }
    std::atomic<bool> done{false};
    const Clock::time_point start = Clock::now();
    Clock::time_point workerEnd;
    std::thread worker([&] {
        for (int i = 0; i < lines; ++i)
            LogLine("/home/user/docs/archive/file" + std::to_string(i) + ".txt:cannot be searched");
        workerEnd = Clock::now();
        done = true;
    });
    while (!done || raw->document()->blockCount() <= lines) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const Clock::time_point shown = Clock::now();
    worker.join();
    return {Seconds(start, workerEnd), Seconds(start, shown)};
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 3000;
    for (int round = 0; round < 3; ++round) {
        const Figures batched = Run(lines, false);
        const Figures single = Run(lines, true);
        std::printf(
            "%d lines: batched: worker held %.3f s, all shown after %.3f s | one layout per line: worker held "
            "%.3f s, all shown after %.3f s | ratio %.1fx\n",
            lines, batched.worker, batched.shown, single.worker, single.shown, single.worker / batched.worker);
    }
    return 0;
}
