// Plain text decoding (see textreader.h).
#include "office/word/textreader.h"

#include "office/text/charsetdecoder.h"
#include "platform/cancellation.h"

#include <cstring>

namespace office {

namespace {

// UTF-16 units decoded per step.
constexpr std::size_t kPieceUnits = 32768;

// Text a person wrote has no NULs and few control characters (a log with
// colour escapes still passes; a binary file with no zero byte does not).
bool IsControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != 0x0B && c != 0x0C && c != 0x1A) || c == 0x7F ||
           c == 0xFFFD;
}

enum class Decoded { Done, Binary, TooLarge };

// Decodes `bytes` of `charset` into `out` a piece at a time, CR LF, LF and
// CR each becoming one paragraph mark, counting control characters on the
// way. The text is charged to `hold` before it is written.
Decoded DecodeParagraphs(ByteView bytes, const char* charset, std::u16string& out, BudgetHold& hold, ReadError& error)
{
    out.clear();
    CharsetDecoder decoder(charset);
    // No charset makes more UTF-16 units than bytes (UTF-16 makes half as
    // many); reserving that much costs address space only until the text
    // fills it, and spares a large text from moving as it grows.
    const bool wide = std::strncmp(charset, "UTF-16", 6) == 0;
    out.reserve((wide ? bytes.size() / 2 : bytes.size()) + 16);
    char16_t piece[kPieceUnits];
    std::size_t pos = 0;
    std::size_t decoded = 0;
    std::size_t controls = 0;
    bool afterCr = false;
    while (!decoder.Finished()) {
        platform::ThrowIfStopRequested();
        const std::size_t n = decoder.Decode(bytes, pos, bytes.size(), piece, kPieceUnits);
        // A string that moves to a larger buffer holds both for a moment.
        const std::size_t grown = out.size() + n;
        const std::size_t moving = grown > out.capacity() ? out.size() : 0;
        if (!hold.TryCover((std::uint64_t{grown} + moving) * 2)) {
            error = {ReadErrorKind::TooLarge, hold.Refusal((std::uint64_t{grown} + moving) * 2, "the decoded text")};
            return Decoded::TooLarge;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const char16_t c = piece[i];
            if (c == 0) return Decoded::Binary;
            if (IsControl(c)) ++controls;
            if (c == u'\n') {
                if (!afterCr) out.push_back(u'\r');
            } else {
                out.push_back(c);
            }
            afterCr = c == u'\r';
        }
        decoded += n;
        if (moving != 0) hold.ShrinkTo(std::uint64_t{out.size()} * 2);
    }
    return controls * 10 <= decoded ? Decoded::Done : Decoded::Binary;
}

}  // namespace

bool ReadText(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget)
{
    const char* charset = nullptr;
    const std::size_t bom = DetectBom(bytes, charset);
    ByteView body = bytes.subspan(bom);
    std::string guessed;
    if (charset == nullptr) {
        const bool hasZero = !body.empty() && std::memchr(body.data(), 0, body.size()) != nullptr;
        if (!hasZero && IsValidUtf8(AsChars(body))) {
            charset = "UTF-8";
        } else if (hasZero) {
            charset = Utf16ByZeros(body);
            if (charset == nullptr) {
                error = {ReadErrorKind::NotThisFormat, "binary data: not a text file"};
                return false;
            }
        } else {
            guessed = GuessLegacyCharset(body);
            charset = guessed.c_str();
        }
    }
    out.stories.clear();
    std::u16string text;
    BudgetHold hold(budget);
    switch (DecodeParagraphs(body, charset, text, hold, error)) {
    case Decoded::Done: break;
    case Decoded::Binary: error = {ReadErrorKind::NotThisFormat, "binary data: not a text file"}; return false;
    case Decoded::TooLarge: return false;
    }
    out.stories.push_back({StoryKind::Main, std::move(text)});
    return true;
}

bool ReadText(ByteView bytes, WordContent& out, ReadError& error)
{
    return ReadText(bytes, out, error, nullptr);
}

}  // namespace office
