// Registry: the Windows value contract, the text hive on disk, sharing the
// hive between instances (child processes here), crash safety of the write,
// and recovery from a damaged hive. The parser's round trip over arbitrary
// text is held by fuzz/reghive_fuzz.cpp.
#include "platform/registry.h"

#include "platform/reghivefile.h"
#include "tests/platform/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr LONG kOk = static_cast<LONG>(ERROR_SUCCESS);
constexpr LONG kNotFound = static_cast<LONG>(ERROR_FILE_NOT_FOUND);
const char* const kOptionKey = "SOFTWARE\\Varnel\\Option";
const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

LONG SetDword(HKEY key, const char* name, DWORD v)
{
    const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
    return RegSetValueEx(key, name, 0, REG_DWORD, data, 4);
}

// The first byte of a value read the way the settings code reads it (into
// four bytes), or -1 when the read fails.
int First(HKEY key, const char* name)
{
    BYTE buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    DWORD size = 4;
    return RegQueryValueEx(key, name, nullptr, nullptr, buf, &size) == ERROR_SUCCESS ? buf[0] : -1;
}

std::vector<BYTE> ReadBytes(HKEY key, const char* name, DWORD* type = nullptr)
{
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
    std::vector<BYTE> buf(size);
    EXPECT_EQ(RegQueryValueEx(key, name, nullptr, type, buf.data(), &size), kOk);
    return buf;
}

// Opens, or creates, a key of the user hive.
HKEY Key(const char* path, bool create = false, LONG expected = kOk)
{
    HKEY key = nullptr;
    const LONG rc = create ? RegCreateKey(HKEY_CURRENT_USER, path, &key) : RegOpenKey(HKEY_CURRENT_USER, path, &key);
    EXPECT_EQ(rc, expected) << path;
    return key;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { Restart(); }
    void TearDown() override
    {
        CRegHiveFile::SetBeforeRenameHookForTesting(nullptr);
        RegClearMachineHive();
        RegSetUserHivePath((m_dir / "unused.reg").string());
    }
    // Forget what this process cached, as a new instance would start.
    void Restart() { RegSetUserHivePath(m_hive.string()); }

    TempDir m_tmp{"varnel-reg"};
    fs::path m_dir = m_tmp.Path(), m_hive = m_dir / "cfg" / "Varnel" / "user.reg";
};

TEST_F(RegistryTest, FileFormatAndRoundTrip)
{
    EXPECT_FALSE(fs::exists(m_hive));
    Key(kOptionKey, false, kNotFound);
    std::vector<BYTE> big(300);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
    const char text[] = "C:\\dir \"q\"";
    const char lines[] = "one\ntwo";
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        const char* line;  // what the file must hold, when it is checked
    } values[] = {
        {"MatchCase", REG_DWORD, {1, 0, 0, 0}, "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\n\"MatchCase\"=dword:00000001\n"},
        {"Blob", REG_BINARY, {1, 2}, "\"Blob\"=hex:01,02\n"},
        {"Text", REG_SZ, {text, text + sizeof text}, "\"Text\"=\"C:\\\\dir \\\"q\\\"\"\n"},
        {"Multi", 7, {1, 2}, "\"Multi\"=hex(7):01,02\n"},
        {nullptr, REG_DWORD, {1, 2}, "@=hex(4):01,02\n"},
        // Values the quoted form cannot carry exactly.
        {"NoNul", REG_SZ, {'a', 'b', 'c'}, nullptr},
        {"Lines", REG_SZ, {lines, lines + sizeof lines}, nullptr},
        {"Big", REG_BINARY, big, ",\\\n  "},  // long values are wrapped
        {"Empty", REG_BINARY, {}, nullptr},
        {"Odd \"name\" \\", REG_BINARY, {1}, nullptr},
    };
    HKEY key = Key(kOptionKey, true);
    for (const auto& v : values)
        ASSERT_EQ(RegSetValueEx(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())), kOk);
    const std::string file = FileText(m_hive);
    EXPECT_EQ(file.rfind(kHeader, 0), 0u) << file;
    EXPECT_FALSE(fs::exists(m_hive.string() + ".tmp"));
    Restart();
    for (const auto& v : values) {
        const std::string name = v.name == nullptr ? "@" : v.name;
        EXPECT_TRUE(v.line == nullptr || file.find(v.line) != std::string::npos) << name << "\n" << file;
        DWORD type = 0;
        EXPECT_EQ(ReadBytes(key, v.name, &type), v.data) << name;
        EXPECT_EQ(type, v.type) << name;
    }
    // A value too long for the buffer says how long it is; a closed handle
    // is refused.
    BYTE buf[4] = {};
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "Big", nullptr, nullptr, buf, &size), static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(RegCloseKey(key), kOk);
    EXPECT_EQ(RegCloseKey(key), static_cast<LONG>(ERROR_INVALID_HANDLE));  // double close is caught
}

// Other instances (child processes) and threads of this one write at once;
// nothing is lost, and an open key follows the file without a restart.
TEST_F(RegistryTest, ConcurrentInstancesAndThreadsMerge)
{
    HKEY key = Key(kOptionKey, true);
    ASSERT_EQ(SetDword(key, "Shared", 1), kOk);
    ASSERT_EQ(First(key, "Shared"), 1);  // cached by this instance
    auto writeAll = [](HKEY k, const std::string& prefix) {
        bool ok = true;
        for (int i = 0; ok && i < 15; ++i) ok = SetDword(k, (prefix + std::to_string(i)).c_str(), DWORD(i)) == kOk;
        return ok;
    };
    std::vector<pid_t> children;
    for (int c = 0; c < 3; ++c) {
        children.push_back(fork());
        if (children.back() == 0) {
            HKEY k = nullptr;
            _exit(RegOpenKey(HKEY_CURRENT_USER, kOptionKey, &k) == kOk && (c != 0 || SetDword(k, "Shared", 0) == kOk) &&
                          writeAll(k, "c" + std::to_string(c) + "_")
                      ? 0
                      : 1);
        }
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) threads.emplace_back([&, t] { EXPECT_TRUE(writeAll(key, "t" + std::to_string(t) + "_")); });
    for (auto& th : threads) th.join();
    for (pid_t pid : children) {
        int status = 1;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(First(key, "Shared"), 0) << "the other instance's write is seen without a restart";
    ASSERT_EQ(SetDword(key, "Last", 1), kOk);  // and our next write keeps it
    Restart();
    EXPECT_EQ(First(key, "Shared"), 0);
    for (const char* prefix : {"c0_", "c1_", "c2_", "t0_", "t1_"})
        for (int i = 0; i < 15; ++i) EXPECT_EQ(First(key, (prefix + std::to_string(i)).c_str()), i) << prefix << i;
    RegCloseKey(key);
}

TEST_F(RegistryTest, CrashBeforeRenameKeepsOldHive)
{
    HKEY key = Key(kOptionKey, true);
    ASSERT_EQ(SetDword(key, "MatchCase", 1), kOk);
    const std::string before = FileText(m_hive);
    const pid_t child = fork();
    if (child == 0) {
        CRegHiveFile::SetBeforeRenameHookForTesting([] { _exit(42); });
        SetDword(key, "MatchCase", 2);
        _exit(0);  // not reached when the hook fires
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << "the write never reached the rename";
    const fs::path temp = m_hive.string() + ".tmp";
    EXPECT_NE(FileText(temp).find("dword:00000002"), std::string::npos) << "the crashed writer's file is left";
    EXPECT_EQ(FileText(m_hive), before);
    Restart();
    EXPECT_EQ(First(key, "MatchCase"), 1);
    // The next write is not confused by the stray file and removes it.
    ASSERT_EQ(SetDword(key, "WordFile", 1), kOk);
    EXPECT_FALSE(fs::exists(temp));
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedHiveIsKeptAsideAndWhatCanBeReadIsUsed)
{
    std::string damaged = kHeader +
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\n\"MatchCase\"=dword:00000001\n"
                          "\"Broken\"=dword:zz\nthis line is not a registry line\n\"WordFile\"=hex:01\n";
    damaged += std::string("\x00\x01\xff\xfe garbage \x00\n", 15);
    damaged += "\"Cut\"=hex:01,02,\\";  // a torn last line
    m_tmp.Write(m_hive, damaged);
    Restart();
    testing::internal::CaptureStderr();
    HKEY option = Key(kOptionKey);
    EXPECT_EQ(First(option, "MatchCase"), 1);
    EXPECT_EQ(First(option, "WordFile"), 1);
    EXPECT_EQ(First(option, "Broken"), -1);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("damaged"), std::string::npos);
    EXPECT_EQ(warnings.find("damaged"), warnings.rfind("damaged")) << "said once: " << warnings;
    EXPECT_EQ(FileText(m_hive), damaged) << "reading alone never touches the file";

    testing::internal::CaptureStderr();
    ASSERT_EQ(SetDword(option, "ExcelFile", 1), kOk);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(FileText(m_hive.string() + ".damaged-1"), damaged);
    // The new hive holds what could be read plus the change, and is clean:
    // a further write makes no second copy.
    Restart();
    EXPECT_EQ(First(option, "MatchCase"), 1);
    EXPECT_EQ(First(option, "ExcelFile"), 1);
    EXPECT_EQ(First(option, "Cut"), -1);
    ASSERT_EQ(SetDword(option, "TextFile", 1), kOk);
    EXPECT_FALSE(fs::exists(m_hive.string() + ".damaged-2"));
    RegCloseKey(option);
}

// A hive linked from elsewhere stays a link; a key another instance (or a
// person) removed meanwhile is made again by the next write.
TEST_F(RegistryTest, LinkedHiveAndKeyRemovedMeanwhile)
{
    const fs::path real = m_dir / "dotfiles" / "user.reg";
    m_tmp.Write(real, kHeader + "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\n");
    fs::create_directories(m_hive.parent_path());
    fs::create_symlink(real, m_hive);
    Restart();
    HKEY key = Key(kOptionKey);
    ASSERT_EQ(SetDword(key, "MatchCase", 3), kOk);
    EXPECT_TRUE(fs::is_symlink(m_hive));
    EXPECT_NE(FileText(real).find("\"MatchCase\"=dword:00000003"), std::string::npos);

    m_tmp.Write("other.reg", kHeader + "[HKEY_CURRENT_USER\\Other]\n");
    fs::rename(m_dir / "other.reg", real);
    EXPECT_EQ(First(key, "MatchCase"), -1);
    ASSERT_EQ(SetDword(key, "WordFile", 1), kOk);
    Restart();
    EXPECT_EQ(First(key, "WordFile"), 1);
    RegCloseKey(Key("Other"));
    RegCloseKey(key);
}

}  // namespace
