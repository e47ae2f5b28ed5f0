// The installed tree: `cmake --install` into a fresh prefix puts every file
// where the desktop and the shell look for it, the installed programs find
// their libraries through the relative rpath (and print their version and
// usage), the bash completion offers exactly the options --help lists, and
// the desktop entry and the AppStream metainfo pass their validators (when
// those are installed).
#include "support/runprocess.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// Every "--name" in a text ("--keyword=TEXT" is the option --keyword).
std::set<std::string> LongOptions(const std::string& text)
{
    std::set<std::string> found;
    for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        std::size_t end = at + 2;
        if (end >= text.size() || text[end] < 'a' || text[end] > 'z') continue;
        while (end < text.size() && ((text[end] >= 'a' && text[end] <= 'z') || text[end] == '-')) ++end;
        found.insert(text.substr(at, end - at));
    }
    return found;
}

TEST(Install, TreeIsCompleteAndWorksFromThePrefix)
{
    const TempDir made("varnel-install");
    const fs::path prefix = made.Path() / "usr";
    ProcessResult r = RunProcess({CMAKE_COMMAND, "--install", VARNEL_BUILD_DIR, "--prefix", prefix.string()});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    std::vector<std::string> files = {"bin/varnel-find", "share/man/man1/varnel-find.1",
                                      "share/bash-completion/completions/varnel-find", VARNEL_LIBDIR "/libkestrel.so",
                                      VARNEL_LIBDIR "/libvarnelplatform.so"};
#ifdef VARNEL_WITH_GUI
    for (const char* f : {"bin/varnel", "share/applications/varnel.desktop",
                          "share/metainfo/io.github.varnel.varnel.metainfo.xml",
                          "share/icons/hicolor/scalable/apps/varnel.svg", "share/icons/hicolor/48x48/apps/varnel.png",
                          "share/icons/hicolor/256x256/apps/varnel.png"})
        files.push_back(f);
#endif
    for (const std::string& f : files) EXPECT_TRUE(fs::is_regular_file(prefix / f)) << f;

    // The installed program runs on the installed libraries: the build
    // tree's are not on its rpath any more.
    r = RunProcess({(prefix / "bin/varnel-find").string(), "--help"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Usage: varnel-find [OPTION]... [FOLDER|FILE]...\n", 0), 0u) << r.out;
    const std::set<std::string> helpOptions = LongOptions(r.out);
    EXPECT_GT(helpOptions.size(), 25u);

    // The man page is the help's, with the examples added.
    const std::string page = FileText(prefix / "share/man/man1/varnel-find.1");
    EXPECT_NE(page.find("\n.SH EXAMPLES\n"), std::string::npos);
    EXPECT_NE(page.find("files\\-with\\-matches"), std::string::npos);

    // What "varnel-find --<TAB>" offers.
    r = RunProcess({"/bin/bash", "-c",
                    "source " + (prefix / "share/bash-completion/completions/varnel-find").string() +
                        "; COMP_WORDS=(varnel-find --); COMP_CWORD=1; _varnel_find; printf '%s\\n' \"${COMPREPLY[@]}\""});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LongOptions(r.out), helpOptions);

    // Started from a folder of downloads that holds files named like its
    // libraries, each program, built or installed, still loads its own.
    const fs::path downloads = made.Path() / "downloads";
    for (const char* name : {"libc.so.6", "libstdc++.so.6", "libz.so.1", "libkestrel.so", "libvarnelplatform.so"})
        made.Write(fs::path("downloads") / name, "not a library");
    for (const std::string& program :
         {std::string(VARNEL_BUILD_DIR) + "/bin/varnel-find", (prefix / "bin/varnel-find").string()}) {
        r = RunProcess({program, "--version"}, {}, {downloads.string(), ""});
        EXPECT_EQ(r.status, 0) << program << "\n" << r.err;
        EXPECT_EQ(r.out.rfind("varnel-find 1.0\nICU ", 0), 0u) << r.out;
        EXPECT_EQ(r.out.find("(not loaded)"), std::string::npos) << r.out;
    }

#ifdef VARNEL_WITH_GUI
    const std::vector<std::string> validations[] = {
        {"/usr/bin/desktop-file-validate", (prefix / "share/applications/varnel.desktop").string()},
        {"/usr/bin/appstreamcli", "validate", "--no-net",
         (prefix / "share/metainfo/io.github.varnel.varnel.metainfo.xml").string()},
    };
    for (const auto& argv : validations) {
        if (!fs::exists(argv[0])) {
            std::printf("%s is not installed: not run\n", argv[0].c_str());
            continue;
        }
        r = RunProcess(argv);
        EXPECT_EQ(r.status, 0) << argv[0] << "\n" << r.out << r.err;
    }
#endif
}

}  // namespace
