// The compound-file container under the .doc and .xls readers: streams
// found, capped or missing, and damage reported as an error for the file, never as a
// line on standard error (varnel-find's standard error carries the log
// and nothing else). The damaged files here are what the fuzz target
// cfb_fuzz and doc_fuzz kept making: a directory entry that claims more
// bytes than its chain of sectors holds.
#include "office/containers/compoundfile.h"
#include "office/word/docreader.h"
#include "office/excel/workbookloader.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

using namespace office;
using excelfixtures::Bytes;

namespace {

// A compound file whose stream `name` holds `size` bytes but whose
// directory entry (found by its name) claims `claimed`.
Bytes WithClaimedSize(const std::string& name, std::size_t size, std::uint32_t claimed)
{
    Bytes file = excelfixtures::CompoundFileOf({{name, Bytes(size, 0x41)}, {"Other", Bytes(5000, 0x42)}});
    const Bytes utf16 = excelfixtures::Utf16(std::u16string(name.begin(), name.end()) + u'\0');
    std::size_t entry = 512;
    while (entry + 128 <= file.size() && std::memcmp(&file[entry], utf16.data(), utf16.size()) != 0) entry += 128;
    EXPECT_LE(entry + 128, file.size()) << "no directory entry for " << name;
    for (std::size_t i = 0; i < 4 && entry + 128 <= file.size(); ++i)
        file[entry + 0x78 + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
    return file;
}

}  // namespace

// Streams are found, capped or missing. Each of the damaged ones once
// printed "WARNING **: Unable to get child['...'] for infile '?' because :
// insufficient blocks" from libgsf on standard error. Streams below 4096
// bytes live in the small-sector stream; each claims more sectors than its
// chain has.
TEST(CompoundFile, StreamsFoundCappedMissingOrDamagedAndNothingOnStandardError)
{
    const Bytes whole = excelfixtures::CompoundFileOf({{"WordDocument", Bytes(9000, 7)}, {"Small", Bytes(100, 9)}});
    CompoundFile sound;
    ReadError soundError;
    ASSERT_TRUE(sound.Open(ByteView(whole.data(), whole.size()), soundError)) << soundError;
    EXPECT_TRUE(sound.HasStream("WordDocument"));
    EXPECT_FALSE(sound.HasStream("1Table"));
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(sound.ReadStream("WordDocument", bytes, soundError, 8999));  // a cap below the stream's size
    EXPECT_EQ(soundError.kind, ReadErrorKind::TooLarge) << soundError;
    EXPECT_FALSE(sound.ReadStream("1Table", bytes, soundError));
    EXPECT_EQ(soundError.kind, ReadErrorKind::Damaged) << soundError;

    for (const auto& [name, size, claimed] : {std::tuple<std::string, std::size_t, std::uint32_t>{"WordDocument", 3000, 3900},
                                              {"WordDocument", 1000, 2000}, {"WordDocument", 100, 700}, {"Workbook", 3000, 3900}}) {
        const Bytes file = WithClaimedSize(name, size, claimed);
        testing::internal::CaptureStderr();
        CompoundFile cf;
        ReadError error, streamError, docError, bookError;
        const bool opened = cf.Open(ByteView(file.data(), file.size()), error);
        std::vector<std::uint8_t> out;
        const bool read = opened && cf.ReadStream(name, out, streamError);
        const bool has = opened && cf.HasStream(name);
        WordContent content;
        const bool doc = ReadWordBinary(ByteView(file.data(), file.size()), content, docError);
        Workbook book;
        const bool workbook = LoadWorkbookBytes(ByteView(file.data(), file.size()), u"x", book, bookError);
        const std::string stderrText = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(opened) << error;
        EXPECT_FALSE(read || has || doc || workbook) << name << " " << claimed;
        EXPECT_EQ(streamError.kind, ReadErrorKind::Damaged) << streamError;
        // Each reader finds its own stream damaged, and the other's missing.
        const bool word = name == "WordDocument";
        EXPECT_EQ(docError.kind, word ? ReadErrorKind::Damaged : ReadErrorKind::NotThisFormat) << docError;
        EXPECT_EQ(bookError.kind, word ? ReadErrorKind::NotThisFormat : ReadErrorKind::Damaged) << bookError;

        EXPECT_EQ(stderrText, "") << "claimed size " << claimed;
    }
}
