// libkestrel.so's interface is exactly OfficeFind: the dynamic symbols it
// defines are the class's constructor, destructor, copy assignment and six
// search methods, and nothing else of ours (no runtime internals, no
// wrapper or template instantiations).
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

struct Symbol {
    std::string mangled;
    std::string readable;
};

std::vector<std::string> Lines(const std::string& command)
{
    std::vector<std::string> out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    std::string line;
    int c;
    while ((c = std::fgetc(pipe)) != EOF) {
        if (c == '\n') {
            out.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) out.push_back(line);
    ::pclose(pipe);
    return out;
}

std::vector<Symbol> DefinedSymbols()
{
    const std::string lib = std::string(VARNEL_BIN_DIR) + "/libkestrel.so";
    std::vector<Symbol> out;
    // "address type name": the name is the third field.
    for (const auto& line : Lines("nm -D --defined-only '" + lib + "'")) {
        const auto last = line.rfind(' ');
        if (last == std::string::npos) continue;
        out.push_back({line.substr(last + 1), {}});
    }
    for (auto& s : out) {
        const auto pretty = Lines("echo '" + s.mangled + "' | c++filt");
        s.readable = pretty.empty() ? s.mangled : pretty.front();
    }
    return out;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Symbols the toolchain or the standard library put into every shared
// library; they are not part of Kestrel's interface.
bool IsToolchainSymbol(const std::string& name)
{
    static const std::set<std::string> fixed{"_init", "_fini", "__bss_start", "_edata", "_end"};
    if (fixed.count(name) != 0) return true;
    for (const char* p : {"_ZNSt", "_ZNKSt", "_ZSt", "_ZNSa", "_ZNKSa", "_ZN9__gnu_cxx", "_ZNK9__gnu_cxx",
                          "_ZTISt", "_ZTSSt", "_ZTVSt", "_ZGVZNSt"})
        if (StartsWith(name, p)) return true;
    return false;
}

TEST(KestrelExports, OnlyOfficeFindMembersAreExported)
{
    const auto symbols = DefinedSymbols();
    ASSERT_FALSE(symbols.empty()) << "nm found no symbols in libkestrel.so";

    std::set<std::string> members;
    for (const auto& s : symbols) {
        if (IsToolchainSymbol(s.mangled)) continue;
        EXPECT_TRUE(StartsWith(s.mangled, "_ZN10OfficeFind")) << "exported but not OfficeFind: " << s.readable;
        if (StartsWith(s.mangled, "_ZN10OfficeFind")) members.insert(s.readable);
    }

    const std::string tail = "(_ResultFileInfo&, CArray<_FindKeyWord, _FindKeyWord> const&, _FindedConditions, ";
    const std::set<std::string> expected{
        "OfficeFind::OfficeFind()",
        "OfficeFind::~OfficeFind()",
        "OfficeFind::operator=(OfficeFind const&)",
        "OfficeFind::SearchWord9" + tail + "_Word9&)",
        "OfficeFind::SearchWord10" + tail + "_Word10&)",
        "OfficeFind::SearchWord11" + tail + "_Word11&)",
        "OfficeFind::SearchExcel9" + tail + "_Excel9&)",
        "OfficeFind::SearchExcel10" + tail + "_Excel10&)",
        "OfficeFind::SearchExcel11" + tail + "_Excel11&)",
    };
    EXPECT_EQ(members, expected);
}

}  // namespace
