// Cost of the match report against the search of the same file: a 1 MB
// .docx and a 10 MB .xlsx, generated here in the temporary folder, each
// searched for 10 keywords (half of them absent, so those scan the whole
// file) once through OfficeFind as the search driver calls it and once
// through the report with its three hits per keyword. The two alternate in
// one run, several rounds; the medians of processor time and their ratio
// are printed. Nothing passes or fails on a time.
#include "kestrel/officefind.h"
#include "office/automation/builtinoffice.h"
#include "platform/olethread.h"
#include "report/matchreport.h"
#include "support/largeworkbook.h"
#include "tests/office/support/excelfixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace excelfixtures;
using namespace benchsupport;

namespace {

const char* const kVocabulary[] = {"the",      "search",   "finds",  "documents", "by",      "content", "and",
                                   "lists",    "every",    "file",   "keyword",   "occurs",  "match",   "degree",
                                   "folder",   "report",   "budget", "meeting",   "minutes", "project", "invoice",
                                   "customer", "delivery", "north",  "south",     "office",  "table",   "total"};
constexpr std::size_t kVocabularySize = sizeof kVocabulary / sizeof kVocabulary[0];

// Five words of the text, five that occur nowhere.
const char* const kKeywords[] = {"invoice",  "quarterly north", "Delivery", "minutes",   "customer",
                                 "zeppelin", "quixotic",        "marzipan", "xylophone", "absent words"};

std::string Sentence(std::mt19937& rng, int words)
{
    std::string s;
    for (int i = 0; i < words; ++i) {
        if (i > 0) s += ' ';
        s += kVocabulary[rng() % kVocabularySize];
    }
    return s;
}

const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kPackageRel = "http://schemas.openxmlformats.org/package/2006/relationships";

// Paragraphs of prose in the main text, grown until the package is 1 MB.
Bytes MakeDocx()
{
    std::mt19937 rng(5);
    const std::string w = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
    std::string body;
    Bytes zip;
    for (int round = 0; zip.size() < 1024 * 1024; ++round) {
        for (int p = 0; p < 2000; ++p)
            body += "<w:p><w:r><w:t>" + Sentence(rng, 30 + static_cast<int>(rng() % 30)) + "</w:t></w:r></w:p>";
        zip = ZipOf(
            {{"_rels/.rels", "<Relationships xmlns=\"" + kPackageRel + "\"><Relationship Id=\"r\" Type=\"" + kRel +
                                 "/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
             {"word/document.xml", "<w:document xmlns:w=\"" + w + "\"><w:body>" + body + "</w:body></w:document>"}});
    }
    return zip;
}

// Shared strings and numbers on five sheets, about 10 MB.
Bytes MakeXlsx()
{
    std::mt19937 rng(11);
    return LargeXlsx(
        rng, [&rng] { return Sentence(rng, 4); }, 80000, 71000);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    CoInitialize(nullptr);
    office::RegisterBuiltinOffice();
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string docx = dir + "/varnel-report-bench.docx";
    const std::string xlsx = dir + "/varnel-report-bench.xlsx";
    WriteFile(docx, MakeDocx());
    WriteFile(xlsx, MakeXlsx());

    CKeywordArray keys;
    for (const char* k : kKeywords) {
        _FindKeyWord w{};
        std::strncpy(w.szKeyword, k, sizeof w.szKeyword - 1);
        keys.Add(w);
    }
    _FindedConditions conditions{};
    conditions.ClearSeriesSpace = 1;  // the default setting
    OfficeFind find;
    _Word11 word;
    _Excel11 excel;
    if (!word.CreateDispatch("Word.Application") || !excel.CreateDispatch("Excel.Application")) return 1;

    struct Subject {
        const char* name;
        std::string path;
        std::int32_t kind;
    } subjects[] = {{"docx", docx, FILE_KIND_WORD}, {"xlsx", xlsx, FILE_KIND_EXCEL}};
    for (const Subject& s : subjects) {
        std::vector<double> search;
        std::vector<double> report;
        int degree = -1;
        int reportDegree = -1;
        for (int r = 0; r < rounds; ++r) {
            _ResultFileInfo info{};
            std::strncpy(info.szFilePath, s.path.c_str(), sizeof info.szFilePath - 1);
            double t = CpuSeconds();
            const int ok = s.kind == FILE_KIND_EXCEL ? find.SearchExcel11(info, keys, conditions, excel)
                                                     : find.SearchWord11(info, keys, conditions, word);
            search.push_back(CpuSeconds() - t);
            if (ok != 1) return 1;
            degree = info.nMatchDegree;
            t = CpuSeconds();
            const report::MatchReport m = report::BuildMatchReport(s.path, s.kind, keys, conditions);
            report.push_back(CpuSeconds() - t);
            reportDegree = m.degree;
        }
        const double a = Median(search);
        const double b = Median(report);
        std::printf("%s %.1f MB: search %.1f ms, report %.1f ms, report/search %.2f (degree %d / %d, %d rounds)\n",
                    s.name, static_cast<double>(std::filesystem::file_size(s.path)) / (1024.0 * 1024.0), a * 1000,
                    b * 1000, b / a, degree, reportDegree, rounds);
    }
    word.ReleaseDispatch();
    excel.ReleaseDispatch();
    CoUninitialize();
    std::remove(docx.c_str());
    std::remove(xlsx.c_str());
    return 0;
}
