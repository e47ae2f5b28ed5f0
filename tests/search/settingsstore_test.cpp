// Persistence of the thirteen settings in the user hive: defaults on a
// first start, the first-byte rule on reading, what is written at close,
// and keys that cannot be opened or created.
#include "search/settingsstore.h"
#include "platform/registry.h"
#include "search/searchcontext.h"
#include "support/settingstable.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<BYTE> Dword(DWORD v) { return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}; }

void Put(const char* keyPath, const char* name, DWORD type, const std::vector<BYTE>& data)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKey(HKEY_CURRENT_USER, keyPath, &key), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), (LONG)ERROR_SUCCESS);
    RegCloseKey(key);
}

// The stored value with its type byte in front, or empty when there is none.
std::vector<BYTE> Get(const char* keyPath, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS) return {};
    BYTE buf[64] = {};
    DWORD size = sizeof buf, type = 0;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, buf, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return {};
    std::vector<BYTE> out{BYTE(type)};
    out.insert(out.end(), buf, buf + size);
    return out;
}

bool KeyExists(const char* keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetAll(int value)
{
    for (const SavedSwitch& s : kSavedSwitches) *s.value = value;
}

// Every setting holds its default, except those named in `changed`.
void ExpectSettings(const std::map<std::string, int>& changed = {})
{
    for (const SavedSwitch& s : kSavedSwitches) {
        const auto it = changed.find(s.name);
        EXPECT_EQ(s.value->load(), it == changed.end() ? s.byDefault : it->second) << s.name;
    }
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDenyUserKeyForTesting("");
        Restart();
        ResetSearchContext();
        SetAll(1);  // nothing may stay from before a load
    }
    void TearDown() override
    {
        RegDenyUserKeyForTesting("");
        RegSetUserHivePath((m_dir / "unused.reg").string());
        ResetSearchContext();
    }
    // A new start of the program: nothing cached from this run.
    void Restart() { RegSetUserHivePath(m_hive.string()); }

    TempDir m_tmp{"varnel-settings"};
    fs::path m_dir = m_tmp.Path(), m_hive = m_dir / "Varnel" / "user.reg";
};

}  // namespace

// Only the first byte of a value counts; its type is not examined, but a
// value of more than four bytes or of none keeps the default; names ignore
// case; a missing value keeps its default. A key that cannot be opened
// leaves its switches at their defaults, and without the Option key the
// Setup key is not read either.
TEST_F(SettingsStoreTest, ReadingTakesTheFirstByteOfValuesThatFitFromKeysThatOpen)
{
    Put(kOptionKey, "MatchCase", REG_DWORD, Dword(1));
    Put(kOptionKey, "MatchWholeWord", REG_DWORD, Dword(256));  // lowest byte 0: off
    Put(kOptionKey, "MatchWildcards", REG_DWORD, Dword(2));    // on, as 2
    Put(kOptionKey, "ExcelFile", REG_DWORD, Dword(0x12345601));
    Put(kSetupKey, "OpenMultiDirs", REG_DWORD, Dword(255));
    Put(kOptionKey, "WordFile", REG_BINARY, {0x01});
    Put(kOptionKey, "TextFile", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});      // 8 bytes: default
    Put(kOptionKey, "HtmFile", REG_SZ, {'1', 0});                           // first byte '1'
    Put(kOptionKey, "ClearSeriesSpace", REG_BINARY, {});                    // no byte: default
    Put(kSetupKey, "DCOpenFile", REG_DWORD, {1, 0, 0, 0, 0});               // over-long: default
    Put("software\\varnel\\SETUP", "openmultifiles", REG_DWORD, Dword(1));  // as a person may edit it
    Restart();
    std::map<std::string, int> read = {{"MatchCase", 1}, {"MatchWholeWord", 0}, {"MatchWildcards", 2},
                                       {"ExcelFile", 1}, {"WordFile", 1},       {"HtmFile", '1'}};
    RegDenyUserKeyForTesting(kSetupKey);  // the options read are kept
    LoadSettings();
    ExpectSettings(read);
    RegDenyUserKeyForTesting("");
    SetAll(1);
    LoadSettings();
    read.insert({{"OpenMultiDirs", 255}, {"OpenMultiFiles", 1}});
    ExpectSettings(read);
    RegDenyUserKeyForTesting(kOptionKey);  // all defaults: the Setup key is not read either
    SetAll(1);
    LoadSettings();
    ExpectSettings();
}

TEST_F(SettingsStoreTest, CloseWritesAllThirteenAsFourByteDwordsOfTheLowestByte)
{
    Put(kOptionKey, "MatchWildcards", REG_DWORD, Dword(2));
    Put(kOptionKey, "MatchCase", REG_DWORD, Dword(0x1FF));
    Restart();
    LoadSettings();
    g_bWordFile = 1;
    g_bOpenMultiDirs = 1;
    EXPECT_TRUE(SaveSettings());
    Restart();
    const std::map<std::string, int> on = {{"MatchCase", 0xFF}, {"MatchWildcards", 2}, {"ClearSeriesSpace", 1},
                                           {"WordFile", 1}, {"OpenMultiDirs", 1}};
    for (const SavedSwitch& s : kSavedSwitches) {
        const BYTE first = on.count(s.name) != 0 ? BYTE(on.at(s.name)) : 0;
        EXPECT_EQ(Get(s.key, s.name), (std::vector<BYTE>{REG_DWORD, first, 0, 0, 0})) << s.name;
    }
    // The next start reads them.
    SetAll(0);
    LoadSettings();
    ExpectSettings({{"MatchCase", 0xFF}, {"MatchWildcards", 2}, {"WordFile", 1}, {"OpenMultiDirs", 1}});
}

TEST_F(SettingsStoreTest, FirstStartAndRefusedKeysAtClose)
{
    // A first start uses the defaults and creates both keys, empty and in
    // the hive file, so that a second start finds them.
    LoadSettings();
    ExpectSettings();
    Restart();
    EXPECT_TRUE(KeyExists(kOptionKey));
    EXPECT_TRUE(KeyExists(kSetupKey));
    EXPECT_TRUE(Get(kOptionKey, "MatchCase").empty());

    // The Setup key refused: the options are still stored, and the caller
    // reports the failure once.
    g_bExcelFile = 1;
    g_bDCOpenFile = 1;
    RegDenyUserKeyForTesting(kSetupKey);
    EXPECT_FALSE(SaveSettings());
    RegDenyUserKeyForTesting("");
    Restart();
    for (const SavedSwitch& s : kSavedSwitches) EXPECT_EQ(Get(s.key, s.name).empty(), s.key == kSetupKey) << s.name;
    EXPECT_EQ(Get(kOptionKey, "ExcelFile"), (std::vector<BYTE>{REG_DWORD, 1, 0, 0, 0}));

    // The Option key refused: nothing is written, not even the Setup key.
    fs::remove(m_hive);
    Restart();
    RegDenyUserKeyForTesting(kOptionKey);
    EXPECT_FALSE(SaveSettings());
    RegDenyUserKeyForTesting("");
    Restart();
    EXPECT_FALSE(KeyExists(kOptionKey));
    EXPECT_FALSE(KeyExists(kSetupKey));
}
