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

// The names `nm` lists, in its order (demangled when asked).
std::vector<std::string> DefinedSymbols(bool demangle)
{
    const std::string command = std::string("nm -D --defined-only ") + (demangle ? "-C " : "") + "'" +
                                VARNEL_BIN_DIR + "/libkestrel.so'";
    std::vector<std::string> out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[4096];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        // "address type name": the name follows the type letter.
        out.push_back(text.size() > 19 ? text.substr(19) : text);
    }
    if (pipe != nullptr) ::pclose(pipe);
    return out;
}

// Symbols the toolchain or the standard library put into every shared
// library; they are not part of Kestrel's interface.
bool IsToolchainSymbol(const std::string& name)
{
    for (const char* p : {"_init", "_fini", "__bss_start", "_edata", "_end"})
        if (name == p) return true;
    for (const char* p : {"_ZNSt", "_ZNKSt", "_ZSt", "_ZNSa", "_ZNKSa", "_ZN9__gnu_cxx", "_ZNK9__gnu_cxx", "_ZTISt",
                          "_ZTSSt", "_ZTVSt", "_ZGVZNSt"})
        if (name.rfind(p, 0) == 0) return true;
    return false;
}

TEST(KestrelExports, OnlyOfficeFindMembersAreExported)
{
    const auto mangled = DefinedSymbols(false);
    const auto readable = DefinedSymbols(true);
    ASSERT_FALSE(mangled.empty()) << "nm found no symbols in libkestrel.so";
    ASSERT_EQ(mangled.size(), readable.size());
    std::set<std::string> members;
    for (std::size_t i = 0; i < mangled.size(); ++i) {
        if (IsToolchainSymbol(mangled[i])) continue;
        EXPECT_EQ(mangled[i].rfind("_ZN10OfficeFind", 0), 0u) << "exported but not OfficeFind: " << readable[i];
        members.insert(readable[i]);
    }
    const std::string tail = "(_ResultFileInfo&, CArray<_FindKeyWord, _FindKeyWord> const&, _FindedConditions, ";
    EXPECT_EQ(members, (std::set<std::string>{"OfficeFind::OfficeFind()", "OfficeFind::~OfficeFind()",
                                              "OfficeFind::operator=(OfficeFind const&)",
                                              "OfficeFind::SearchWord9" + tail + "_Word9&)",
                                              "OfficeFind::SearchWord10" + tail + "_Word10&)",
                                              "OfficeFind::SearchWord11" + tail + "_Word11&)",
                                              "OfficeFind::SearchExcel9" + tail + "_Excel9&)",
                                              "OfficeFind::SearchExcel10" + tail + "_Excel10&)",
                                              "OfficeFind::SearchExcel11" + tail + "_Excel11&)"}));
}

}  // namespace
