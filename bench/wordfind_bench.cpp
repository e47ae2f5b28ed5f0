// Speed of the built-in Word on the searcher's path: open a 1 MB text file,
// clear tabs and runs of spaces before every keyword (one tab pass, eleven
// two-space passes), find each keyword, close. Reports times; nothing here
// passes or fails on a time.
#include "office/automation/wordapplication.h"
#include "office/word/wordfind.h"
#include "platform/oleauto.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kWords[] = {"report",
                              "annual",
                              "budget",
                              "the",
                              "of",
                              "and",
                              "customer",
                              "invoice",
                              "Stra\xC3\x9F"
                              "e",
                              "caf\xC3\xA9",
                              "delivery",
                              "contract",
                              "meeting",
                              "schedule",
                              "quarter",
                              "revenue",
                              "growth",
                              "team",
                              "project",
                              "deadline"};

// About 1 MB of prose with a tab and a run of spaces now and then.
const std::string& BenchFile()
{
    static const std::string path = [] {
        std::string p = "/tmp/varnel_wordfind_bench_" + std::to_string(::getpid()) + ".txt";
        std::mt19937 rng(42);
        std::string text;
        text.reserve(1 << 20);
        std::size_t n = 0;
        while (text.size() < (1u << 20)) {
            text += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
            ++n;
            if (n % 97 == 0) text += "\t";
            else if (n % 89 == 0) text += std::string(2 + rng() % 30, ' ');
            else if (n % 15 == 0) text += ".\r\n";
            else text += " ";
        }
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }();
    return path;
}

std::vector<std::u16string> Keywords(std::size_t n)
{
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < n; ++i) {
        // Half found, half absent: absent keywords scan the whole text.
        out.push_back(i % 2 == 0 ? u"annual report"
                                 : u"missing" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                       std::u16string(1, static_cast<char16_t>(u'a' + i / 26 % 26)));
    }
    return out;
}

class Args {
public:
    ~Args()
    {
        for (VARIANT& v : m_values) VariantClear(&v);
    }
    Args& Bool(bool b)
    {
        Add(VT_BOOL).boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return *this;
    }
    Args& Str(std::u16string_view s)
    {
        Add(VT_BSTR).bstrVal = SysAllocStringFrom(s);
        return *this;
    }
    Args& I2(short i)
    {
        Add(VT_I2).iVal = i;
        return *this;
    }
    Args& I4(LONG i)
    {
        Add(VT_I4).lVal = i;
        return *this;
    }
    Args& Missing()
    {
        Add(VT_ERROR).scode = DISP_E_PARAMNOTFOUND;
        return *this;
    }
    DISPPARAMS Params()
    {
        m_refs.clear();
        for (auto it = m_values.rbegin(); it != m_values.rend(); ++it) {
            VARIANT r;
            VariantInit(&r);
            r.vt = VT_BYREF | VT_VARIANT;
            r.pvarVal = &*it;
            m_refs.push_back(r);
        }
        return DISPPARAMS{m_refs.data(), nullptr, static_cast<UINT>(m_refs.size()), 0};
    }

private:
    VARIANT& Add(VARTYPE vt)
    {
        VARIANT& v = m_values.emplace_back();
        VariantInit(&v);
        v.vt = vt;
        return v;
    }
    std::deque<VARIANT> m_values;
    std::vector<VARIANT> m_refs;
};

IDispatch* Get(IDispatch* from, DISPID id)
{
    DISPPARAMS none{};
    VARIANT r;
    VariantInit(&r);
    from->Invoke(id, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr);
    return r.vt == VT_DISPATCH ? r.pdispVal : nullptr;
}

bool Execute(IDispatch* find, std::u16string_view text, bool matchCase, std::u16string_view with, short replace)
{
    Args a;
    a.Str(text).Bool(matchCase).Bool(false).Bool(false).Bool(false).Bool(false).Bool(true).I2(2).Bool(false);
    a.Str(with).I2(replace).Bool(false).Bool(false).Bool(false).Bool(false);
    DISPPARAMS p = a.Params();
    VARIANT r;
    VariantInit(&r);
    find->Invoke(0x1BC, DISPATCH_METHOD, &p, &r, nullptr, nullptr);
    return r.vt == VT_BOOL && r.boolVal != 0;
}

// One file as the searcher handles it with clearing on; returns keywords found.
int SearchFile(IDispatch* app, const std::string& path, const std::vector<std::u16string>& keywords)
{
    IDispatch* documents = Get(app, 0x6);
    Args open;
    open.Str(std::u16string(path.begin(), path.end()));
    open.Bool(false).Bool(false).Bool(false).Str(u"").Str(u"").Bool(false).Str(u"").Str(u"").I4(5).Bool(true);
    open.Bool(true).Bool(false).Bool(true).Missing().Missing();
    DISPPARAMS p = open.Params();
    VARIANT r;
    VariantInit(&r);
    documents->Invoke(0x13, DISPATCH_METHOD, &p, &r, nullptr, nullptr);
    IDispatch* doc = r.pdispVal;
    IDispatch* selection = Get(app, 0x5);
    IDispatch* find = Get(selection, 0x106);
    int found = 0;
    for (const std::u16string& k : keywords) {
        Execute(find, u"^t", true, u" ", 2);
        for (int i = 0; i < 11; ++i) Execute(find, u"  ", true, u" ", 2);
        found += Execute(find, k, false, u"", 0) ? 1 : 0;
    }
    Args close;
    close.Bool(false).Bool(false).Bool(false);
    DISPPARAMS cp = close.Params();
    doc->Invoke(0x451, DISPATCH_METHOD, &cp, nullptr, nullptr, nullptr);
    find->Release();
    selection->Release();
    doc->Release();
    documents->Release();
    return found;
}

void OpenSearchClose(benchmark::State& state)
{
    office::RegisterWordServer();
    IDispatch* app = nullptr;
    CreateObjectByProgID("Word.Application", &app);
    const auto keywords = Keywords(static_cast<std::size_t>(state.range(0)));
    const std::string& path = BenchFile();
    int found = 0;
    for (auto _ : state) {
        found = SearchFile(app, path, keywords);
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
    app->Release();
}
BENCHMARK(OpenSearchClose)->Arg(10)->Arg(256)->Unit(benchmark::kMillisecond);

// The engine alone: one plain search of an absent word over 1 MB, folded
// text already cached (the linear part of every keyword). Argument 0: the
// text is scanned every time; 1: as a document searched for many keywords
// is, with its presence filter.
void PlainSearchCached(benchmark::State& state)
{
    std::u16string text;
    std::mt19937 rng(7);
    while (text.size() < (1u << 20)) {
        const char* w = kWords[rng() % 8];
        while (*w) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*w++)));
        text.push_back(u' ');
    }
    office::WordContent content;
    content.stories.push_back({office::StoryKind::Main, text});
    office::WordDocument doc(std::move(content));
    doc.SetShortcuts(state.range(0) != 0);
    office::FindRequest r;
    r.findText = u"absentword";
    std::size_t i = 0;
    for (auto _ : state) {
        // A new word every time: a repeated one would come from the result cache.
        const std::string n = std::to_string(i++);
        r.findText = u"absent" + std::u16string(n.begin(), n.end());
        benchmark::DoNotOptimize(office::ExecuteFind(doc, r));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(PlainSearchCached)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A clearing pass (one tab pass, eleven two-space passes) over 1 MB that was
// already cleared: the document knows no tab and no double space is left,
// so this costs no scan of the text.
void RepeatedClearing(benchmark::State& state)
{
    std::u16string text;
    std::mt19937 rng(3);
    while (text.size() < (1u << 20)) {
        const char* w = kWords[rng() % 8];
        while (*w) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*w++)));
        text += rng() % 50 == 0 ? u"\t   " : u" ";
    }
    office::WordContent content;
    content.stories.push_back({office::StoryKind::Main, text});
    office::WordDocument doc(std::move(content));
    office::FindRequest tab;
    tab.findText = u"^t";
    tab.replaceWith = u" ";
    tab.replace = office::ReplaceMode::All;
    tab.options.matchCase = true;
    office::FindRequest spaces = tab;
    spaces.findText = u"  ";
    auto pass = [&] {
        bool any = office::ExecuteFind(doc, tab);
        for (int i = 0; i < 11; ++i) any = office::ExecuteFind(doc, spaces) || any;
        return any;
    };
    // Until a pass finds nothing, the document cannot know the spacing is gone.
    while (pass()) {
    }
    for (auto _ : state) benchmark::DoNotOptimize(pass());
}
BENCHMARK(RepeatedClearing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
