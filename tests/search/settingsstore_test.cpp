// Persistence of the thirteen settings in the user hive: defaults on a
// first start, the first-byte rule on reading, what is written at close,
// and keys that cannot be opened or created.
#include "platform/registry.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kOption = "SOFTWARE\\Varnel\\Option";
const char* const kSetup = "SOFTWARE\\Varnel\\Setup";

const char* const kOptionNames[] = {"MatchCase",    "MatchWholeWord", "MatchWildcards", "MatchSoundsLike",
                                    "MatchAllWordForms", "ClearSeriesSpace", "WordFile", "ExcelFile",
                                    "TextFile",     "HtmFile"};
const char* const kSetupNames[] = {"DCOpenFile", "OpenMultiFiles", "OpenMultiDirs"};

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/varnel-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_hive = m_dir / "Varnel" / "user.reg";
        RegDenyUserKeyForTesting("");
        RegSetUserHivePath(m_hive.string());
        ResetSearchContext();
        g_bDCOpenFile = 0;
        g_bOpenMultiFiles = 0;
        g_bOpenMultiDirs = 0;
    }
    void TearDown() override
    {
        RegDenyUserKeyForTesting("");
        RegSetUserHivePath((m_dir / "unused.reg").string());
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        ResetSearchContext();
    }
    // A new start of the program: nothing cached from this run.
    void Restart() { RegSetUserHivePath(m_hive.string()); }

    static HKEY Create(const char* path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKey(HKEY_CURRENT_USER, path, &key), (LONG)ERROR_SUCCESS);
        return key;
    }
    static void Put(const char* keyPath, const char* name, DWORD type, const std::vector<BYTE>& data)
    {
        HKEY key = Create(keyPath);
        ASSERT_NE(key, nullptr);
        ASSERT_EQ(RegSetValueEx(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), (LONG)ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void PutDword(const char* keyPath, const char* name, DWORD value)
    {
        Put(keyPath, name, REG_DWORD,
            {BYTE(value & 0xFF), BYTE((value >> 8) & 0xFF), BYTE((value >> 16) & 0xFF), BYTE(value >> 24)});
    }
    // The stored value, or false when there is none.
    static bool Get(const char* keyPath, const char* name, DWORD& type, std::vector<BYTE>& data)
    {
        HKEY key = nullptr;
        if (RegOpenKey(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS) return false;
        BYTE buf[64] = {};
        DWORD size = sizeof buf;
        const LONG rc = RegQueryValueEx(key, name, nullptr, &type, buf, &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return false;
        data.assign(buf, buf + size);
        return true;
    }
    static bool KeyExists(const char* keyPath)
    {
        HKEY key = nullptr;
        if (RegOpenKey(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    std::string HiveText() const
    {
        std::ifstream in(m_hive, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void SetAllOn()
    {
        g_conditions.MatchCase = 1;
        g_conditions.MatchWholeWord = 1;
        g_conditions.MatchWildcards = 1;
        g_conditions.MatchSoundsLike = 1;
        g_conditions.MatchAllWordForms = 1;
        g_conditions.ClearSeriesSpace = 1;
        g_bWordFile = 1;
        g_bExcelFile = 1;
        g_bTextFile = 1;
        g_bHtmFile = 1;
        g_bDCOpenFile = 1;
        g_bOpenMultiFiles = 1;
        g_bOpenMultiDirs = 1;
    }
    static void ExpectDefaults()
    {
        EXPECT_EQ(g_conditions.MatchCase.load(), 0);
        EXPECT_EQ(g_conditions.MatchWholeWord.load(), 0);
        EXPECT_EQ(g_conditions.MatchWildcards.load(), 0);
        EXPECT_EQ(g_conditions.MatchSoundsLike.load(), 0);
        EXPECT_EQ(g_conditions.MatchAllWordForms.load(), 0);
        EXPECT_EQ(g_conditions.ClearSeriesSpace.load(), 1);
        EXPECT_EQ(g_bWordFile.load(), 0);
        EXPECT_EQ(g_bExcelFile.load(), 0);
        EXPECT_EQ(g_bTextFile.load(), 0);
        EXPECT_EQ(g_bHtmFile.load(), 0);
        EXPECT_EQ(g_bDCOpenFile.load(), 0);
        EXPECT_EQ(g_bOpenMultiFiles.load(), 0);
        EXPECT_EQ(g_bOpenMultiDirs.load(), 0);
    }

    fs::path m_dir;
    fs::path m_hive;
};

}  // namespace

TEST_F(SettingsStoreTest, FirstStartCreatesBothKeysAndUsesDefaults)
{
    SetAllOn();
    LoadSettings();
    ExpectDefaults();
    EXPECT_TRUE(KeyExists(kOption));
    EXPECT_TRUE(KeyExists(kSetup));
    // Created empty, and in the hive file, so a second start finds them.
    Restart();
    EXPECT_TRUE(KeyExists(kOption));
    EXPECT_TRUE(KeyExists(kSetup));
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(Get(kOption, "MatchCase", type, data));
}

TEST_F(SettingsStoreTest, OnlyTheFirstByteCounts)
{
    PutDword(kOption, "MatchCase", 1);
    PutDword(kOption, "MatchWholeWord", 256);  // lowest byte 0: off
    PutDword(kOption, "MatchWildcards", 2);    // on, as 2
    PutDword(kOption, "ClearSeriesSpace", 0);
    PutDword(kOption, "ExcelFile", 0x12345601);
    PutDword(kSetup, "OpenMultiDirs", 255);
    Restart();
    LoadSettings();
    EXPECT_EQ(g_conditions.MatchCase.load(), 1);
    EXPECT_EQ(g_conditions.MatchWholeWord.load(), 0);
    EXPECT_EQ(g_conditions.MatchWildcards.load(), 2);
    EXPECT_EQ(g_conditions.ClearSeriesSpace.load(), 0);
    EXPECT_EQ(g_bExcelFile.load(), 1);
    EXPECT_EQ(g_bOpenMultiDirs.load(), 255);
}

TEST_F(SettingsStoreTest, TypeIsNotExaminedButLengthIs)
{
    Put(kOption, "WordFile", REG_BINARY, {0x01});                       // on
    Put(kOption, "TextFile", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});     // 8 bytes: default
    Put(kOption, "HtmFile", REG_SZ, {'1', 0});                          // first byte '1'
    Put(kOption, "ClearSeriesSpace", REG_BINARY, {});                   // no byte: default
    Put(kSetup, "DCOpenFile", REG_DWORD, {1, 0, 0, 0, 0});              // over-long: default
    Restart();
    LoadSettings();
    EXPECT_EQ(g_bWordFile.load(), 1);
    EXPECT_EQ(g_bTextFile.load(), 0);
    EXPECT_EQ(g_bHtmFile.load(), '1');
    EXPECT_EQ(g_conditions.ClearSeriesSpace.load(), 1);
    EXPECT_EQ(g_bDCOpenFile.load(), 0);
}

TEST_F(SettingsStoreTest, MissingValuesKeepTheirDefaultsOthersAreRead)
{
    PutDword(kOption, "HtmFile", 1);
    PutDword(kSetup, "OpenMultiFiles", 1);
    SetAllOn();
    Restart();
    LoadSettings();
    EXPECT_EQ(g_bHtmFile.load(), 1);
    EXPECT_EQ(g_bOpenMultiFiles.load(), 1);
    EXPECT_EQ(g_conditions.ClearSeriesSpace.load(), 1);
    EXPECT_EQ(g_conditions.MatchCase.load(), 0);
    EXPECT_EQ(g_bWordFile.load(), 0);
    EXPECT_EQ(g_bDCOpenFile.load(), 0);
}

TEST_F(SettingsStoreTest, CloseWritesAllThirteenAsFourByteDwords)
{
    LoadSettings();
    g_bWordFile = 1;
    g_conditions.MatchCase = 1;
    g_bOpenMultiDirs = 1;
    EXPECT_TRUE(SaveSettings());
    Restart();
    for (const char* name : kOptionNames) {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(Get(kOption, name, type, data)) << name;
        EXPECT_EQ(type, REG_DWORD) << name;
        ASSERT_EQ(data.size(), 4u) << name;
        const bool on = std::string(name) == "WordFile" || std::string(name) == "MatchCase" ||
                        std::string(name) == "ClearSeriesSpace";
        EXPECT_EQ(data, (std::vector<BYTE>{BYTE(on ? 1 : 0), 0, 0, 0})) << name;
    }
    for (const char* name : kSetupNames) {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(Get(kSetup, name, type, data)) << name;
        EXPECT_EQ(type, REG_DWORD) << name;
        const bool on = std::string(name) == "OpenMultiDirs";
        EXPECT_EQ(data, (std::vector<BYTE>{BYTE(on ? 1 : 0), 0, 0, 0})) << name;
    }
    // The hive stays readable by a person, and the next start reads it.
    EXPECT_NE(HiveText().find("\"WordFile\"=dword:00000001"), std::string::npos);
    ResetSearchContext();
    g_bOpenMultiDirs = 0;
    LoadSettings();
    EXPECT_EQ(g_bWordFile.load(), 1);
    EXPECT_EQ(g_conditions.MatchCase.load(), 1);
    EXPECT_EQ(g_bOpenMultiDirs.load(), 1);
}

TEST_F(SettingsStoreTest, WriteKeepsOnlyTheLowestByte)
{
    PutDword(kOption, "MatchWildcards", 2);
    PutDword(kOption, "MatchCase", 0x1FF);
    Restart();
    LoadSettings();
    EXPECT_TRUE(SaveSettings());
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(kOption, "MatchWildcards", type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{2, 0, 0, 0}));
    ASSERT_TRUE(Get(kOption, "MatchCase", type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{0xFF, 0, 0, 0}));
}

TEST_F(SettingsStoreTest, SetupKeyRefusedAtCloseStillStoresTheOptions)
{
    LoadSettings();
    g_bExcelFile = 1;
    g_bDCOpenFile = 1;
    fs::remove(m_hive);
    Restart();
    RegDenyUserKeyForTesting(kSetup);
    EXPECT_FALSE(SaveSettings());  // the caller reports it, once
    RegDenyUserKeyForTesting("");
    Restart();
    for (const char* name : kOptionNames) {
        DWORD type = 0;
        std::vector<BYTE> data;
        EXPECT_TRUE(Get(kOption, name, type, data)) << name;
    }
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(Get(kOption, "ExcelFile", type, data));
    EXPECT_EQ(data, (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_FALSE(KeyExists(kSetup));
}

TEST_F(SettingsStoreTest, OptionKeyRefusedAtCloseWritesNothing)
{
    LoadSettings();
    fs::remove(m_hive);
    Restart();
    RegDenyUserKeyForTesting(kOption);
    EXPECT_FALSE(SaveSettings());
    RegDenyUserKeyForTesting("");
    Restart();
    EXPECT_FALSE(KeyExists(kOption));
    EXPECT_FALSE(KeyExists(kSetup));  // the Setup key is not tried either
}

TEST_F(SettingsStoreTest, OptionKeyRefusedAtLoadGivesAllDefaults)
{
    PutDword(kOption, "MatchCase", 1);
    PutDword(kSetup, "DCOpenFile", 1);
    Restart();
    RegDenyUserKeyForTesting(kOption);
    SetAllOn();
    LoadSettings();
    ExpectDefaults();  // the Setup key is not read either
}

TEST_F(SettingsStoreTest, SetupKeyRefusedAtLoadKeepsTheOptionsRead)
{
    PutDword(kOption, "MatchCase", 1);
    PutDword(kOption, "ClearSeriesSpace", 0);
    PutDword(kSetup, "DCOpenFile", 1);
    Restart();
    RegDenyUserKeyForTesting(kSetup);
    SetAllOn();
    LoadSettings();
    EXPECT_EQ(g_conditions.MatchCase.load(), 1);
    EXPECT_EQ(g_conditions.ClearSeriesSpace.load(), 0);
    EXPECT_EQ(g_bWordFile.load(), 0);
    EXPECT_EQ(g_bDCOpenFile.load(), 0);
    EXPECT_EQ(g_bOpenMultiFiles.load(), 0);
}

TEST_F(SettingsStoreTest, NamesCompareWithoutRegardToCase)
{
    // A person editing the hive may change the case of a key or a name.
    PutDword("software\\varnel\\OPTION", "wordfile", 1);
    Restart();
    LoadSettings();
    EXPECT_EQ(g_bWordFile.load(), 1);
}
