// Corpus check of the built-in Excel's readers: opens every workbook under
// a folder (default: the POI spreadsheet corpus) and searches each sheet
// of those that open, reports how many open and
// groups the failures by reason, and flags any file that takes longer than
// two seconds. With --dump FILE it prints the first sheet's shown cell
// texts as tab-separated lines, for comparison with LibreOffice's CSV; with
// --compare FILE CSV it reports how many non-empty cells of the CSV match.
// With --values (before the folder) the searches look in values only and
// the formula texts are left to decode on request, as Workbooks.Open leaves
// them: the difference in the total time is what decoding them costs.
#include "office/excel/rangefind.h"
#include "office/excel/workbookloader.h"
#include "platform/codepage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using office::Workbook;

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsWorkbookName(const std::filesystem::path& p)
{
    const std::string ext = Lower(p.extension().string());
    return ext == ".xls" || ext == ".xlsx" || ext == ".xlsm" || ext == ".xlt" || ext == ".xltx" || ext == ".xltm";
}

// The shown texts of the first sheet as rows of columns.
std::vector<std::vector<std::string>> Grid(const Workbook& book)
{
    std::vector<std::vector<std::string>> grid;
    if (book.sheets.empty()) return grid;
    for (const auto& cell : book.sheets[0].cells) {
        if (cell.row >= 100000 || cell.column >= 1000) continue;
        if (grid.size() <= cell.row) grid.resize(cell.row + 1);
        auto& row = grid[cell.row];
        if (row.size() <= cell.column) row.resize(cell.column + 1);
        row[cell.column] = Utf16ToUtf8(book.Text(cell.shown));
    }
    return grid;
}

// A minimal CSV reader for LibreOffice's output (comma, double quotes).
std::vector<std::vector<std::string>> ReadCsv(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.push_back('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field.push_back(c);
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (c != '\r') {
            field.push_back(c);
        }
    }
    if (!field.empty()) rows.back().push_back(field);
    return rows;
}

bool ParseDouble(const std::string& text, double& value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

bool ParseDate(const std::string& text, int& m, int& d, int& y)
{
    char tail = 0;
    return std::sscanf(text.c_str(), "%d/%d/%d%c", &m, &d, &y, &tail) == 3;
}

// Equal content shown in another format: LibreOffice's CSV writes
// percentages as "6.5%", Booleans as 1/0 and dates with leading zeros,
// where the formula bar shows 0.065, TRUE/FALSE and m/d/yyyy.
bool SameContent(const std::string& ours, const std::string& theirs)
{
    if (ours == "TRUE" && theirs == "1") return true;
    if (ours == "FALSE" && theirs == "0") return true;
    double a = 0;
    double b = 0;
    std::string t = theirs;
    double scale = 1;
    if (!t.empty() && t.back() == '%') {
        t.pop_back();
        scale = 100;
    }
    if (ParseDouble(ours, a) && ParseDouble(t, b))
        return std::fabs(a * scale - b) <= 1e-9 * std::max(1.0, std::fabs(b));
    int m1 = 0, d1 = 0, y1 = 0, m2 = 0, d2 = 0, y2 = 0;
    if (ParseDate(ours, m1, d1, y1) && ParseDate(theirs, m2, d2, y2)) return m1 == m2 && d1 == d2 && y1 == y2;
    return false;
}

int Compare(const std::string& file, const std::string& csv)
{
    Workbook book;
    office::ReadError error;
    if (!office::LoadWorkbook(file, book, error)) {
        std::printf("%s: cannot open: %s\n", file.c_str(), error.detail.c_str());
        return 1;
    }
    const auto ours = Grid(book);
    const auto theirs = ReadCsv(csv);
    std::size_t total = 0;
    std::size_t same = 0;
    std::size_t sameContent = 0;
    int shown = 0;
    for (std::size_t r = 0; r < theirs.size(); ++r) {
        for (std::size_t c = 0; c < theirs[r].size(); ++c) {
            if (theirs[r][c].empty()) continue;
            ++total;
            const std::string mine = r < ours.size() && c < ours[r].size() ? ours[r][c] : std::string();
            if (mine == theirs[r][c]) ++same;
            else if (SameContent(mine, theirs[r][c])) ++sameContent;
            else if (shown++ < 5)
                std::printf("  R%zuC%zu: ours '%s' LibreOffice '%s'\n", r + 1, c + 1, mine.c_str(),
                            theirs[r][c].c_str());
        }
    }
    const auto pct = [&](std::size_t n) {
        return total == 0 ? 100.0 : 100.0 * static_cast<double>(n) / static_cast<double>(total);
    };
    std::printf(
        "%s: %zu non-empty cells; %zu equal as text (%.2f%%), %zu more equal in content but formatted "
        "otherwise; content equal %.2f%%\n",
        file.c_str(), total, same, pct(same), sameContent, pct(same + sameContent));
    return 0;
}

int Dump(const std::string& file)
{
    Workbook book;
    office::ReadError error;
    if (!office::LoadWorkbook(file, book, error)) {
        std::printf("cannot open: %s\n", error.detail.c_str());
        return 1;
    }
    for (const auto& sheet : book.sheets) {
        std::printf("== sheet '%s' visibility %d, %zu cells\n", Utf16ToUtf8(sheet.name).c_str(),
                    static_cast<int>(sheet.visibility), sheet.cells.size());
        for (const auto& cell : sheet.cells)
            std::printf("R%uC%u\t%s%s%s\n", cell.row + 1, cell.column + 1, Utf16ToUtf8(book.Text(cell.shown)).c_str(),
                        cell.formula != office::kNoText ? "\t" : "",
                        cell.formula != office::kNoText ? Utf16ToUtf8(book.Text(cell.formula)).c_str() : "");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--dump") return Dump(argv[2]);
    if (argc >= 4 && std::string(argv[1]) == "--compare") return Compare(argv[2], argv[3]);
    const bool valuesOnly = argc >= 2 && std::string(argv[1]) == "--values";
    if (valuesOnly) {
        --argc;
        ++argv;
    }
    const std::string root = argc >= 2 ? argv[1] : std::string(VARNEL_CORPUS) + "/spreadsheet";
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec))
        if (entry.is_regular_file() && IsWorkbookName(entry.path())) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::size_t opened = 0;
    std::size_t slow = 0;
    std::map<std::string, std::vector<std::string>> failures;
    double worst = 0;
    std::string worstFile;
    double total = 0;
    for (const auto& path : files) {
        Workbook book;
        office::ReadError error;
        const auto start = std::chrono::steady_clock::now();
        bool ok = office::LoadWorkbook(path.string(), book, error, {}, valuesOnly);
        if (ok) {
            // Search every sheet too, as Kestrel would: a plain text and one
            // with wildcards, with and without case.
            office::RangeFinder finder(std::make_shared<Workbook>(std::move(book)));
            for (std::size_t s = 0; s < finder.Book().sheets.size(); ++s) {
                for (const char16_t* what : {u"the", u"a*b?c~*"}) {
                    office::RangeFindOptions options;
                    options.what = what;
                    if (valuesOnly) options.lookIn = office::FindLookIn::Values;
                    finder.Find(s, office::CellArea{}, options);
                    options.matchCase = true;
                    finder.Find(s, office::CellArea{}, options);
                }
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += seconds;
        if (seconds > worst) {
            worst = seconds;
            worstFile = path.filename().string();
        }
        if (seconds > 2.0) {
            ++slow;
            std::printf("SLOW %.2fs %s\n", seconds, path.string().c_str());
        }
        if (ok) {
            ++opened;
        } else {
            // Group by the kind of reason, and its words without file-specific details.
            const std::string reason = std::string(office::ReadErrorKindName(error.kind)) + ": " +
                                       error.detail.substr(0, error.detail.find(':'));
            failures[reason].push_back(path.filename().string());
        }
    }
    std::printf("%zu workbooks: %zu open, %zu fail, %zu over 2 s (slowest %.3f s: %s), %.3f s in all%s\n", files.size(),
                opened, files.size() - opened, slow, worst, worstFile.c_str(), total,
                valuesOnly ? " (values only)" : "");
    for (const auto& [reason, names] : failures) {
        std::printf("  %zu: %s:", names.size(), reason.c_str());
        for (std::size_t i = 0; i < names.size(); ++i) std::printf(" %s", names[i].c_str());
        std::printf("\n");
    }
    return 0;
}
