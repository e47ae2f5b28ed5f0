// String table texts and code-page conversion.
#include "platform/codepage.h"
#include "platform/stringtable.h"

#include <gtest/gtest.h>

TEST(StringTable, KeepsTheProgramsOwnTextsByteForByte)
{
    // Texts people and scripts match on, with their odd spellings and
    // trailing blanks.
    EXPECT_EQ(LoadString(61459), "Searching finished!!!  ");
    EXPECT_EQ(LoadString(61461), "execl application execute faile...");
    EXPECT_EQ(LoadString(61468), "initializtion...");
    EXPECT_EQ(LoadString(61473), "Sorry,  Help file 'HelpDocument.chm' is not found!!!");
    EXPECT_EQ(LoadString(61457), ":Files is protected or ruined. Visiting is not permitted...");
    EXPECT_EQ(LoadString(61458), ":Files is opend, visiting is not permitted...");
    EXPECT_EQ(LoadString(128), std::string("Varnel\n\nOffice\n\n\nVarnel.Document\nOffice Document"));
}

TEST(CodePage, Utf8RoundTrips)
{
    const std::string text = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";  // Grüße € 😀
    const std::u16string wide = AnsiToWide(text);
    EXPECT_EQ(wide, u"Gr\u00FC\u00DFe \u20AC \U0001F600");
    EXPECT_EQ(WideToAnsi(wide), text);
}

TEST(CodePage, InvalidBytesInPathsSurviveTheRoundTrip)
{
    // Latin-1 file names on a UTF-8 system: every byte must come back.
    const std::string path = "/tmp/caf\xE9/\xFF\xFE.doc";
    const std::u16string wide = AnsiToWide(path);
    EXPECT_EQ(WideToAnsi(wide), path);
    // Plain text conversion replaces them instead.
    EXPECT_EQ(Utf8ToUtf16("a\xFFz"), u"a\uFFFDz");
}

TEST(CodePage, RejectsOverlongAndSurrogateEncodings)
{
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    // A sequence cut short is one error, as ICU and the Unicode Standard
    // count it.
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");
    // A lone surrogate in UTF-16 that is not an escaped byte becomes U+FFFD.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
