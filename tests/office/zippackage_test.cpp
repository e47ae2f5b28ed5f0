// Zip package reading: lookup, limits against bombs and lying headers, and
// OPC part-name resolution.
#include "office/containers/zippackage.h"

#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using office::ZipLimits;
using office::ZipPackage;

namespace {

office::ByteView View(const std::vector<std::uint8_t>& v)
{
    return {v.data(), v.size()};
}

TEST(ZipPackage, ReadsEntriesByExactAndCaseFoldedName)
{
    const auto zip = ziptest::BuildZip({{"word/document.xml", "<w:document/>"},
                                        {"[Content_Types].xml", "<Types/>", true},
                                        {"docProps/App.xml", "app"}});
    ZipPackage pkg;
    std::string error;
    ASSERT_TRUE(pkg.Open(View(zip), error)) << error;
    EXPECT_TRUE(pkg.HasEntry("word/document.xml"));
    EXPECT_TRUE(pkg.HasEntry("/word/document.xml"));
    EXPECT_TRUE(pkg.HasEntry("Word/Document.XML"));
    EXPECT_FALSE(pkg.HasEntry("word/styles.xml"));

    std::string out;
    ASSERT_TRUE(pkg.ReadEntry("word/document.xml", out, error)) << error;
    EXPECT_EQ(out, "<w:document/>");
    ASSERT_TRUE(pkg.ReadEntry("[Content_Types].xml", out, error)) << error;
    EXPECT_EQ(out, "<Types/>");
    ASSERT_TRUE(pkg.ReadEntry("docprops/app.xml", out, error)) << error;
    EXPECT_EQ(out, "app");
    EXPECT_EQ(pkg.TotalBytesRead(), 13u + 8u + 3u);

    EXPECT_FALSE(pkg.ReadEntry("missing.xml", out, error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_EQ(pkg.EntryNames().size(), 3u);
}

// Every name the package lists is found under that name. zip_fuzz found
// an entry named "/x\0tables/..." that HasEntry did not find under the
// name EntryNames gave: the leading '/' was dropped from the name asked
// for but not from the names stored.
TEST(ZipPackage, EntriesStoredWithALeadingSlashAreFoundByTheirNames)
{
    auto zip = ziptest::BuildZip({{"/xl/workbook.xml", "<workbook/>"},
                                  {"/xAtables.xml", "cut", true},
                                  {"plain.xml", "plain"}});
    // Turn the "A" of the second name into a NUL, in the local header and
    // in the central directory, as in the fuzzer's input.
    const std::string cut = "/xAtables.xml";
    for (std::size_t i = 0; i + cut.size() <= zip.size(); ++i)
        if (std::equal(cut.begin(), cut.end(), zip.begin() + static_cast<std::ptrdiff_t>(i))) zip[i + 2] = 0;
    ZipPackage pkg;
    std::string error;
    ASSERT_TRUE(pkg.Open(View(zip), error)) << error;
    const auto names = pkg.EntryNames();
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
        EXPECT_TRUE(pkg.HasEntry(name)) << name;
        std::string out;
        EXPECT_TRUE(pkg.ReadEntry(name, out, error)) << name << ": " << error;
    }
    EXPECT_TRUE(pkg.HasEntry("xl/workbook.xml"));
    EXPECT_TRUE(pkg.HasEntry("XL/Workbook.xml"));
    std::string out;
    ASSERT_TRUE(pkg.ReadEntry("xl/workbook.xml", out, error)) << error;
    EXPECT_EQ(out, "<workbook/>");
}

TEST(ZipPackage, RejectsBytesThatAreNotAZip)
{
    const std::vector<std::uint8_t> junk = {'P', 'K', 3, 4, 'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    ZipPackage pkg;
    std::string error;
    EXPECT_FALSE(pkg.Open(View(junk), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(pkg.HasEntry("x"));
    std::string out;
    EXPECT_FALSE(pkg.ReadEntry("x", out, error));

    const std::vector<std::uint8_t> empty;
    ZipPackage pkg2;
    EXPECT_FALSE(pkg2.Open(View(empty), error));
}

TEST(ZipPackage, HighlyCompressibleEntryFailsAsBomb)
{
    // 8 MiB of one letter deflates to a few KiB: a ratio far beyond 200.
    const std::string big(8u << 20, 'a');
    const auto zip = ziptest::BuildZip({{"bomb.xml", big}, {"small.xml", "ok"}});
    ASSERT_LT(zip.size(), 100000u);
    ZipPackage pkg;
    std::string error;
    ASSERT_TRUE(pkg.Open(View(zip), error)) << error;
    std::string out;
    EXPECT_FALSE(pkg.ReadEntry("bomb.xml", out, error));
    EXPECT_NE(error.find("bomb"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
    // The ratio check stops early: far less than the whole entry was inflated.
    EXPECT_LT(pkg.TotalBytesRead(), 2u << 20);
    // The package stays usable for its other parts.
    ASSERT_TRUE(pkg.ReadEntry("small.xml", out, error)) << error;
    EXPECT_EQ(out, "ok");
}

TEST(ZipPackage, EntryAndTotalCapsAreEnforced)
{
    const std::string a(3000, 'x');
    const std::string b(3000, 'y');
    const auto zip = ziptest::BuildZip({{"a", a, true}, {"b", b, true}});

    ZipLimits entryCap;
    entryCap.maxEntryBytes = 2000;
    ZipPackage p1(entryCap);
    std::string error, out;
    ASSERT_TRUE(p1.Open(View(zip), error)) << error;
    EXPECT_FALSE(p1.ReadEntry("a", out, error));
    EXPECT_NE(error.find("too large"), std::string::npos);

    ZipLimits totalCap;
    totalCap.maxTotalBytes = 5000;
    ZipPackage p2(totalCap);
    ASSERT_TRUE(p2.Open(View(zip), error)) << error;
    EXPECT_TRUE(p2.ReadEntry("a", out, error)) << error;
    EXPECT_FALSE(p2.ReadEntry("b", out, error));
    EXPECT_NE(error.find("size limit"), std::string::npos) << error;
    // Reading the same entry again counts again: the total bounds work done.
    EXPECT_FALSE(p2.ReadEntry("a", out, error));
}

TEST(ZipPackage, HeaderThatUnderstatesTheSizeFails)
{
    const std::string text(5000, 'q');
    auto zip = ziptest::BuildZip({{"part.xml", text, true}});
    ziptest::RewriteUncompressedSizes(zip, 100);
    ZipPackage pkg;
    std::string error, out;
    if (!pkg.Open(View(zip), error)) {
        SUCCEED() << "refused at open: " << error;
        return;
    }
    EXPECT_FALSE(pkg.ReadEntry("part.xml", out, error));
    EXPECT_LE(out.size(), 100u);
}

TEST(ZipPackage, HeaderThatOverstatesTheSizeFailsWithoutReserving)
{
    const std::string text = "short";
    auto zip = ziptest::BuildZip({{"part.xml", text, true}});
    ziptest::RewriteUncompressedSizes(zip, 200u << 20);
    ZipPackage pkg;
    std::string error, out;
    if (!pkg.Open(View(zip), error)) {
        SUCCEED() << "refused at open: " << error;
        return;
    }
    EXPECT_FALSE(pkg.ReadEntry("part.xml", out, error));
    EXPECT_EQ(out.capacity() < (1u << 20), true);
}

TEST(ZipPackage, DeclaredSizeOverCapFailsBeforeReading)
{
    auto zip = ziptest::BuildZip({{"part.xml", "abc", true}});
    ziptest::RewriteUncompressedSizes(zip, 0xFFFFFFF0u);
    ZipPackage pkg;
    std::string error, out;
    if (!pkg.Open(View(zip), error)) return;
    EXPECT_FALSE(pkg.ReadEntry("part.xml", out, error));
    EXPECT_EQ(pkg.TotalBytesRead(), 0u);
}

// Deflated entries are inflated whole into a buffer of the declared size:
// a header that lies either way, a wrong checksum or damaged data must
// fail, and a sound entry must come out byte for byte.
TEST(ZipPackage, DeflatedEntriesAreCheckedAgainstTheirHeaders)
{
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    const auto sound = ziptest::BuildZip({{"part.xml", text}});
    {
        ZipPackage pkg;
        std::string error, out;
        ASSERT_TRUE(pkg.Open(View(sound), error)) << error;
        ASSERT_TRUE(pkg.ReadEntry("part.xml", out, error)) << error;
        EXPECT_EQ(out, text);
        EXPECT_EQ(pkg.TotalBytesRead(), text.size());
    }
    const auto understated = [&] {
        auto zip = sound;
        ziptest::RewriteUncompressedSizes(zip, static_cast<std::uint32_t>(text.size() - 1));
        return zip;
    }();
    const auto overstated = [&] {
        auto zip = sound;
        ziptest::RewriteUncompressedSizes(zip, static_cast<std::uint32_t>(text.size() + 1));
        return zip;
    }();
    const auto wrongCrc = [&] {
        auto zip = sound;
        for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
            const std::uint32_t sig = ziptest::Get32(zip, i);
            if (sig == 0x04034b50u) ziptest::Put32(zip, i + 14, ziptest::Get32(zip, i + 14) ^ 1u);
            else if (sig == 0x02014b50u) ziptest::Put32(zip, i + 16, ziptest::Get32(zip, i + 16) ^ 1u);
        }
        return zip;
    }();
    const auto damaged = [&] {
        auto zip = sound;
        // Inside the compressed data: the local header is 30 bytes plus the
        // name, and the data runs for a few kilobytes after it.
        for (std::size_t i = 60; i < 400 && i < zip.size(); ++i) zip[i] = static_cast<std::uint8_t>(zip[i] ^ 0x5A);
        return zip;
    }();
    const std::pair<const char*, const std::vector<std::uint8_t>*> cases[] = {
        {"larger than", &understated}, {"shorter than", &overstated}, {"CRC", &wrongCrc}, {"invalid", &damaged}};
    for (const auto& [why, zip] : cases) {
        ZipPackage pkg;
        std::string error, out;
        ASSERT_TRUE(pkg.Open(View(*zip), error)) << why << ": " << error;
        EXPECT_FALSE(pkg.ReadEntry("part.xml", out, error)) << why;
        EXPECT_NE(error.find(why), std::string::npos) << error;
        EXPECT_TRUE(out.empty()) << why;
    }
}

// A reader may take an entry whose data is complete but whose checksum
// differs (a changed byte): stored or deflated, it is then read as it
// stands and named among the mismatches; by default it is refused. Data
// that does not inflate, or that the header's size does not fit, is
// refused either way.
TEST(ZipPackage, ChecksumMismatchIsReadOnlyWhenAccepted)
{
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "row " + std::to_string(i * 7919 % 10007) + "\n";
    auto zip = ziptest::BuildZip({{"deflated.xml", text}, {"stored.xml", "stored text", true}, {"sound.xml", text}});
    for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
        const std::uint32_t sig = ziptest::Get32(zip, i);
        const std::size_t nameLenAt = sig == 0x04034b50u ? 26 : 28;
        const std::size_t nameAt = sig == 0x04034b50u ? 30 : 46;
        const std::size_t crcAt = sig == 0x04034b50u ? 14 : 16;
        if (sig != 0x04034b50u && sig != 0x02014b50u) continue;
        const std::size_t nameLen = zip[i + nameLenAt] | (zip[i + nameLenAt + 1] << 8);
        const std::string name(zip.begin() + static_cast<long>(i + nameAt),
                               zip.begin() + static_cast<long>(i + nameAt + nameLen));
        if (name != "sound.xml") ziptest::Put32(zip, i + crcAt, ziptest::Get32(zip, i + crcAt) ^ 0x100u);
    }
    for (const bool accept : {false, true}) {
        ZipPackage pkg;
        pkg.SetAcceptChecksumMismatch(accept);
        std::string error, out;
        ASSERT_TRUE(pkg.Open(View(zip), error)) << error;
        EXPECT_EQ(pkg.ReadEntry("deflated.xml", out, error), accept) << error;
        if (accept) {
            EXPECT_EQ(out, text);
        } else {
            EXPECT_NE(error.find("CRC"), std::string::npos) << error;
        }
        EXPECT_EQ(pkg.ReadEntry("stored.xml", out, error), accept) << error;
        if (accept) {
            EXPECT_EQ(out, "stored text");
        }
        ASSERT_TRUE(pkg.ReadEntry("sound.xml", out, error)) << error;
        EXPECT_EQ(pkg.ChecksumMismatches(),
                  accept ? (std::vector<std::string>{"deflated.xml", "stored.xml"}) : std::vector<std::string>{});
    }
    // Damaged deflate data stays refused when mismatches are accepted.
    auto damaged = ziptest::BuildZip({{"part.xml", text}});
    for (std::size_t i = 60; i < 400 && i < damaged.size(); ++i) damaged[i] = static_cast<std::uint8_t>(damaged[i] ^ 0x5A);
    ZipPackage pkg;
    pkg.SetAcceptChecksumMismatch(true);
    std::string error, out;
    ASSERT_TRUE(pkg.Open(View(damaged), error)) << error;
    EXPECT_FALSE(pkg.ReadEntry("part.xml", out, error));
    EXPECT_FALSE(error.empty());
}

TEST(PartNames, ResolveRelativeAbsoluteAndEscapedTargets)
{
    using office::ResolvePartTarget;
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "header1.xml"), "word/header1.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "./media/../footer2.xml"), "word/footer2.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "../customXml/item1.xml"), "customXml/item1.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "/word/footnotes.xml"), "word/footnotes.xml");
    EXPECT_EQ(ResolvePartTarget("", "word/document.xml"), "word/document.xml");
    EXPECT_EQ(ResolvePartTarget("/", "/word/document.xml"), "word/document.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "my%20header.xml"), "word/my header.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "comments.xml#frag"), "word/comments.xml");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "sub\\x.xml"), "word/sub/x.xml");
    // Climbing above the root and external targets resolve to nothing.
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "../../etc/passwd"), "");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "http://example.com/x.xml"), "");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", "file:///tmp/x"), "");
    EXPECT_EQ(ResolvePartTarget("word/document.xml", ""), "");
}

TEST(PartNames, RelationshipsPart)
{
    using office::RelationshipsPartOf;
    EXPECT_EQ(RelationshipsPartOf(""), "_rels/.rels");
    EXPECT_EQ(RelationshipsPartOf("/"), "_rels/.rels");
    EXPECT_EQ(RelationshipsPartOf("word/document.xml"), "word/_rels/document.xml.rels");
    EXPECT_EQ(RelationshipsPartOf("/word/document.xml"), "word/_rels/document.xml.rels");
    EXPECT_EQ(RelationshipsPartOf("document.xml"), "_rels/document.xml.rels");
}

}  // namespace
