// The index of a part's relationship targets held against the plain way of
// resolving them (ResolvePartTarget, then the package's own lookup): for
// every source part and target, both must name the same entry, or none.
#include "office/containers/parttargetindex.h"
#include "office/containers/zippackage.h"
#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace office {
namespace {

std::string Lower(std::string s)
{
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}

// The entry the package's lookup finds for a resolved name: the first of
// that exact name, else the first that differs only in ASCII case.
std::size_t PlainLookup(const std::vector<std::string>& entries, const std::string& name)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == name) return i;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (Lower(entries[i]) == Lower(name)) return i;
    return PartTargetIndex::npos;
}

const std::vector<std::string> kEntries = {
    "word/document.xml", "word/header1.xml", "word/Header1.xml", "word/HEADER2.xml", "word/sub/footer.xml",
    "word/word/x.xml",   "word",             "a/b/c/d.xml",      "a/b/e.xml",        "a/f.xml",
    "g.xml",             "word/a%b.xml",     "word/sp ace.xml",  "x/../y.xml",       "x/./z.xml",
    "word//double.xml",  "word/dir/",        "A/B/E.XML",        "word/..x.xml",     "word/header1.xml",
};

TEST(PartTargetIndex, FindsWhatResolvingAndLookingUpFinds)
{
    const auto zipBytes = [] {
        std::vector<ziptest::Entry> zip;
        for (const std::string& name : kEntries) zip.push_back({name, "x"});
        return ziptest::BuildZip(zip);
    }();
    ZipPackage package;
    ReadError error;
    ASSERT_TRUE(package.Open({zipBytes.data(), zipBytes.size()}, error)) << error;
    const std::vector<std::string> entries = package.EntryNames();

    const std::vector<std::string> sources = {"word/document.xml", "", "/word/document.xml", "a/b/c/d.xml",
                                              "WORD/Document.xml", "x/../y.xml", "word/word/x.xml"};
    const std::vector<std::string> pieces = {"word", "WORD", "header1.xml", "Header1.xml", "header2.xml", "sub",
                                             "footer.xml", "..", ".", "", "a", "b", "c", "d.xml", "e.xml", "E.XML",
                                             "f.xml", "g.xml", "x", "y.xml", "z.xml", "%77ord", "a%25b.xml",
                                             "sp%20ace.xml", "document.xml", "x.xml", "..x.xml", "dir", "double.xml",
                                             "http:", "#frag", "h\\eader1.xml"};
    std::mt19937 rng(4242);
    int found = 0;
    for (const std::string& source : sources) {
        PartTargetIndex index(entries, source);
        for (int round = 0; round < 4000; ++round) {
            std::string target = rng() % 4 == 0 ? "/" : "";
            const int n = 1 + static_cast<int>(rng() % 5);
            for (int k = 0; k < n; ++k) {
                if (k != 0) target += rng() % 10 == 0 ? "\\" : "/";
                target += pieces[rng() % pieces.size()];
            }
            const std::string resolved = ResolvePartTarget(source, target);
            const std::size_t expected =
                resolved.empty() || !package.HasEntry(resolved) ? PartTargetIndex::npos : PlainLookup(entries, resolved);
            const std::size_t got = index.Find(target);
            EXPECT_EQ(got, expected) << "source '" << source << "', target '" << target << "', resolved '" << resolved
                                     << "'";
            if (got != PartTargetIndex::npos) ++found;
        }
        // The source part itself, by its name.
        const std::string self(source.empty() || source[0] != '/' ? source : source.substr(1));
        EXPECT_EQ(index.EntryNamed(source), self.empty() ? PartTargetIndex::npos : PlainLookup(entries, self)) << source;
    }
    // The random targets must reach entries often enough to mean something.
    EXPECT_GT(found, 1000);
}

}  // namespace
}  // namespace office
