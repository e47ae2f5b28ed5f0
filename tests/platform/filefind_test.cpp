// CFileFind over temporary folders: the Windows mask rules, the order of
// the entries, the stepping protocol the callers' loops rely on and path
// joining. Links are held by the search run's tests.
#include "platform/filefind.h"

#include "platform/fileapi.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Found {
    std::string name;
    bool directory, dots, hidden;
    bool operator==(const Found&) const = default;
};

// The callers' loop: step, then look, until no entry follows.
std::vector<Found> List(const std::string& mask)
{
    std::vector<Found> out;
    CFileFind ff;
    for (bool more = ff.FindFile(mask.c_str()); more;) {
        more = ff.FindNextFile();
        out.push_back({ff.GetFileName(), ff.IsDirectory() != FALSE, ff.IsDots() != FALSE, ff.IsHidden() != FALSE});
    }
    return out;
}

class FileFindTest : public ::testing::Test {
protected:
    void Touch(const std::string& name) { m_tmp.Write(name, "x"); }
    std::string Mask(const std::string& pattern) const { return (m_dir / pattern).string(); }

    TempDir m_tmp{"varnel-find"};
    fs::path m_dir = m_tmp.Path();
};

// Every name, dot entries first, then without regard to case, then by
// bytes; the callers' IsDots check is what keeps "." and ".." out. Other
// masks list what MatchesMask accepts (WindowsRules below).
TEST_F(FileFindTest, ListsInOrderThroughEachMask)
{
    for (const char* name : {"noext", ".hidden", "-dash", "b", "C", "B", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89-2",
                             "A.DOCX", "b.doc", "x.do", "a.xdoc", "~$owner.doc", "two.dots.docm", "c.xlsx"})
        Touch(name);
    fs::create_directory(m_dir / "folder");
    fs::create_directory(m_dir / "old.doc");
    const std::vector<std::string> all = {".", "..", "-dash", ".hidden", "A.DOCX", "a.xdoc", "B", "b", "b.doc", "C",
                                          "c.xlsx", "folder", "noext", "old.doc", "two.dots.docm", "x.do", "~$owner.doc",
                                          "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89-2"};
    // Both masks list every entry, with the same flags.
    const auto found = List(Mask("*.*"));
    EXPECT_EQ(List(Mask("*")), found);
    ASSERT_EQ(found.size(), all.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const Found& f = found[i];
        EXPECT_EQ(f.name, all[i]);
        EXPECT_EQ(f.dots, f.name == "." || f.name == "..") << f.name;
        EXPECT_EQ(f.directory, f.dots || f.name == "folder" || f.name == "old.doc") << f.name;
        EXPECT_EQ(f.hidden && !f.dots, f.name == ".hidden") << f.name;
    }
    EXPECT_TRUE(CFileFind::NameLess("apple", "Zebra"));  // every capital folds, Z too

    // Step by step: nothing is current before the first step, the last
    // step says no entry follows, and one more says why. A new FindFile
    // starts over, and a doubled slash is tolerated.
    CFileFind ff;
    ASSERT_TRUE(ff.FindFile(Mask("*.do").c_str()));
    ASSERT_TRUE(ff.FindFile((m_dir.string() + "//C.XLSX").c_str()));
    EXPECT_EQ(ff.GetFileName(), "");
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_EQ(ff.GetFilePath(), (m_dir / "c.xlsx").string());
    EXPECT_EQ(ff.GetRoot(), m_dir.string());
    EXPECT_FALSE(ff.FindNextFile());
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
}

TEST_F(FileFindTest, NothingToListReturnsFalseAndSaysWhy)
{
    Touch("a.txt");
    fs::create_directory(m_dir / "closed");
    fs::permissions(m_dir / "closed", fs::perms::none);
    const bool root = ::geteuid() == 0;  // permissions do not apply to root
    // Nothing matching in a folder that was read is no failure of the
    // folder; a folder that cannot be read is, whatever the mask.
    const std::pair<std::string, DWORD> cases[] = {
        {Mask("*.doc"), ERROR_FILE_NOT_FOUND},
        {m_dir.string() + "/", ERROR_FILE_NOT_FOUND},  // no name part
        {Mask("missing/*.*"), ERROR_PATH_NOT_FOUND},
        {Mask("a.txt/*.*"), ERROR_PATH_NOT_FOUND},  // a file is no folder
        {Mask("closed/*.doc"), root ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED},
    };
    for (const auto& [mask, error] : cases) {
        CFileFind ff;
        SetLastError(0);
        EXPECT_FALSE(ff.FindFile(mask.c_str())) << mask;
        EXPECT_EQ(GetLastError(), error) << mask;
        EXPECT_EQ(CFileFind::IsUnreadableFolderError(GetLastError()), error != ERROR_FILE_NOT_FOUND) << mask;
        EXPECT_FALSE(ff.FindNextFile());
        EXPECT_EQ(ff.GetFileName(), "");
    }
    fs::permissions(m_dir / "closed", fs::perms::owner_all);
}

TEST(FileFindMask, WindowsRules)
{
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        // A plain three-letter extension also finds longer ones, in any case.
        {"a.doc", "*.doc", true}, {"A.DOC", "*.doc", true}, {"a.docx", "*.doc", true}, {"b.html", "*.htm", true},
        {"c.xlsx", "*.xls", true}, {"c.XLSX", "*.xls", true}, {"a.b.docx", "*.doc", true},
        {"a.do", "*.doc", false}, {"a.xdoc", "*.doc", false}, {"doc", "*.doc", false}, {"adoc", "*.doc", false},
        {"a.doc.bak", "*.doc", false},
        {".docx", "*.doc", false},  // a name that is only an extension has no short form
        {"a.txtx", "*.tx?", false},  // the long-extension rule is for plain extensions
        {"x.docx", "x.doc", false},  // and for "*." masks only
        // A dot in the mask matches the end of a name without one.
        {"noext", "*.*", true}, {".", "*.*", true}, {"..", "*", true}, {"..", "*.doc", false},
        {"report", "report.*", true}, {"Report.txt", "report.*", true}, {"reports", "report.*", false},
        {"a.txt", "?.txt", true}, {"ab.txt", "?.txt", false}, {"a.txt", "*.txt", true}, {"Help.CHM", "help.chm", true},
        {"\xC3\x84RGER.doc", "\xC3\xA4rger.*", true},                              // ÄRGER / ärger
        {"\xD0\x94\xD0\x9E\xD0\x9A.doc", "\xD0\xB4\xD0\xBE\xD0\xBA.DOC", true},  // Cyrillic
        {"bad\xFF.doc", "*.doc", true},  // not UTF-8, still a .doc
        {"bad\xFF.doc", "bad\xFE.doc", false},
        {"abc", "a*b*c*", true}, {"aXbYc", "a*b*c", true}, {"aXbYd", "a*b*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFileFind::MatchesMask(c.name, c.mask), c.match) << c.name << " vs " << c.mask;
}

}  // namespace
