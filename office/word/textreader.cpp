// Plain text decoding (see textreader.h).
#include "office/word/textreader.h"

#include "office/containers/filebytes.h"
#include "office/text/charsetdecoder.h"
#include "office/text/hugepages.h"
#include "office/text/matchtext.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

enum class Decoded { Done, Binary, TooLarge, General };

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
    ReserveLarge(out, (wide ? bytes.size() / 2 : bytes.size()) + 16);
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

// Eight bytes at once that are all printable ASCII (0x20..0x7E): no line
// end, no control character, nothing to decode.
bool PrintableAscii8(const unsigned char* p)
{
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    // Below 0x80, b + 0x60 carries into the top bit exactly when b >= 0x20,
    // and b + 1 exactly when b == 0x7F; no sum carries into the next byte.
    return (v & kHigh) == 0 && ((v + 0x6060606060606060u) & kHigh) == kHigh && ((v + 0x0101010101010101u) & kHigh) == 0;
}

// UTF-8 text decoded and validated in one pass, with the same paragraph
// marks and control count as DecodeParagraphs gives it, fed the text in one
// piece or in several (a line end split between two keeps its state; a
// character must not be). Anything the quick pass does not take (a byte
// that is not well-formed UTF-8, a zero byte) is left to the general path.
class Utf8Paragraphs {
public:
    // Appends the text of p[0, size) to `out`; false when the general path
    // must read the text.
    bool Feed(const unsigned char* p, std::size_t size, std::u16string& out);
    Decoded Result() const { return m_controls * 10 <= m_decoded ? Decoded::Done : Decoded::Binary; }
    // Every character so far keeps the text NFC without characters the
    // compared texts leave out (IsPlainNormalCharacter).
    bool Normal() const { return m_normal; }

private:
    std::size_t m_decoded = 0;
    std::size_t m_controls = 0;
    bool m_afterCr = false;
    bool m_normal = true;
};

bool Utf8Paragraphs::Feed(const unsigned char* p, std::size_t size, std::u16string& out)
{
    char16_t piece[kPieceUnits];
    std::size_t pos = 0;
    std::size_t decoded = m_decoded;
    std::size_t controls = m_controls;
    bool afterCr = m_afterCr;
    bool normal = m_normal;
    while (pos < size) {
        platform::ThrowIfStopRequested();
        char16_t* w = piece;
        char16_t* const full = piece + kPieceUnits - 8;
        while (pos < size && w < full) {
#if defined(__SSE2__)
            // Sixteen bytes of printable ASCII and LF, widened in two stores
            // with each LF made a CR (a paragraph mark, one for one unless
            // it ends a CR LF); a block that holds anything else is widened
            // up to it.
            if (size - pos >= 16 && full - w >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
                // Bytes from 0x80 on are negative here, so fail the first test.
                const __m128i printable =
                    _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
                const __m128i lf = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
                const unsigned taken = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(printable, lf)));
                // A LF first after a CR is the end of a CR LF: left to the step below.
                const unsigned run =
                    afterCr && p[pos] == '\n' ? 0u : static_cast<unsigned>(__builtin_ctz(~taken | 0x10000u));
                if (run != 0) {
                    const __m128i marks = _mm_add_epi8(v, _mm_and_si128(lf, _mm_set1_epi8('\r' - '\n')));
                    const __m128i zero = _mm_setzero_si128();
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(marks, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(marks, zero));
                    w += run;
                    pos += run;
                    decoded += run;
                    afterCr = false;
                    if (run == 16) continue;
                }
            }
#endif
            if (size - pos >= 8 && PrintableAscii8(p + pos)) {
                for (int k = 0; k < 8; ++k) w[k] = p[pos + static_cast<std::size_t>(k)];
                w += 8;
                pos += 8;
                decoded += 8;
                afterCr = false;
                continue;
            }
            char16_t c;
            const unsigned char b = p[pos];
            if (b < 0x80) {
                if (b == 0) return false;
                c = b;
                ++pos;
                // (The optional hyphen is the one character below 0x80 the
                // compared texts leave out.)
                normal = normal && b != 0x1F;
            } else {
                const Utf8Step step = DecodeUtf8Step(p + pos, size - pos);
                if (!step.valid) return false;
                pos += step.length;
                normal = normal && IsPlainNormalCharacter(step.cp);
                if (step.cp >= 0x10000) {
                    *w++ = static_cast<char16_t>(0xD800 + ((step.cp - 0x10000) >> 10));
                    *w++ = static_cast<char16_t>(0xDC00 + (step.cp & 0x3FF));
                    decoded += 2;
                    afterCr = false;
                    continue;
                }
                c = static_cast<char16_t>(step.cp);
            }
            ++decoded;
            if (IsControl(c)) ++controls;
            if (c == u'\n') {
                if (!afterCr) *w++ = u'\r';
            } else {
                *w++ = c;
            }
            afterCr = c == u'\r';
        }
        out.append(piece, static_cast<std::size_t>(w - piece));
    }
    m_decoded = decoded;
    m_controls = controls;
    m_afterCr = afterCr;
    m_normal = normal;
    return true;
}

// The whole text through the quick pass. UTF-8 never makes more UTF-16
// units than bytes; the general path charges no more than that either, so
// a text covered here is one it would have read too.
Decoded DecodeUtf8Paragraphs(ByteView bytes, std::u16string& out, BudgetHold& hold, bool& normal)
{
    out.clear();
    if (!hold.TryCover(std::uint64_t{bytes.size()} * 2)) return Decoded::General;
    ReserveLarge(out, bytes.size() + 16);
    Utf8Paragraphs decoder;
    if (!decoder.Feed(bytes.data(), bytes.size(), out)) return Decoded::General;
    hold.ShrinkTo(std::uint64_t{out.size()} * 2);
    normal = decoder.Normal();
    return decoder.Result();
}

const char* const kBinary = "binary data: not a text file";

// Picks the charset and decodes with it; `quick` lets valid UTF-8 take the
// one-pass path.
bool Read(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget, bool quick)
{
    out.stories.clear();
    const char* charset = nullptr;
    const std::size_t bom = DetectBom(bytes, charset);
    ByteView body = bytes.subspan(bom);
    std::u16string text;
    BudgetHold hold(budget);
    Decoded decoded = Decoded::General;
    // Most text is UTF-8 (or ASCII): one pass tells whether it is and
    // decodes it, where the general path looks for zero bytes, validates
    // and then decodes.
    const bool utf8Possible = charset == nullptr || std::strcmp(charset, "UTF-8") == 0;
    bool normal = false;  // (the general path does not look)
    if (quick && utf8Possible) decoded = DecodeUtf8Paragraphs(body, text, hold, normal);
    if (decoded == Decoded::General) {
        normal = false;
        std::string guessed;
        if (charset == nullptr) {
            const bool hasZero = !body.empty() && std::memchr(body.data(), 0, body.size()) != nullptr;
            if (!hasZero && IsValidUtf8(AsChars(body))) {
                charset = "UTF-8";
            } else if (hasZero) {
                charset = Utf16ByZeros(body);
                if (charset == nullptr) {
                    error = {ReadErrorKind::NotThisFormat, kBinary};
                    return false;
                }
            } else {
                guessed = GuessLegacyCharset(body);
                charset = guessed.c_str();
            }
        }
        decoded = DecodeParagraphs(body, charset, text, hold, error);
    }
    switch (decoded) {
    case Decoded::Done: break;
    case Decoded::General:
    case Decoded::Binary: error = {ReadErrorKind::NotThisFormat, kBinary}; return false;
    case Decoded::TooLarge: return false;
    }
    out.stories.push_back({StoryKind::Main, std::move(text), normal});
    return true;
}

// A long text is written once from start to end, into memory the system
// hands out a page at a time on first touch; asking for the pages the next
// piece may fill in one call spares a fault per page. Only whole pages of
// the buffer are asked for, and a kernel that will not is no matter.
void Prefault(std::u16string& text, std::size_t units)
{
    const std::uintptr_t page = 4096;
    const auto base = reinterpret_cast<std::uintptr_t>(text.data());
    // The page the buffer starts in is the allocator's already.
    const std::uintptr_t from =
        std::max((base + page - 1) & ~(page - 1), (base + text.size() * sizeof(char16_t)) & ~(page - 1));
    const std::uintptr_t limit = (base + text.capacity() * sizeof(char16_t)) & ~(page - 1);
    const std::uintptr_t to =
        std::min(limit, (base + (text.size() + units) * sizeof(char16_t) + page - 1) & ~(page - 1));
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

// Where the text read so far may be cut: before a character whose last
// bytes are still to come.
std::size_t WholeCharactersEnd(const std::vector<std::uint8_t>& bytes, std::size_t begin)
{
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n - begin; ++back) {
        const unsigned char b = bytes[n - back];
        if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        if (b < 0xC0) return n;
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        return length > back ? n - back : n;
    }
    return n;
}

}  // namespace

TextFileRead ReadTextFile(FileBytesReader& file, std::vector<std::uint8_t>& bytes, WordContent& out, ReadError& error,
                          ReadBudget* budget, std::size_t pieceBytes)
{
    out.stories.clear();
    const char* charset = nullptr;
    std::size_t begin = DetectBom(ByteView(bytes.data(), bytes.size()), charset);
    if (charset != nullptr && std::strcmp(charset, "UTF-8") != 0) return TextFileRead::ReadWhole;
    // What the whole-bytes path charges, for the same file.
    const std::size_t body = file.Size() - begin;
    BudgetHold hold(budget);
    if (!hold.TryCover(std::uint64_t{body} * 2)) return TextFileRead::ReadWhole;
    std::u16string text;
    ReserveLarge(text, body + 16);
    Utf8Paragraphs decoder;
    for (;;) {
        const bool last = file.AtEnd();
        const std::size_t end = last ? bytes.size() : WholeCharactersEnd(bytes, begin);
        Prefault(text, end - begin);
        if (!decoder.Feed(bytes.data() + begin, end - begin, text)) return TextFileRead::ReadWhole;
        if (last) break;
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end));
        begin = 0;
        if (!file.Append(bytes, pieceBytes, error)) return TextFileRead::Failed;
    }
    hold.ShrinkTo(std::uint64_t{text.size()} * 2);
    if (decoder.Result() != Decoded::Done) {
        error = {ReadErrorKind::NotThisFormat, kBinary};
        return TextFileRead::Failed;
    }
    out.stories.push_back({StoryKind::Main, std::move(text), decoder.Normal()});
    return TextFileRead::Read;
}

bool ReadText(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget)
{
    return Read(bytes, out, error, budget, true);
}

bool ReadTextGeneral(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget)
{
    return Read(bytes, out, error, budget, false);
}

bool ReadText(ByteView bytes, WordContent& out, ReadError& error)
{
    return ReadText(bytes, out, error, nullptr);
}

}  // namespace office
