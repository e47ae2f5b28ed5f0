// What hostile sizes cost: makes a 3 MB word-processing package whose parts
// all point at one deflated body of 250 MB, a workbook with two sheets of
// 19.9 million cells, and a 480 MB text file, then reads each one in a
// child process of its own, twice: through the loader alone and through a
// whole search of the file (Documents.Open or Workbooks.Open and Find). For
// each it prints the file's size, the time, the child's peak resident
// memory and what came of it. The files are made in the temporary folder
// and deleted afterwards.
//
// Usage: bench_hostilesize [docx|xlsx|txt ...]   (all three by default)
#include "kestrel/officefind.h"
#include "office/automation/builtinoffice.h"
#include "office/excel/workbookloader.h"
#include "office/word/wordloader.h"
#include "platform/olethread.h"
#include "tests/office/support/hostilesize.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

bool IsWorkbook(const std::string& path)
{
    return path.size() > 5 && path.compare(path.size() - 5, 5, ".xlsx") == 0;
}

// The child's work: prints one line saying what came of it.
void Load(const std::string& path)
{
    office::ReadError error;
    if (IsWorkbook(path)) {
        office::Workbook book;
        if (office::LoadWorkbook(path, book, error))
            std::printf("opened: %zu sheets, %zu cells", book.sheets.size(), book.CellCount());
        else std::printf("refused: %s", error.detail.c_str());
    } else {
        office::WordContent content;
        if (office::LoadWordFile(path, content, error)) {
            std::size_t units = 0;
            for (const auto& story : content.stories) units += story.text.size();
            std::printf("opened: %zu stories, %zu characters", content.stories.size(), units);
        } else {
            std::printf("refused: %s", error.detail.c_str());
        }
    }
}

void Search(const std::string& path)
{
    office::RegisterBuiltinOffice();
    CoInitialize(nullptr);
    CKeywordArray keywords;
    _FindKeyWord k{};
    std::strncpy(k.szKeyword, "needle", sizeof k.szKeyword - 1);
    keywords.Add(k);
    _FindedConditions conditions{};
    _ResultFileInfo info{};
    std::strncpy(info.szFilePath, path.c_str(), sizeof info.szFilePath - 1);
    OfficeFind find;
    int rc = 0;
    if (IsWorkbook(path)) {
        _Excel11 excel;
        excel.CreateDispatch("Excel.Application");
        rc = find.SearchExcel11(info, keywords, conditions, excel);
        excel.ReleaseDispatch();
    } else {
        _Word11 word;
        word.CreateDispatch("Word.Application");
        rc = find.SearchWord11(info, keywords, conditions, word);
        word.ReleaseDispatch();
    }
    std::printf("OfficeFind returned %d, match degree %d%s", rc, info.nMatchDegree,
                rc == 1 && info.nMatchDegree == 100 ? " (keyword after the large part found)" : "");
}

void Measure(const std::string& label, const std::string& path, bool search)
{
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return;
    }
    if (pid == 0) {
        std::printf("%-5s %-6s %7.1f MB  ", label.c_str(), search ? "search" : "load",
                    static_cast<double>(fs::file_size(path)) / kMiB);
        if (search) Search(path);
        else Load(path);
        std::printf("\n");
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string how = "exit 0";
    if (WIFSIGNALED(status)) how = "killed by signal " + std::to_string(WTERMSIG(status));
    else if (WEXITSTATUS(status) != 0) how = "exit " + std::to_string(WEXITSTATUS(status));
    std::printf("      time %.2f s, peak memory %.0f MB (%s)\n", seconds, static_cast<double>(usage.ru_maxrss) / 1024.0,
                how.c_str());
}

bool WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> which;
    for (int i = 1; i < argc; ++i) which.emplace_back(argv[i]);
    if (which.empty()) which = {"docx", "xlsx", "txt"};
    const fs::path dir = fs::temp_directory_path() / ("varnel-hostilesize-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const std::string& kind : which) {
        fs::path path;
        if (kind == "docx") {
            path = dir / "shared-body.docx";
            if (!WriteFile(path, hostilesize::SharedBodyDocx(250 * kMiB, true))) return 1;
        } else if (kind == "xlsx") {
            path = dir / "two-sheets.xlsx";
            if (!WriteFile(path, hostilesize::TwoSheetXlsx(19'900'000))) return 1;
        } else if (kind == "txt") {
            path = dir / "large.txt";
            if (!hostilesize::WriteLargeText(path.string(), 480 * kMiB)) return 1;
        } else {
            std::fprintf(stderr, "unknown kind '%s' (docx, xlsx or txt)\n", kind.c_str());
            continue;
        }
        Measure(kind, path.string(), false);
        Measure(kind, path.string(), true);
        fs::remove(path);
    }
    fs::remove_all(dir);
    return 0;
}
