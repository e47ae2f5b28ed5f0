// Speed of the built-in Excel on large workbooks: generates a 10 MB .xls
// (BIFF8, several sheets, a shared string table over many CONTINUE records)
// and a 10 MB .xlsx in the temporary folder, then opens each through the
// automation interface and searches every sheet for 10 keywords (half of
// them absent, so those calls scan every cell), the way Kestrel does.
// Prints the sizes and times; nothing passes or fails on a time.
#include "office/automation/excelapplication.h"
#include "support/largeworkbook.h"
#include "tests/office/support/excelfixtures.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace excelfixtures;
using namespace benchsupport;

namespace {

const char* const kWords[] = {"alpha", "bravo",  "charlie", "delta", "echo", "foxtrot",  "golf",  "hotel",
                              "india", "juliet", "kilo",    "lima",  "mike", "november", "oscar", "papa"};

std::string Sentence(std::mt19937& rng, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i > 0) s += ' ';
        s += kWords[rng() % 16];
        s += std::to_string(rng() % 1000);
    }
    return s;
}

// BIFF8: 4 sheets of 50,000 rows, each row a shared string and two numbers.
Bytes MakeXls()
{
    std::mt19937 rng(7);
    const unsigned kStrings = 60000;
    Stream s;
    s.Bof(0x0600, 5);
    // SST split into CONTINUE records at string boundaries.
    Bytes sst;
    Put32(sst, kStrings);
    Put32(sst, kStrings);
    std::vector<Bytes> parts;
    for (unsigned i = 0; i < kStrings; ++i) {
        Bytes one;
        const std::string text = Sentence(rng, 4) + (i == kStrings - 1 ? " lastsharedstring" : "");
        PutString8(one, std::u16string(text.begin(), text.end()), 2);
        if (sst.size() + one.size() > 8224) {
            parts.push_back(sst);
            sst.clear();
        }
        sst.insert(sst.end(), one.begin(), one.end());
    }
    parts.push_back(sst);
    s.Record(0x00FC, parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i) s.Record(0x003C, parts[i]);
    std::vector<std::size_t> patches;
    for (int sheet = 0; sheet < 4; ++sheet) {
        std::string name = "Sheet" + std::to_string(sheet + 1);
        patches.push_back(s.BoundSheet(std::u16string(name.begin(), name.end()), 0));
    }
    s.Eof();
    for (int sheet = 0; sheet < 4; ++sheet) {
        s.PatchOffset(patches[static_cast<std::size_t>(sheet)], s.Size());
        s.Bof(0x0600, 0x10);
        for (unsigned row = 0; row < 50000; ++row) {
            s.LabelSst(row, 0, (row * 4 + static_cast<unsigned>(sheet)) % kStrings);
            s.Number(row, 1, static_cast<double>(rng()) / 7.0);
            s.Number(row, 2, row);
        }
        s.Eof();
    }
    return CompoundFileOf({{"Workbook", s.Data()}});
}

// OOXML: shared strings and numbers, about 10 MB.
Bytes MakeXlsx()
{
    std::mt19937 rng(11);
    return LargeXlsx(
        rng, [&rng] { return Sentence(rng, 4); }, 80000, 64000);
}

struct Released {
    void operator()(IDispatch* d) const
    {
        if (d != nullptr) d->Release();
    }
};
using Ptr = std::unique_ptr<IDispatch, Released>;

Ptr Take(CallResult r)
{
    return Ptr(r.TakeDispatch());
}

void Measure(const std::string& path)
{
    const char* keywords[] = {"alpha1",   "kilo999", "lastsharedstring", "4711",  "B7*2",
                              "zzz-none", "quebec",  "no such text",     "*x?y*", "~*absent"};
    IDispatch* raw = nullptr;
    CreateObjectByProgID("Excel.Application", &raw);
    Ptr app(raw);
    Ptr workbooks = Take(Call(app.get(), 0x23C, DISPATCH_PROPERTYGET));
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<Arg> openArgs{Arg::Str(std::u16string(path.begin(), path.end()))};
    for (int i = 0; i < 14; ++i) openArgs.push_back(Arg::Missing());
    CallResult opened = Call(workbooks.get(), 0x783, DISPATCH_METHOD, openArgs);
    Ptr workbook = Take(std::move(opened));
    const auto openedAt = std::chrono::steady_clock::now();
    const double cpuOpened = CpuSeconds();
    if (workbook == nullptr) {
        std::printf("%s: failed to open\n", path.c_str());
        return;
    }
    Ptr sheets = Take(Call(workbook.get(), 0x1EE, DISPATCH_PROPERTYGET));
    CallResult count = Call(sheets.get(), 0x76, DISPATCH_PROPERTYGET);
    int found = 0;
    int calls = 0;
    for (long s = 1; s <= count.value.lVal; ++s) {
        Ptr sheet = Take(Call(sheets.get(), 0xAA, DISPATCH_PROPERTYGET, {Arg::I4(s)}));
        Call(sheet.get(), 0xEB, DISPATCH_METHOD, {Arg::Missing()});
        Ptr cells = Take(Call(sheet.get(), 0xEE, DISPATCH_PROPERTYGET));
        for (const char* k : keywords) {
            std::vector<Arg> args{Arg::Str(std::u16string(k, k + std::strlen(k))),
                                  Arg::Missing(),
                                  Arg::Missing(),
                                  Arg::Missing(),
                                  Arg::Missing(),
                                  Arg::I4(0),
                                  Arg::Bool(false),
                                  Arg::Missing(),
                                  Arg::Missing()};
            Ptr range = Take(Call(cells.get(), 0x18E, DISPATCH_METHOD, args));
            found += range != nullptr ? 1 : 0;
            ++calls;
        }
    }
    const auto done = std::chrono::steady_clock::now();
    const double cpuDone = CpuSeconds();
    Call(workbook.get(), 0x115, DISPATCH_METHOD, {Arg::Bool(false), Arg::Str(u""), Arg::Bool(false)});
    const double openSeconds = std::chrono::duration<double>(openedAt - start).count();
    const double findSeconds = std::chrono::duration<double>(done - openedAt).count();
    std::printf(
        "%-26s %5.1f MB  open %.3f s (cpu %.3f)  %d finds, %d found: %.3f s (cpu %.3f)  total %.3f s "
        "(cpu %.3f)\n",
        std::filesystem::path(path).filename().c_str(), static_cast<double>(std::filesystem::file_size(path)) / 1e6,
        openSeconds, cpuOpened - cpuStart, calls, found, findSeconds, cpuDone - cpuOpened, openSeconds + findSeconds,
        cpuDone - cpuStart);
}

}  // namespace

// With --keep the generated workbooks stay in the temporary folder.
int main(int argc, char** argv)
{
    const bool keep = argc > 1 && std::string(argv[1]) == "--keep";
    office::RegisterExcelServer();
    const auto dir = std::filesystem::temp_directory_path();
    const std::string xls = (dir / "varnel-bench-10mb.xls").string();
    const std::string xlsx = (dir / "varnel-bench-10mb.xlsx").string();
    WriteFile(xls, MakeXls());
    WriteFile(xlsx, MakeXlsx());
    for (int round = 0; round < 3; ++round) {
        Measure(xls);
        Measure(xlsx);
    }
    if (!keep) {
        std::filesystem::remove(xls);
        std::filesystem::remove(xlsx);
    }
    return 0;
}
