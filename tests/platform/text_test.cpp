// String table texts, and UTF-16 back to UTF-8.
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

// UTF-8 to UTF-16, paths and their escapes are held to the strict decode
// step and to ICU in tests/office/decoding_test.cpp; the way back is here.
TEST(CodePage, LoneSurrogateThatIsNoEscapedByteBecomesTheReplacementCharacter)
{
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"a\U0001F600\xDFFFz"), "a\xF0\x9F\x98\x80\xEF\xBF\xBDz");
}
