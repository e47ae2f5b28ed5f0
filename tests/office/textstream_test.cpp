// A text file decoded piece by piece as it is read gives what its whole
// bytes give: random texts cut into random pieces, characters and CR LF
// split at piece edges, byte-order marks, bytes that are no UTF-8, zeros
// and controls, files that change size while read. (The loader's own
// piece size is met by readbudget_test's long text file.)
#include "office/containers/filebytes.h"
#include "office/containers/readbudget.h"
#include "office/word/textreader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace office {
namespace {

using namespace std::string_view_literals;

// Well-formed pieces first, then the ones that send a text to the general path.
constexpr std::string_view kPieces[] = {"words and more words ", "\r\n", "\r", "\n", "\xC3\xA9", "\xE6\x97\xA5",
                                        "\xF0\x9F\x98\x80", "\t", "\x1B", "\xFF", "\x80", "\xE6\x97", "\0"sv};
constexpr std::size_t kClean = 9;
constexpr std::string_view kBoms[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};

// A text and whether it is UTF-8 the quick pass must take.
std::pair<std::string, bool> RandomText(std::mt19937& rng, std::size_t pieces)
{
    const std::size_t bom = rng() % 6 < 4 ? 0 : 1 + rng() % 3;
    std::string out(kBoms[bom]);
    const bool bad = rng() % 3 == 0;
    const std::size_t controlOneIn = 2 + rng() % 12;  // some texts are binary by their controls
    for (std::size_t i = 0; i < pieces; ++i) {
        out += kPieces[rng() % controlOneIn == 0 ? kClean - 1 : rng() % (kClean - 1)];
    }
    if (bad) out.insert(rng() % (out.size() + 1), kPieces[kClean + rng() % (std::size(kPieces) - kClean)]);
    return {out, bom < 2 && !bad};
}

std::string WriteTemp(const std::string& bytes)
{
    const std::string path = ::testing::TempDir() + "varnel-textstream.txt";
    std::remove(path.c_str());  // a file truncated in place is flushed to disk on close
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(TextStream, PiecesGiveWhatTheWholeBytesGive)
{
    std::mt19937 rng(1717);
    for (int round = 0; round < 400; ++round) {
        auto [bytes, utf8] = RandomText(rng, 1 + rng() % 300);
        SCOPED_TRACE(::testing::Message() << "round " << round << ", " << bytes.size() << " bytes");
        const std::string path = WriteTemp(bytes);
        FileBytesReader file;
        ReadError error;
        ASSERT_TRUE(file.Open(path, error)) << error;
        std::vector<std::uint8_t> head;
        ASSERT_TRUE(file.Append(head, 3 + rng() % 40, error));
        // A file that shrinks ends early; one that grows is read to the size it had.
        if (const auto change = rng() % 4; change == 0) {
            bytes.resize(head.size() + rng() % (bytes.size() - head.size() + 1));
            std::filesystem::resize_file(path, bytes.size());
            utf8 = utf8 && static_cast<unsigned char>(bytes.back()) < 0x80;  // no character cut
        } else if (change == 1) {
            std::ofstream(path, std::ios::binary | std::ios::app) << "grown";
        }
        ReadBudget budget;
        WordContent got;
        const TextFileRead read = ReadTextFile(file, head, got, error, &budget, 1 + rng() % 50);
        EXPECT_EQ(budget.Used(), 0u);
        if (read == TextFileRead::ReadWhole) {
            EXPECT_FALSE(utf8);
            continue;
        }
        WordContent whole;
        ReadError wholeError;
        const bool ok = ReadText(ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), whole,
                                 wholeError, nullptr);
        ASSERT_EQ(read == TextFileRead::Read, ok) << error << " / " << wholeError;
        EXPECT_EQ(error.kind, wholeError.kind);
        EXPECT_EQ(error.detail, wholeError.detail);
        if (ok) {
            EXPECT_TRUE(got.stories.at(0).text == whole.stories.at(0).text);
        }
    }
}

}  // namespace
}  // namespace office
