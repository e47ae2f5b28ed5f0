// Crafted web pages at full size, each read by the web page reader in a
// child process of its own: the page's size, the time of the read, the
// child's peak memory (its own resource usage as wait4 reports it) and
// whether the word after the hostile part was found. A plain page of
// paragraphs gives the baseline; the figures to compare are seconds per
// megabyte against it. Nothing here passes or fails on a time.
#include "office/word/wordloader.h"
#include "tests/office/support/hostilehtml.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using office::hostile::HostilePage;

struct Report {
    double seconds = 0;
    int found = 0;  // 1: the word after the hostile part was found; 0: not; -1: the read failed
    std::size_t bytes = 0;
};

// Runs in the child: makes the page, reads it, reports through the pipe.
void Child(const std::function<HostilePage()>& make, int out)
{
    const HostilePage page = make();
    Report report;
    report.bytes = page.html.size();
    office::WordContent content;
    office::ReadError error;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = office::LoadWordContent(
        office::ByteView(reinterpret_cast<const std::uint8_t*>(page.html.data()), page.html.size()), content, error,
        office::WordFileName::WebPage);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report.found = -1;
    if (ok) {
        const std::u16string word(page.word.begin(), page.word.end());
        report.found = 0;
        for (const office::Story& story : content.stories) {
            if (story.text.find(word) != std::u16string::npos) report.found = 1;
        }
    }
    if (write(out, &report, sizeof report) != static_cast<ssize_t>(sizeof report)) _exit(2);
    _exit(0);
}

}  // namespace

int main()
{
    using namespace office::hostile;
    const std::vector<std::pair<std::string, std::function<HostilePage()>>> pages = {
        {"plain paragraphs, 50 MB", [] { return PlainParagraphs(50u << 20); }},
        {"40,000 attributes on one tag", [] { return ManyAttributes(40000); }},
        {"300,000 attributes on one tag", [] { return ManyAttributes(300000); }},
        {"3,000,000 attributes on one tag", [] { return ManyAttributes(3000000); }},
        {"400 nested <font>", [] { return NestedFonts(400); }},
        {"100,000 unclosed <div>", [] { return Unclosed("div", 100000); }},
        {"1,000,000 unclosed <b>", [] { return Unclosed("b", 1000000); }},
        {"100,000 nested tables", [] { return DeepTables(100000); }},
        {"200,000 <b> then 200,000 </i>", [] { return StrayEndTags(200000); }},
        {"200,000 <span> then 200,000 <body>", [] { return RepeatedBody(200000); }},
        {"<b>, 200,000 <div>, 200,000 </b>", [] { return BlockedEndTags(200000); }},
    };
    std::printf("%-38s %12s %9s %9s %10s  %s\n", "page", "bytes", "seconds", "s/MB", "peak MB", "word after");
    for (const auto& [name, make] : pages) {
        int fds[2];
        if (pipe(fds) != 0) return 1;
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid < 0) return 1;
        if (pid == 0) {
            close(fds[0]);
            Child(make, fds[1]);
        }
        close(fds[1]);
        Report report;
        const bool got = read(fds[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
        close(fds[0]);
        int status = 0;
        struct rusage usage;
        std::memset(&usage, 0, sizeof usage);
        wait4(pid, &status, 0, &usage);
        const double peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
        if (!got) {
            std::printf("%-38s %12s %9s %9s %10.1f  child ended without a report (status %d)\n", name.c_str(), "-", "-",
                        "-", peakMb, status);
            continue;
        }
        const double mb = static_cast<double>(report.bytes) / (1024.0 * 1024.0);
        std::printf("%-38s %12zu %9.3f %9.3f %10.1f  %s\n", name.c_str(), report.bytes, report.seconds,
                    report.seconds / mb, peakMb,
                    report.found == 1   ? "found"
                    : report.found == 0 ? "NOT FOUND"
                                        : "read failed");
    }
    return 0;
}
