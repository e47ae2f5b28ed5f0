// Every fast way the program reads text, held to the one strict UTF-8 decode
// step (platform/utf8.h), and that step held to ICU's converter: ASCII runs skipped
// sixteen or eight bytes at a time, validation in chunks, the XML scanner's
// own pass, path escapes, the charset decoder, and case
// folding with its ASCII shortcut. Inputs are thousands of random and
// hand-picked byte strings with every kind of ill-formed sequence, runs of
// ASCII around the sixteen- and eight-byte steps, and sequences cut at the
// megabyte edges of the chunked passes.
#include "office/containers/xmlscanner.h"
#include "office/text/casefold.h"
#include "office/text/charsetdecoder.h"
#include "office/text/matchtext.h"
#include "platform/codepage.h"
#include "platform/utf8.h"
#include "support/icufold.h"

#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using office::ByteView;

ByteView Bytes(std::string_view s)
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

// Pieces the random strings are made of: well-formed sequences at every
// edge of the encoding, and every kind of ill-formed one.
const std::vector<std::string> kPieces = {
    // well-formed
    "a", "Z", " ", "\t", "\n", "0123456789abcdef", "~", "\xC2\x80", "\xC3\xA9", "\xDF\xBF", "\xE0\xA0\x80",
    "\xE2\x82\xAC", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBD", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xF0\x90\x80\x80",
    "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF",
    // controls: well-formed UTF-8, not XML characters
    std::string(1, '\0'), "\x01", "\x1F", "\x7F",
    // lone continuation bytes
    "\x80", "\xBF",
    // overlong forms
    "\xC0\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
    // surrogates
    "\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xAF\xBF\xED\xB0\x80",
    // beyond U+10FFFF and leads that never start a sequence
    "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF7\xBF\xBF\xBF", "\xF8\x88\x80\x80\x80", "\xFC\x84\x80\x80\x80\x80",
    "\xFE", "\xFF",
    // cut short, also before ASCII
    "\xC3", "\xE2\x82", "\xE2", "\xF0\x9F\x98", "\xF0\x9F", "\xF4\x8F\xBF",
};

std::string RandomText(std::mt19937& rng)
{
    std::string s;
    const std::size_t count = rng() % 48;
    for (std::size_t k = 0; k < count; ++k) {
        switch (rng() % 8) {
        case 0: s += std::string(rng() % 40, 'x'); break;  // ASCII runs around the 8/16-byte steps
        case 1: s.push_back(static_cast<char>(rng() % 256)); break;
        default: s += kPieces[rng() % kPieces.size()]; break;
        }
    }
    return s;
}

// The inputs every fast path is held to the strict step on.
const std::vector<std::string> kCorpus = [] {
    std::vector<std::string> all;
    for (const std::string& p : kPieces) {
        all.push_back(p);
        // Each piece right after, and right before, the 16- and 8-byte
        // steps' edges.
        for (std::size_t run : {7u, 8u, 15u, 16u, 17u, 31u}) {
            all.push_back(std::string(run, 'q') + p);
            all.push_back(p + std::string(run, 'q'));
        }
    }
    std::mt19937 rng(2024);
    for (int k = 0; k < 4000; ++k) all.push_back(RandomText(rng));
    // Sequences cut by the megabyte edge of the chunked passes, also
    // where the XML scanner's document puts "<a>" before them.
    constexpr std::size_t kMega = std::size_t{1} << 20;
    for (const char* p : {"\xF0\x9F\x98\x80", "\xE2\x82\xAC", "\xED\xA0\x80", "\xF0\x9F\x98", "\x80\x80\x80\x80"})
        for (std::size_t back : {1u, 2u, 3u, 4u, 5u, 6u}) all.push_back(std::string(kMega - back, 'm') + p + "tail");
    return all;
}();

// The strict step over `s`, one sequence at a time with no shortcut: each
// sequence to `each` (its bytes, the step), which may end the walk.
template <class Each>
void Steps(std::string_view s, Each&& each)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size(); i += DecodeUtf8Step(p + i, s.size() - i).length) {
        if (!each(p + i, DecodeUtf8Step(p + i, s.size() - i))) return;
    }
}

std::u16string StrictDecode(std::string_view s)
{
    std::u16string out;
    Steps(s, [&out](const unsigned char*, const Utf8Step& step) { return AppendUtf16(out, step.cp), true; });
    return out;
}

bool StrictValid(std::string_view s, bool (*allowed)(char32_t))
{
    bool valid = true;
    Steps(s, [&valid, allowed](const unsigned char*, const Utf8Step& step) { return valid = step.valid && allowed(step.cp); });
    return valid;
}

// Each byte of an ill-formed stretch on its own, escaped.
std::u16string PathEscapes(std::string_view s)
{
    std::u16string out;
    Steps(s, [&out](const unsigned char* p, const Utf8Step& step) {
        if (step.valid) AppendUtf16(out, step.cp);
        for (std::uint32_t k = 0; !step.valid && k < step.length; ++k) out.push_back(static_cast<char16_t>(0xDC00 + p[k]));
        return true;
    });
    return out;
}

bool XmlCharacter(char32_t c) { return c < 0x20 ? c == '\t' || c == '\n' || c == '\r' : c != 0xFFFE && c != 0xFFFF; }

// `bytes` through one ICU converter in one call.
std::u16string IcuDecode(const char* charset, std::string_view bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(charset, &status);
    std::u16string out(2 * bytes.size() + 8, u'\0');
    const int32_t n = ucnv_toUChars(conv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                    bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(conv);
    EXPECT_TRUE(U_SUCCESS(status)) << charset;
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
    return out;
}

class TextSink : public office::XmlScanSink {
public:
    void Start(const office::XmlName&, const office::XmlAttributes&) override {}
    void End(const office::XmlName&) override {}
    void Text(std::string_view text) override { text_ += text; }
    std::string text_;
};

// Character data without markup, references and line ends, which the XML
// scanner would treat apart.
std::string XmlBody(std::string_view s)
{
    std::string body;
    for (char c : s)
        if (c != '<' && c != '&' && c != ']' && c != '\r') body.push_back(c);
    return body;
}

// The XML scanner's verdict on character data, and the text it hands on.
std::u16string ScannedText(std::string_view s)
{
    TextSink sink;
    std::string error;
    if (!office::XmlScanner::Scan("<a>" + XmlBody(s) + "</a>", 8, sink, error)) return u"refused";
    return u"read:" + Utf8ToUtf16(sink.text_);
}

std::u16string StrictXmlText(std::string_view s)
{
    const std::string body = XmlBody(s);
    return StrictValid(body, XmlCharacter) ? u"read:" + StrictDecode(body) : u"refused";
}

std::u16string Verdict(bool b) { return b ? u"valid" : u"invalid"; }

struct FastPath {
    const char* name;
    std::function<std::u16string(std::string_view)> fast;
    std::function<std::u16string(std::string_view)> strict;
};

TEST(Decoding, EveryFastPathAgreesWithTheStrictStep)
{
    const std::vector<FastPath> paths = {
        {"Utf8ToUtf16", [](std::string_view s) { return Utf8ToUtf16(s); }, StrictDecode},
        // A whole text through ICU's UTF-8 converter gives what the step
        // gives: the readers that used ICU for UTF-8 see no change.
        {"ICU's UTF-8 converter", [](std::string_view s) { return IcuDecode("UTF-8", s); }, StrictDecode},
        {"AppendUtf8AsUtf16 (ASCII sixteen bytes at a time)",
         [](std::string_view s) {
             std::u16string out = u"kept";
             AppendUtf8AsUtf16(out, s);
             return out;
         },
         [](std::string_view s) { return u"kept" + StrictDecode(s); }},
        {"IsValidUtf8 (ASCII sixteen or eight bytes at a time, megabyte chunks)",
         [](std::string_view s) { return Verdict(IsValidUtf8(s)); },
         [](std::string_view s) { return Verdict(StrictValid(s, [](char32_t) { return true; })); }},
        {"CharsetDecoder::Append UTF-8",
         [](std::string_view s) {
             std::u16string out;
             office::CharsetDecoder("UTF-8").Append(Bytes(s), out);
             return out;
         },
         StrictDecode},
        {"AnsiToWide (path escapes)", [](std::string_view s) { return AnsiToWide(s); }, PathEscapes},
        {"WideToAnsi brings a path back", [](std::string_view s) { return Verdict(WideToAnsi(AnsiToWide(s)) == s); },
         [](std::string_view) { return Verdict(true); }},
        {"XML scanner's character pass (SSE2, eight-byte words)", ScannedText, StrictXmlText},
    };
    for (const FastPath& path : paths) {
        int failures = 0;
        for (std::size_t k = 0; k < kCorpus.size() && failures < 5; ++k) {
            if (path.fast(kCorpus[k]) == path.strict(kCorpus[k])) continue;
            ++failures;
            ADD_FAILURE() << path.name << ": input " << k << " of " << kCorpus[k].size() << " bytes";
        }
    }
}

// An unknown charset reads as windows-1252 (which ICU's converter gives
// the bytes 0x80 to 0x9F of differently from ISO-8859-1).
TEST(Decoding, UnknownCharsetReadsAsWindows1252)
{
    const std::string bytes = "caf\xE9 \x80\x85\x9F\x81";
    for (const char* asked : {"no-such-charset", ""}) {
        office::CharsetDecoder decoder(asked);
        EXPECT_FALSE(decoder.Known()) << asked;
        std::u16string out;
        decoder.Append(Bytes(bytes), out);
        EXPECT_TRUE(out == IcuDecode("windows-1252", bytes)) << asked;
    }
    EXPECT_TRUE(office::CharsetDecoder("GB18030").Known());
}

// Folding lowers ASCII itself and sends other stretches to ICU in pieces;
// the match text folds a character at a time. Both must be ICU's folding
// of the whole text, wherever pieces are cut (pairs, lone surrogates and
// characters that fold to several).
TEST(Decoding, FoldingShortcutsAreIcusFolding)
{
    const std::vector<std::u16string> pieces = {u"ß", u"Σ", u"ς", u"ΐ", u"ﬃ", u"\U0001F600", u"\U00010400", u"İ",
                                                u"Ǆ", u"\xD800", u"\xDC00", u"\xFFFF", u"A", u"z", u"ж", u"Ж",
                                                u"e\u0301", u"\u00AD", u"@ABCDEFGHIJKLMNOPQRSTUVWXYZ[`az{"};
    std::mt19937 rng(17);
    for (int round = 0; round < 2000; ++round) {
        // The first text has a pair across the first piece's edge.
        std::u16string text = round == 0 ? std::u16string(63, u'ж') + u"\U00010400" + u"Ж" : u"";
        for (std::size_t k = round == 0 ? 0 : rng() % 150; k > 0; --k) text += pieces[rng() % pieces.size()];
        // Appended to a text that ends in the middle of an ASCII run.
        std::u16string appended = u"Kept";
        office::AppendFullCaseFold(text, appended);
        EXPECT_EQ(appended, u"Kept" + IcuFold(text));
        // The match text folds while it normalises: the same as folding
        // what it gives unfolded.
        const std::u16string unfolded = office::PrepareForMatch(text, false, true);
        EXPECT_EQ(office::PrepareForMatch(text, true, true), IcuFold(unfolded));
    }
}

}  // namespace
