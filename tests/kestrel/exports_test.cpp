// libkestrel.so's interface is exactly OfficeFind: the dynamic symbols it
// defines are the class's constructor, destructor, copy assignment and six
// search methods, and nothing else of ours (no runtime internals, no
// wrapper or template instantiations).
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

TEST(KestrelExports, OnlyOfficeFindMembersAreExported)
{
    const std::string command = std::string("nm -D --defined-only -C '") + VARNEL_BIN_DIR + "/libkestrel.so'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> members;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string name(line);
        if (!name.empty() && name.back() == '\n') name.pop_back();
        name = name.size() > 19 ? name.substr(19) : "";  // "address type name"
        // What the toolchain and the standard library put into every shared library.
        const bool toolchain = name.starts_with("std::") || name.starts_with("__gnu_cxx::") ||
                               name.find(" for std::") != std::string::npos ||
                               std::set<std::string>{"_init", "_fini", "__bss_start", "_edata", "_end"}.count(name) != 0;
        if (!toolchain) members.insert(name);
    }
    ::pclose(pipe);
    const std::string tail = "(_ResultFileInfo&, CArray<_FindKeyWord, _FindKeyWord> const&, _FindedConditions, ";
    std::set<std::string> expected = {"OfficeFind::OfficeFind()", "OfficeFind::~OfficeFind()",
                                      "OfficeFind::operator=(OfficeFind const&)"};
    for (const std::string app : {"Word9", "Word10", "Word11", "Excel9", "Excel10", "Excel11"})
        expected.insert("OfficeFind::Search" + app + tail + "_" + app + "&)");
    EXPECT_EQ(members, expected);
}

}  // namespace
