// Many keywords over one large text on the searcher's real path: Kestrel's
// SearchWord11 opens a 10 MB text file in the built-in Word, clears tabs and
// runs of spaces before every keyword, runs one Find.Execute per keyword and
// closes the document. Each case is timed as one whole call and printed with
// the number of keywords found, so that two builds run side by side (see
// wordcodes_compare.sh) can be compared for both speed and answers.
//
// Usage: bench_wordcodes [--reps N] [--file PATH] CASE...
//   CASE is MODE:COUNT with MODE plain, sounds or forms and COUNT 256 (a
//   mixed list: common and rare words, word pairs, absent words), 1found (a
//   common word found near the start) or 1absent (a word found nowhere).
// Prints one line per case: case, wall-clock and processor seconds (each
// the best of N; on a shared machine the processor time is the steadier
// figure), keywords found.
// With --phases, each case is run once more through the same automation
// calls Kestrel makes, timed call by call, to show where the time goes.
// Reports times only; nothing here passes or fails on a time.
#include "kestrel/officefind.h"
#include "kestrel/officewrappers.h"
#include "office/automation/wordapplication.h"
#include "platform/olethread.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Frequent English words, including irregular forms, so "all word forms"
// has something to join. None begins with q, x, y or z: absent keywords do.
const char* const kCommon[] = {
    "the",
    "of",
    "and",
    "to",
    "in",
    "a",
    "is",
    "that",
    "for",
    "it",
    "as",
    "was",
    "with",
    "be",
    "by",
    "on",
    "not",
    "he",
    "this",
    "are",
    "or",
    "his",
    "from",
    "at",
    "which",
    "but",
    "have",
    "an",
    "had",
    "they",
    "report",
    "annual",
    "budget",
    "customer",
    "invoice",
    "delivery",
    "contract",
    "meeting",
    "schedule",
    "monthly",
    "revenue",
    "growth",
    "team",
    "project",
    "deadline",
    "children",
    "went",
    "gone",
    "going",
    "walked",
    "walking",
    "walks",
    "mice",
    "sat",
    "sitting",
    "ran",
    "running",
    "better",
    "people",
    "women",
    "Stra\xC3\x9F"
    "e",
    "caf\xC3\xA9",
    "M\xC3\xBCller",
    "2024",
    "15",
    "\xD0\xBC\xD0\xB8\xD1\x80",
    "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82",
    "\xE6\x9D\xB1\xE4\xBA\xAC",
    "Smith",
    "Smyth",
    "Robert",
    "Rupert",
};
const char* const kSyllables[] = {"ba", "ke", "lo", "mi", "nu",   "ra",   "te",  "so", "di", "fa", "go", "pe",
                                  "vi", "ha", "ju", "wo", "ster", "ment", "ing", "ed", "an", "el", "or", "us"};
const char* const kAbsentStarts[] = {"qu", "xa", "zy", "yo", "zu", "xe"};

// The vocabulary: the common words, then invented ones of two to four
// syllables. Ranks follow Zipf's law, as word frequencies in prose do.
std::vector<std::string> Vocabulary(std::mt19937& rng)
{
    std::vector<std::string> v(std::begin(kCommon), std::end(kCommon));
    std::set<std::string> seen(v.begin(), v.end());
    const std::size_t nSyl = sizeof kSyllables / sizeof kSyllables[0];
    while (v.size() < 20000) {
        std::string w;
        const unsigned n = 2 + static_cast<unsigned>(rng() % 3);
        for (unsigned i = 0; i < n; ++i) w += kSyllables[rng() % nSyl];
        if (rng() % 8 == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
        if (seen.insert(w).second) v.push_back(w);
    }
    return v;
}

struct BenchText {
    std::string path;
    std::vector<std::string> vocabulary;
    std::vector<std::string> pairs;  // adjacent words taken from the text
};

// About 10 MB of prose with a tab and a run of spaces now and then, written
// the same way by every build of this program.
BenchText MakeText(const std::string& path)
{
    BenchText t;
    t.path = path;
    std::mt19937 rng(42);
    t.vocabulary = Vocabulary(rng);
    std::vector<double> weights(t.vocabulary.size());
    for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = 1.0 / static_cast<double>(i + 1);
    std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
    std::string text;
    const std::size_t size = 10u << 20;
    text.reserve(size + 64);
    std::size_t n = 0;
    std::string previous;
    while (text.size() < size) {
        const std::string& w = t.vocabulary[pick(rng)];
        text += w;
        ++n;
        if (n % 40009 == 0 && !previous.empty()) t.pairs.push_back(previous + " " + w);
        previous = w;
        if (n % 97 == 0) {
            text += "\t";
        } else if (n % 89 == 0) {
            text += std::string(2 + rng() % 30, ' ');
        } else if (n % 15 == 0) {
            text += ".\r\n";
            previous.clear();
        } else {
            text += " ";
        }
    }
    std::ofstream(path, std::ios::binary) << text;
    return t;
}

std::vector<std::string> Keywords(const BenchText& t, const std::string& count)
{
    if (count == "1found") return {"meeting"};
    if (count == "1absent") return {"quixotry"};
    // 256 different keywords, so that no answer comes from the document's
    // memory of earlier searches: words of every rank, pairs of adjacent
    // words, and words that occur nowhere.
    std::vector<std::string> out;
    std::set<std::string> seen;
    auto add = [&](const std::string& k) {
        if (out.size() < 256 && seen.insert(k).second) out.push_back(k);
    };
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < 8 && i < t.pairs.size(); ++i) add(t.pairs[i]);
    for (std::size_t rank = 0; out.size() < 128 && rank < t.vocabulary.size(); rank = rank * 5 / 4 + 1) {
        add(t.vocabulary[rank]);
    }
    while (out.size() < 128) add(t.vocabulary[rng() % t.vocabulary.size()]);
    const std::size_t nSyl = sizeof kSyllables / sizeof kSyllables[0];
    while (out.size() < 256) {
        std::string w = kAbsentStarts[rng() % (sizeof kAbsentStarts / sizeof kAbsentStarts[0])];
        w += kSyllables[rng() % nSyl];
        w += kSyllables[rng() % nSyl];
        if (rng() % 4 == 0) w += std::string(" ") + t.vocabulary[rng() % 50];
        add(w);
    }
    std::shuffle(out.begin(), out.end(), rng);
    return out;
}

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Outcome {
    double seconds = 0;
    double cpu = 0;
    int found = 0;
    int result = 0;
};

Outcome RunCase(_Word11& word, const BenchText& t, const std::string& mode, const std::string& count)
{
    const std::vector<std::string> words = Keywords(t, count);
    CArray<_FindKeyWord, _FindKeyWord> keys;
    for (const std::string& w : words) {
        _FindKeyWord k{};
        std::strncpy(k.szKeyword, w.c_str(), sizeof k.szKeyword - 1);
        keys.Add(k);
    }
    _FindedConditions c{};
    c.MatchSoundsLike = mode == "sounds" ? 1 : 0;
    c.MatchAllWordForms = mode == "forms" ? 1 : 0;
    c.ClearSeriesSpace = 1;
    _ResultFileInfo info{};
    std::strncpy(info.szFilePath, t.path.c_str(), sizeof info.szFilePath - 1);
    OfficeFind find;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds();
    Outcome o;
    o.result = find.SearchWord11(info, keys, c, word);
    o.cpu = CpuSeconds() - c0;
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (std::size_t i = 0; i < words.size(); ++i) o.found += info.nKeywordFound[i];
    return o;
}

// The calls of Kestrel's SearchWord11 made one by one, with the same
// arguments, each phase timed in processor seconds.
void Phases(_Word11& word, const BenchText& t, const std::string& mode, const std::string& count)
{
    const std::vector<std::string> words = Keywords(t, count);
    COleVariant vTrue(true);
    COleVariant vFalse(false);
    COleVariant vMissing = COleVariant::Missing();
    COleVariant vPath(t.path.c_str());
    COleVariant vEmpty("");
    COleVariant vTab("^t");
    COleVariant vTwoSpaces("  ");
    COleVariant vOneSpace(" ");
    COleVariant vReplaceNone(static_cast<SHORT>(0), VT_I2);
    COleVariant vTwo(static_cast<SHORT>(2), VT_I2);
    COleVariant vFormat(static_cast<LONG>(5), VT_I4);
    COleVariant vSounds(mode == "sounds");
    COleVariant vForms(mode == "forms");
    COleVariant vKeyword;

    double t0 = CpuSeconds();
    auto Since = [](double from) { return CpuSeconds() - from; };
    COleDispatchDriver documents(word.GetDocuments());
    COleDispatchDriver document(documents.InvokeHelper<IDispatch*>(
        WordDispid::DocumentsOpen11, DISPATCH_METHOD, &vPath, &vFalse, &vFalse, &vFalse, &vEmpty, &vEmpty, &vFalse,
        &vEmpty, &vEmpty, &vFormat, &vTrue, &vTrue, &vFalse, &vTrue, &vMissing, &vMissing));
    COleDispatchDriver selection(word.GetSelection());
    COleDispatchDriver find(selection.GetProperty<IDispatch*>(WordDispid::SelectionFind));
    const double open = Since(t0);

    double firstClearing = 0;
    double clearing = 0;
    double firstSearch = 0;
    double searches = 0;
    int found = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        t0 = CpuSeconds();
        find.InvokeHelper<bool>(WordDispid::FindExecute, DISPATCH_METHOD, &vTab, &vTrue, &vFalse, &vFalse, &vFalse,
                                &vFalse, &vTrue, &vTwo, &vFalse, &vOneSpace, &vTwo, &vFalse, &vFalse, &vFalse, &vFalse);
        for (int pass = 0; pass < 11; ++pass) {
            find.InvokeHelper<bool>(WordDispid::FindExecute, DISPATCH_METHOD, &vTwoSpaces, &vTrue, &vFalse, &vFalse,
                                    &vFalse, &vFalse, &vTrue, &vTwo, &vFalse, &vOneSpace, &vTwo, &vFalse, &vFalse,
                                    &vFalse, &vFalse);
        }
        (i == 0 ? firstClearing : clearing) += Since(t0);
        t0 = CpuSeconds();
        vKeyword = COleVariant(words[i].c_str());
        found += find.InvokeHelper<bool>(WordDispid::FindExecute, DISPATCH_METHOD, &vKeyword, &vFalse, &vFalse, &vFalse,
                                         &vSounds, &vForms, &vTrue, &vTwo, &vFalse, &vEmpty, &vReplaceNone, &vFalse,
                                         &vFalse, &vFalse, &vFalse)
                     ? 1
                     : 0;
        (i == 0 ? firstSearch : searches) += Since(t0);
    }
    t0 = CpuSeconds();
    document.InvokeHelper<void>(WordDispid::DocumentClose, DISPATCH_METHOD, &vFalse, &vFalse, &vFalse);
    const double close = Since(t0);
    std::printf(
        "  phases (cpu): open %.3f s, first clearing %.3f s, other clearings %.3f s, first keyword %.3f s, "
        "other keywords %.3f s (%.2f ms each), close %.3f s; found %d\n",
        open, firstClearing, clearing, firstSearch, searches,
        words.size() > 1 ? searches * 1000 / static_cast<double>(words.size() - 1) : 0.0, close, found);
}

}  // namespace

int main(int argc, char** argv)
{
    int reps = 1;
    bool phases = false;
    std::string path;
    std::vector<std::string> cases;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reps" && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--file" && i + 1 < argc) path = argv[++i];
        else if (a == "--phases") phases = true;
        else cases.push_back(a);
    }
    if (cases.empty()) {
        std::fprintf(stderr, "usage: %s [--reps N] [--phases] [--file PATH] MODE:COUNT...\n", argv[0]);
        return 2;
    }
    const bool own = path.empty();
    if (own) path = "/tmp/varnel_wordcodes_bench_" + std::to_string(::getpid()) + ".txt";
    const BenchText text = MakeText(path);

    CoInitialize(nullptr);
    office::RegisterWordServer();
    int status = 0;
    {
        _Word11 word;
        if (!word.CreateDispatch("Word.Application")) {
            std::fprintf(stderr, "no Word.Application\n");
            status = 1;
        }
        for (const std::string& c : cases) {
            if (status != 0) break;
            const std::size_t colon = c.find(':');
            const std::string mode = c.substr(0, colon);
            const std::string count = colon == std::string::npos ? "256" : c.substr(colon + 1);
            Outcome best;
            for (int r = 0; r < reps; ++r) {
                const Outcome o = RunCase(word, text, mode, count);
                if (r == 0) {
                    best = o;
                } else {
                    best.seconds = std::min(best.seconds, o.seconds);
                    best.cpu = std::min(best.cpu, o.cpu);
                }
            }
            std::printf("%-14s %9.3f s wall %9.3f s cpu  found %3d  result %d\n", c.c_str(), best.seconds, best.cpu,
                        best.found, best.result);
            if (phases) {
                try {
                    Phases(word, text, mode, count);
                } catch (CException* e) {
                    e->Delete();
                    std::printf("  phases: an automation call failed\n");
                }
            }
            std::fflush(stdout);
        }
        word.ReleaseDispatch();
    }
    CoUninitialize();
    if (own) std::remove(path.c_str());
    return status;
}
