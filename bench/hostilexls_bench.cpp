// Reads crafted .xls files at the sizes a hostile sender would send
// (tests/office/support/hostilexls.h makes them) and an ordinary workbook
// for comparison, each in a child process of its own, and prints per file
// its size, the time the read took, the child's peak memory and the
// outcome, and its time per MB as a multiple of the ordinary workbook's.
// A child that runs past the time limit is killed; its address
// space is capped so that a reader that asks for far too much fails in the
// child rather than taking the machine's memory.
//
//   bench_hostilexls [--timeout SECONDS] [--memory-mb MB] [--only NAME]
//
// Prints figures only; nothing passes or fails on a time.
#include "office/excel/workbookloader.h"
#include "tests/office/support/hostilexls.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    const char* what;
    std::function<hostilexls::Bytes()> make;
};

std::vector<Case> Cases()
{
    using namespace hostilexls;
    return {
        {"many-cells", "ordinary: 120,000 rows of a number and a text", [] { return ManyCells(120000); }},
        {"externsheet-names", "65,536 EXTERNSHEET entries and 65,536 NAMEs",
         [] { return ExternSheetsAndNames(65536, 65536); }},
        {"sheet-scoped-names", "4,096 sheets and 65,536 sheet-scoped NAMEs",
         [] { return SheetScopedNames(4096, 65536); }},
        {"repeated-filepass", "200 default-password FILEPASS records and 6 MB of filler",
         [] { return RepeatedFilePass(200, 6u << 20); }},
        {"shared-formula-cells", "65,535 cells sharing a formula of 3,000 operators (6 KB of tokens)",
         [] { return SharedFormulaCells(65535, 3000); }},
        {"array-formula-cells", "65,535 cells of an array formula of 8,000 characters",
         [] { return ArrayFormulaCells(65535, 8000); }},
        {"long-format-codes", "256 FORMAT records of 8,000 characters", [] { return LongFormatCodes(256, 8000); }},
        {"string-continue-flood", "4,096 sheets on one substream with 500,000 CONTINUE records",
         [] { return StringContinueFlood(4096, 500000); }},
        {"codepage-flood", "BIFF5, 150,000 code page switches", [] { return CodePageFlood(150000); }},
    };
}

bool HasMarker(const office::Workbook& book)
{
    for (const auto& sheet : book.sheets)
        for (const auto& cell : sheet.cells)
            if (book.Text(cell.shown) == hostilexls::kMarker) return true;
    return false;
}

// In the child: reads the file and writes "R seconds outcome" to `fd`.
[[noreturn]] void ReadInChild(const std::string& path, int fd, unsigned timeout, unsigned long memoryMb)
{
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(memoryMb) << 20;
    setrlimit(RLIMIT_AS, &limit);
    alarm(timeout);
    std::string outcome;
    const auto start = std::chrono::steady_clock::now();
    try {
        office::Workbook book;
        office::ReadError error;
        if (office::LoadWorkbook(path, book, error)) {
            outcome = HasMarker(book) ? "opened, marker found" : "opened, marker NOT found";
        } else {
            outcome = "error: " + error.detail;
        }
    } catch (const std::exception& e) {
        outcome = std::string("exception: ") + e.what();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char line[512];
    const int n = std::snprintf(line, sizeof line, "R %.3f %s\n", seconds, outcome.c_str());
    if (n > 0 && write(fd, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1)) < 0) _exit(3);
    _exit(0);
}

struct Row {
    std::string seconds = "-";
    std::string outcome = "no result";
    double peakMb = 0;
};

// Runs one read in a child of a child, so that RUSAGE_CHILDREN of the
// middle process is the reader's own peak; the middle process adds
// "M peakKB [how the reader ended]".
Row Measure(const std::string& path, unsigned timeout, unsigned long memoryMb)
{
    Row row;
    int fds[2];
    if (pipe(fds) != 0) return row;
    const pid_t middle = fork();
    if (middle == 0) {
        close(fds[0]);
        const pid_t reader = fork();
        if (reader == 0) ReadInChild(path, fds[1], timeout, memoryMb);
        int status = 0;
        waitpid(reader, &status, 0);
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        std::string line = "M " + std::to_string(usage.ru_maxrss);
        if (WIFSIGNALED(status))
            line += WTERMSIG(status) == SIGALRM ? " killed at the time limit"
                                                : " killed by signal " + std::to_string(WTERMSIG(status));
        line += "\n";
        if (write(fds[1], line.data(), line.size()) < 0) _exit(3);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(middle, &status, 0);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.rfind("R ", 0) == 0) {
            const std::size_t space = line.find(' ', 2);
            row.seconds = line.substr(2, space - 2);
            row.outcome = space == std::string::npos ? "" : line.substr(space + 1);
        } else if (line.rfind("M ", 0) == 0) {
            const std::size_t space = line.find(' ', 2);
            row.peakMb = std::strtod(line.substr(2, space - 2).c_str(), nullptr) / 1024.0;
            if (space != std::string::npos) row.outcome = line.substr(space + 1);
        }
    }
    return row;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned timeout = 600;
    unsigned long memoryMb = 8192;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--timeout") == 0) timeout = static_cast<unsigned>(std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--memory-mb") == 0) memoryMb = std::strtoul(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    }
    char dir[] = "/tmp/hostilexls.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("time limit %u s, address space limit %lu MB per child\n", timeout, memoryMb);
    std::printf("%-22s %9s %10s %9s %12s  %s\n", "file", "size MB", "time s", "x per MB", "peak RSS MB", "result");
    // Seconds per MB of the ordinary workbook: each file's rate is shown as
    // a multiple of it.
    double ordinaryRate = 0;
    for (const Case& c : Cases()) {
        if (!only.empty() && only != c.name) continue;
        const std::string path = std::string(dir) + "/" + c.name + ".xls";
        std::size_t size = 0;
        {
            const hostilexls::Bytes bytes = c.make();
            size = bytes.size();
            FILE* f = std::fopen(path.c_str(), "wb");
            if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
                std::perror(path.c_str());
                return 1;
            }
            std::fclose(f);
        }
        const Row row = Measure(path, timeout, memoryMb);
        const double mb = static_cast<double>(size) / (1 << 20);
        const double rate = row.seconds == "-" ? 0 : std::strtod(row.seconds.c_str(), nullptr) / mb;
        if (std::strcmp(c.name, "many-cells") == 0) ordinaryRate = rate;
        char ratio[32] = "-";
        if (rate > 0 && ordinaryRate > 0) std::snprintf(ratio, sizeof ratio, "%.1f", rate / ordinaryRate);
        std::printf("%-22s %9.2f %10s %9s %12.1f  %s\n", c.name, mb, row.seconds.c_str(), ratio, row.peakMb,
                    row.outcome.c_str());
        std::printf("%-22s   (%s)\n", "", c.what);
        std::fflush(stdout);
        std::remove(path.c_str());
    }
    rmdir(dir);
    return 0;
}
