// Zip package reading: lookup by exact and case-folded names, entries whose
// data or headers are damaged or lie, bombs and caps, checksum mismatches a
// reader may accept, and OPC part-name resolution; the index of a part's
// relationship targets held against the plain way of resolving them
// (ResolvePartTarget, then the package's own lookup): for every source part
// and target, both must name the same entry, or none.
#include "office/containers/parttargetindex.h"
#include "office/containers/zippackage.h"

#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace office {
namespace {

using Zip = std::vector<std::uint8_t>;

ByteView View(const Zip& v)
{
    return {v.data(), v.size()};
}

void Damage(Zip& zip)
{
    // Inside the compressed data, after the 30-byte local header and name.
    for (std::size_t i = 60; i < 400 && i < zip.size(); ++i) zip[i] = static_cast<std::uint8_t>(zip[i] ^ 0x5A);
}

std::string Lines(int n)
{
    std::string text;
    for (int i = 0; i < n; ++i) text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    return text;
}

TEST(ZipPackage, ReadsEntriesByExactAndCaseFoldedName)
{
    auto zip = ziptest::BuildZip({{"word/document.xml", "<w:document/>"},
                                  {"[Content_Types].xml", "<Types/>", true},
                                  {"/xl/workbook.xml", "<workbook/>"},
                                  {"/xAtables.xml", "cut", true}});
    // A NUL in a name, as the fuzzer made it: every name the package lists
    // is found under that name.
    const std::string cut = "/xAtables.xml";
    for (std::size_t i = 0; i + cut.size() <= zip.size(); ++i)
        if (std::equal(cut.begin(), cut.end(), zip.begin() + static_cast<std::ptrdiff_t>(i))) zip[i + 2] = 0;
    ZipPackage pkg;
    ReadError error;
    std::string out;
    ASSERT_TRUE(pkg.Open(View(zip), error)) << error;
    ASSERT_EQ(pkg.EntryNames().size(), 4u);
    for (const std::string& name : pkg.EntryNames()) EXPECT_TRUE(pkg.ReadEntry(name, out, error)) << name << error;
    EXPECT_FALSE(pkg.HasEntry("word/styles.xml"));
    for (const auto& [name, data] : {std::pair{"/word/document.xml", "<w:document/>"},
                                     {"Word/Document.XML", "<w:document/>"},
                                     {"[content_types].xml", "<Types/>"},
                                     {"XL/Workbook.xml", "<workbook/>"}}) {
        EXPECT_TRUE(pkg.HasEntry(name)) << name;
        EXPECT_TRUE(pkg.ReadEntry(name, out, error)) << error;
        EXPECT_EQ(out, data);
    }
    EXPECT_FALSE(pkg.ReadEntry("missing.xml", out, error));
    EXPECT_EQ(error.kind, ReadErrorKind::Damaged) << error;
}

// Deflated entries are inflated whole into a buffer of the declared size: a
// header that lies either way, a wrong checksum, damaged data, a bomb or an
// entry past the caps must fail with nothing out; a sound entry comes out
// byte for byte, and the package stays usable for its other entries. A
// reader may take an entry whose data is complete but whose checksum
// differs, stored or deflated: it is then read as it stands. (Data that does
// not inflate is refused either way: xlsxreader_test.)
TEST(ZipPackage, EntriesThatLieOrPassTheCapsFail)
{
    const std::string text = Lines(20000);
    using K = ReadErrorKind;
    const std::function<void(Zip&)> none = [](Zip&) {};
    const auto sizes = [](std::size_t n) {
        return [n](Zip& z) { ziptest::RewriteUncompressedSizes(z, static_cast<std::uint32_t>(n)); };
    };
    // Changes the checksum of every entry but `keep`.
    const auto crcs = [](std::string keep) {
        return [keep](Zip& z) { ziptest::BreakEntries(z, [&](const std::string& name) { return name != keep; }); };
    };
    const struct {
        const char* what;
        std::string data;
        bool store;
        std::function<void(Zip&)> change;
        ZipLimits limits;
        ReadErrorKind refusal;  // None: read
        bool others = true;     // the other entry's headers are left alone
        bool acceptChecksum = false;
    } cases[] = {
        {"sound", text, false, none, {}, K::None},
        {"stored", text, true, none, {}, K::None},
        {"understated", text, false, sizes(text.size() - 1), {}, K::Damaged, false},
        {"overstated", text, false, sizes(text.size() + 1), {}, K::Damaged, false},
        {"stored understated", text, true, sizes(100), {}, K::Damaged, false},
        {"far overstated", "short", true, sizes(200u << 20), {}, K::Damaged, false},
        {"past any cap", "abc", true, sizes(0xFFFFFFF0u), {}, K::TooLarge, false},
        {"checksum", text, false, crcs(""), {}, K::Damaged, false},
        {"checksum accepted", text, false, crcs(""), {}, K::None, true, true},
        {"stored checksum", text, true, crcs("small.xml"), {}, K::Damaged},
        {"stored checksum accepted", text, true, crcs(""), {}, K::None, true, true},
        {"damaged", text, false, Damage, {}, K::Damaged},
        {"bomb", std::string(8u << 20, 'a'), false, none, {}, K::TooLarge},  // a ratio far beyond 200
        {"entry cap", text, true, none, ZipLimits{.maxEntryBytes = 2000}, K::TooLarge},
    };
    for (const auto& c : cases) {
        const bool ok = c.refusal == ReadErrorKind::None;
        Zip zip = ziptest::BuildZip({{"part.xml", c.data, c.store}, {"small.xml", "ok"}});
        c.change(zip);
        ZipPackage pkg(c.limits);
        pkg.SetAcceptChecksumMismatch(c.acceptChecksum);
        ReadError error;
        std::string out;
        if (!pkg.Open(View(zip), error)) {  // a lying header may be refused at once
            EXPECT_EQ(error.kind, c.refusal) << c.what << ": " << error;
            continue;
        }
        EXPECT_EQ(pkg.ReadEntry("part.xml", out, error), ok) << c.what << ": " << error;
        EXPECT_EQ(error.kind, c.refusal) << c.what << ": " << error;
        EXPECT_LE(out.size(), ok ? c.data.size() : 100u) << c.what;
        EXPECT_LT(out.capacity(), ok ? std::string::npos : std::size_t{2} << 20) << c.what;
        EXPECT_LT(pkg.TotalBytesRead(), ok ? std::uint64_t{64} << 20 : std::uint64_t{2} << 20) << c.what;
        if (ok) {
            EXPECT_EQ(out, c.data) << c.what;
        }
        if (c.others) {
            EXPECT_TRUE(pkg.ReadEntry("small.xml", out, error)) << c.what << ": " << error;
        }
    }
    // The total cap counts every read, the same entry's again too.
    const Zip two = ziptest::BuildZip({{"a", std::string(3000, 'x'), true}, {"b", std::string(3000, 'y'), true}});
    ZipPackage total(ZipLimits{.maxTotalBytes = 5000});
    ReadError error;
    std::string out;
    ASSERT_TRUE(total.Open(View(two), error)) << error;
    EXPECT_TRUE(total.ReadEntry("a", out, error)) << error;
    for (const char* name : {"b", "a"}) {
        EXPECT_FALSE(total.ReadEntry(name, out, error));
        EXPECT_EQ(error.kind, ReadErrorKind::TooLarge) << error;
    }
}

TEST(PartNames, ResolveTargetsAndRelationshipsParts)
{
    // How a target is decoded, which the index below shares (how its
    // segments climb is held to the index's own); external targets resolve
    // to nothing.
    const std::pair<const char*, const char*> targets[] = {{"my%20header.xml", "word/my header.xml"},
                                                           {"comments.xml#frag", "word/comments.xml"},
                                                           {"sub\\x.xml", "word/sub/x.xml"},
                                                           {"http://example.com/x.xml", ""},
                                                           {"file:///tmp/x", ""},
                                                           {"", ""}};
    for (const auto& [target, part] : targets) EXPECT_EQ(office::ResolvePartTarget("word/document.xml", target), part);
    EXPECT_EQ(office::ResolvePartTarget("/", "/word/document.xml"), "word/document.xml");
    const std::pair<const char*, const char*> rels[] = {
        {"", "_rels/.rels"}, {"/", "_rels/.rels"}, {"word/document.xml", "word/_rels/document.xml.rels"},
        {"/word/document.xml", "word/_rels/document.xml.rels"}, {"document.xml", "_rels/document.xml.rels"}};
    for (const auto& [part, rel] : rels) EXPECT_EQ(office::RelationshipsPartOf(part), rel);
}

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
    std::vector<ziptest::Entry> files;
    for (const std::string& name : kEntries) files.push_back({name, "x"});
    const auto zipBytes = ziptest::BuildZip(files);
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
