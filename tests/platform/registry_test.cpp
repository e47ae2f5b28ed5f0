// Registry: the Windows value contract, the text hive on disk, sharing the
// hive between instances (child processes here), crash safety of the write,
// recovery from a damaged hive, the refused key and the read-only machine
// hive.
#include "platform/registry.h"

#include "platform/reghive.h"
#include "platform/reghivefile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& p, const std::string& text)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

LONG SetDword(HKEY key, const char* name, DWORD v)
{
    const BYTE data[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                          static_cast<BYTE>(v >> 24)};
    return RegSetValueEx(key, name, 0, REG_DWORD, data, 4);
}

// Reads a value the way the settings code does: into a 4-byte buffer.
LONG ReadSwitch(HKEY key, const char* name, DWORD& first, DWORD& size)
{
    BYTE buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = 4;
    const LONG rc = RegQueryValueEx(key, name, nullptr, nullptr, buf, &size);
    first = buf[0];
    return rc;
}

std::vector<BYTE> ReadBytes(HKEY key, const char* name, DWORD* type = nullptr)
{
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> buf(size);
    EXPECT_EQ(RegQueryValueEx(key, name, nullptr, type, buf.data(), &size), (LONG)ERROR_SUCCESS);
    buf.resize(size);
    return buf;
}

HKEY Create(const char* path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKey(HKEY_CURRENT_USER, path, &key), (LONG)ERROR_SUCCESS) << path;
    return key;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/varnel-reg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_hive = m_dir / "cfg" / "Varnel" / "user.reg";
        RegSetUserHivePath(m_hive.string());
        RegDenyUserKeyForTesting("");
    }
    void TearDown() override
    {
        CRegHiveFile::SetBeforeRenameHookForTesting(nullptr);
        RegDenyUserKeyForTesting("");
        RegClearMachineHive();
        RegSetUserHivePath((m_dir / "unused.reg").string());
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    // Forget what this process cached, as a new instance would start.
    void Restart() { RegSetUserHivePath(m_hive.string()); }

    fs::path m_dir;
    fs::path m_hive;
};

TEST_F(RegistryTest, SettingsByteRules)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(SetDword(key, "MatchCase", 256), (LONG)ERROR_SUCCESS);
    const BYTE one = 1;
    ASSERT_EQ(RegSetValueEx(key, "WordFile", 0, REG_BINARY, &one, 1), (LONG)ERROR_SUCCESS);
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(RegSetValueEx(key, "ExcelFile", 0, REG_DWORD, eight, 8), (LONG)ERROR_SUCCESS);
    Restart();  // the rules must hold for values read back from the file

    DWORD first = 0, size = 0, type = 0;
    EXPECT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 0u);  // 256: lowest byte 0
    EXPECT_EQ(size, 4u);

    BYTE buf[4] = {0, 0, 0, 0};
    size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "WordFile", nullptr, &type, buf, &size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(type, REG_BINARY);

    size = 4;
    EXPECT_EQ(RegQueryValueEx(key, "ExcelFile", nullptr, &type, buf, &size), (LONG)ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, REG_DWORD);

    size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "ExcelFile", nullptr, nullptr, nullptr, &size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);

    size = 4;
    EXPECT_EQ(ReadSwitch(key, "NoSuchValue", first, size), (LONG)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), (LONG)ERROR_SUCCESS);
}

TEST_F(RegistryTest, ArgumentAndHandleContract)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    DWORD size = 4;
    BYTE buf[4];
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueEx(key, "x", &reserved, nullptr, buf, &size), (LONG)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, "x", nullptr, nullptr, buf, nullptr), (LONG)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "x", 0, REG_BINARY, nullptr, 3), (LONG)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "bad\nname", 0, REG_BINARY, buf, 1), (LONG)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE", nullptr), (LONG)ERROR_INVALID_PARAMETER);

    HKEY bad = reinterpret_cast<HKEY>(0x1234);
    HKEY out = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\\\Varnel", &out), (LONG)ERROR_BADKEY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Nope", &out), (LONG)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(RegCloseKey(bad), (LONG)ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), (LONG)ERROR_INVALID_HANDLE);  // double close is caught
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), (LONG)ERROR_SUCCESS);

    // A key opened relative to another one, with a trailing backslash.
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "software\\", &software), (LONG)ERROR_SUCCESS);
    HKEY option = nullptr;
    ASSERT_EQ(RegOpenKey(software, "VARNEL\\option", &option), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(SetDword(option, "A", 7), (LONG)ERROR_SUCCESS);
    RegCloseKey(option);
    RegCloseKey(software);
}

TEST_F(RegistryTest, FirstStartCreatesKeysAndFolder)
{
    EXPECT_FALSE(fs::exists(m_hive));
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &out), (LONG)ERROR_FILE_NOT_FOUND);
    HKEY option = Create("SOFTWARE\\Varnel\\Option");
    HKEY setup = Create("SOFTWARE\\Varnel\\Setup");
    ASSERT_TRUE(fs::exists(m_hive));
    const std::string text = ReadText(m_hive);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Setup]\n"), std::string::npos);
    // Parents exist too, and key paths ignore case.
    Restart();
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "software\\VARNEL", &out), (LONG)ERROR_SUCCESS);
    RegCloseKey(out);
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "Software\\Varnel\\OPTION", &out), (LONG)ERROR_SUCCESS);
    RegCloseKey(out);
    RegCloseKey(option);
    RegCloseKey(setup);
    EXPECT_FALSE(fs::exists(m_hive.string() + ".tmp"));
}

TEST_F(RegistryTest, FileFormatAndRoundTrip)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    ASSERT_EQ(SetDword(key, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    const BYTE blob[2] = {1, 2};
    ASSERT_EQ(RegSetValueEx(key, "Blob", 0, REG_BINARY, blob, 2), (LONG)ERROR_SUCCESS);
    const char text[] = "C:\\dir \"q\"";
    ASSERT_EQ(RegSetValueEx(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              (LONG)ERROR_SUCCESS);
    // Values the quoted form cannot carry exactly.
    const BYTE noNul[3] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueEx(key, "NoNul", 0, REG_SZ, noNul, 3), (LONG)ERROR_SUCCESS);
    const char twoLines[] = "one\ntwo";
    ASSERT_EQ(RegSetValueEx(key, "Lines", 0, REG_SZ, reinterpret_cast<const BYTE*>(twoLines),
                            sizeof twoLines),
              (LONG)ERROR_SUCCESS);
    std::vector<BYTE> big(300);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueEx(key, "Big", 0, REG_BINARY, big.data(), 300), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Empty", 0, REG_BINARY, nullptr, 0), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Multi", 0, 7, blob, 2), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, nullptr, 0, REG_DWORD, blob, 2), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Odd \"name\" \\", 0, REG_BINARY, blob, 1), (LONG)ERROR_SUCCESS);

    const std::string file = ReadText(m_hive);
    EXPECT_NE(file.find("\"MatchCase\"=dword:00000001\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Blob\"=hex:01,02\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Text\"=\"C:\\\\dir \\\"q\\\"\"\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Multi\"=hex(7):01,02\n"), std::string::npos) << file;
    EXPECT_NE(file.find("@=hex(4):01,02\n"), std::string::npos) << file;
    EXPECT_NE(file.find(",\\\n  "), std::string::npos) << "long values are wrapped";

    Restart();
    DWORD type = 0;
    EXPECT_EQ(ReadBytes(key, "matchcase", &type), (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(ReadBytes(key, "Text", &type), std::vector<BYTE>(text, text + sizeof text));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(ReadBytes(key, "NoNul", &type), std::vector<BYTE>(noNul, noNul + 3));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(ReadBytes(key, "Lines"), std::vector<BYTE>(twoLines, twoLines + sizeof twoLines));
    EXPECT_EQ(ReadBytes(key, "Big"), big);
    DWORD size = 99;
    EXPECT_EQ(RegQueryValueEx(key, "Empty", nullptr, &type, nullptr, &size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ReadBytes(key, "Multi", &type), (std::vector<BYTE>{1, 2}));
    EXPECT_EQ(type, 7u);
    EXPECT_EQ(ReadBytes(key, nullptr, &type), (std::vector<BYTE>{1, 2}));
    EXPECT_EQ(ReadBytes(key, "Odd \"name\" \\"), (std::vector<BYTE>{1}));

    // Writing the same value again leaves the file alone; a different one
    // is written, and what is written reads back to the same file text.
    struct stat before {};
    stat(m_hive.c_str(), &before);
    EXPECT_EQ(SetDword(key, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    struct stat after {};
    stat(m_hive.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    CRegHive reparsed("HKEY_CURRENT_USER");
    EXPECT_FALSE(reparsed.Parse(file).Damaged());
    EXPECT_EQ(reparsed.Serialize(), file);
    RegCloseKey(key);
}

TEST_F(RegistryTest, SecondInstanceSeesWrites)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    ASSERT_EQ(SetDword(key, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    DWORD first = 0, size = 0;
    ASSERT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_SUCCESS);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HKEY k = nullptr;
        const bool ok = RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &k) == ERROR_SUCCESS &&
                        SetDword(k, "MatchCase", 0) == ERROR_SUCCESS &&
                        SetDword(k, "WordFile", 1) == ERROR_SUCCESS;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // No restart: the open key follows the file.
    EXPECT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(ReadSwitch(key, "WordFile", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    // Our next write keeps the other instance's value.
    ASSERT_EQ(SetDword(key, "HtmFile", 1), (LONG)ERROR_SUCCESS);
    Restart();
    EXPECT_EQ(ReadSwitch(key, "WordFile", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentInstancesAndThreadsMerge)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    constexpr int kChildren = 3;
    constexpr int kValues = 15;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY k = nullptr;
            bool ok = RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &k) == ERROR_SUCCESS;
            for (int i = 0; ok && i < kValues; ++i) {
                const std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
                ok = SetDword(k, name.c_str(), static_cast<DWORD>(i)) == ERROR_SUCCESS;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    // Meanwhile two threads of this instance write too.
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([key, t] {
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_EQ(SetDword(key, name.c_str(), static_cast<DWORD>(i)), (LONG)ERROR_SUCCESS);
            }
        });
    for (auto& th : threads)
        th.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Restart();
    for (const char* prefix : {"c0_", "c1_", "c2_", "t0_", "t1_"}) {
        for (int i = 0; i < kValues; ++i) {
            const std::string name = prefix + std::to_string(i);
            DWORD first = 0, size = 0;
            EXPECT_EQ(ReadSwitch(key, name.c_str(), first, size), (LONG)ERROR_SUCCESS) << name;
            EXPECT_EQ(first, static_cast<DWORD>(i)) << name;
        }
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, CrashBeforeRenameKeepsOldHive)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    ASSERT_EQ(SetDword(key, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    const std::string before = ReadText(m_hive);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CRegHiveFile::SetBeforeRenameHookForTesting([] { _exit(42); });
        SetDword(key, "MatchCase", 2);
        _exit(0);  // not reached when the hook fires
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 42) << "the write never reached the rename";

    const fs::path temp = m_hive.string() + ".tmp";
    EXPECT_TRUE(fs::exists(temp)) << "the crashed writer's complete temporary file is left";
    EXPECT_NE(ReadText(temp).find("dword:00000002"), std::string::npos);
    EXPECT_EQ(ReadText(m_hive), before);

    Restart();
    DWORD first = 0, size = 0;
    EXPECT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    // The next write is not confused by the stray file and removes it.
    ASSERT_EQ(SetDword(key, "WordFile", 1), (LONG)ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(temp));
    Restart();
    EXPECT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    EXPECT_FALSE(fs::exists(m_hive.string() + ".damaged-1"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedHiveIsKeptAsideAndWhatCanBeReadIsUsed)
{
    fs::create_directories(m_hive.parent_path());
    std::string damaged =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Option]\n"
        "\"MatchCase\"=dword:00000001\n"
        "\"Broken\"=dword:zz\n"
        "this line is not a registry line\n"
        "\"WordFile\"=hex:01\n";
    damaged += std::string("\x00\x01\xff\xfe garbage \x00\n", 15);
    damaged += "[HKEY_CURRENT_USER\\SOFTWARE\\Varnel\\Setup]\n\"DCOpenFile\"=dword:00000001\n";
    damaged += "\"Cut\"=hex:01,02,\\";  // a torn last line
    WriteText(m_hive, damaged);
    Restart();

    testing::internal::CaptureStderr();
    HKEY option = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &option), (LONG)ERROR_SUCCESS);
    DWORD first = 0, size = 0;
    EXPECT_EQ(ReadSwitch(option, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(ReadSwitch(option, "WordFile", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(ReadSwitch(option, "Broken", first, size), (LONG)ERROR_FILE_NOT_FOUND);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("damaged"), std::string::npos);
    EXPECT_EQ(warnings.find("damaged"), warnings.rfind("damaged")) << "said once: " << warnings;

    // Reading alone never touches the file.
    EXPECT_EQ(ReadText(m_hive), damaged);
    EXPECT_FALSE(fs::exists(m_hive.string() + ".damaged-1"));

    testing::internal::CaptureStderr();
    ASSERT_EQ(SetDword(option, "ExcelFile", 1), (LONG)ERROR_SUCCESS);
    testing::internal::GetCapturedStderr();
    const fs::path copy = m_hive.string() + ".damaged-1";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(ReadText(copy), damaged);

    // The new hive holds what could be read plus the change, and is clean:
    // a further write makes no second copy.
    Restart();
    EXPECT_EQ(ReadSwitch(option, "MatchCase", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(ReadSwitch(option, "ExcelFile", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 1u);
    HKEY setup = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Setup", &setup), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(ReadSwitch(setup, "DCOpenFile", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(ReadSwitch(setup, "Cut", first, size), (LONG)ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(option, "TextFile", 1), (LONG)ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(m_hive.string() + ".damaged-2"));
    CRegHive check("HKEY_CURRENT_USER");
    EXPECT_FALSE(check.Parse(ReadText(m_hive)).Damaged());
    RegCloseKey(option);
    RegCloseKey(setup);
}

TEST_F(RegistryTest, HiveWithoutHeaderOrOversizedIsKeptAside)
{
    fs::create_directories(m_hive.parent_path());
    WriteText(m_hive, "[HKEY_CURRENT_USER\\A]\n\"V\"=dword:00000005\n");
    Restart();
    testing::internal::CaptureStderr();
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "A", &a), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(SetDword(a, "W", 1), (LONG)ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(m_hive.string() + ".damaged-1"));
    DWORD first = 0, size = 0;
    Restart();
    EXPECT_EQ(ReadSwitch(a, "V", first, size), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(first, 5u);

    // Over the size cap: nothing is read, the file is kept whole.
    {
        std::ofstream out(m_hive, std::ios::binary | std::ios::trunc);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
        const std::string filler(1 << 20, ';');
        for (int i = 0; i < 17; ++i)
            out << filler << '\n';
    }
    const auto bigSize = fs::file_size(m_hive);
    Restart();
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "A", &out), (LONG)ERROR_FILE_NOT_FOUND);
    HKEY b = Create("B");
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(fs::exists(m_hive.string() + ".damaged-2"));
    EXPECT_EQ(fs::file_size(m_hive.string() + ".damaged-2"), bigSize);
    EXPECT_LT(fs::file_size(m_hive), 1000u);
    RegCloseKey(a);
    RegCloseKey(b);
}

TEST_F(RegistryTest, UnusableHivePathFailsWithoutHarm)
{
    fs::create_directories(m_hive);  // a folder where the file should be
    HKEY key = nullptr;
    EXPECT_NE(RegCreateKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Option", &key), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);
    EXPECT_TRUE(fs::is_directory(m_hive));

    if (geteuid() != 0) {
        fs::remove(m_hive);
        WriteText(m_hive, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n");
        chmod(m_hive.c_str(), 0);
        Restart();
        // An unreadable hive is never replaced: its contents are unknown.
        EXPECT_NE(RegCreateKey(HKEY_CURRENT_USER, "B", &key), (LONG)ERROR_SUCCESS);
        chmod(m_hive.c_str(), 0600);
        EXPECT_EQ(ReadText(m_hive), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n");
    }
}

TEST_F(RegistryTest, SymlinkedHiveStaysALink)
{
    // Managed configuration folders link the hive from elsewhere.
    const fs::path real = m_dir / "dotfiles" / "user.reg";
    fs::create_directories(real.parent_path());
    fs::create_directories(m_hive.parent_path());
    WriteText(real, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n");
    fs::create_symlink(real, m_hive);
    Restart();
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "A", &a), (LONG)ERROR_SUCCESS);
    ASSERT_EQ(SetDword(a, "V", 3), (LONG)ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(m_hive));
    EXPECT_NE(ReadText(real).find("\"V\"=dword:00000003"), std::string::npos);
    RegCloseKey(a);
}

TEST_F(RegistryTest, KeyRemovedMeanwhileIsMadeAgainOnWrite)
{
    HKEY key = Create("SOFTWARE\\Varnel\\Option");
    ASSERT_EQ(SetDword(key, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    // Another instance (or a person) leaves a hive without the key.
    const std::string other = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Other]\n";
    WriteText(m_hive.string() + ".new", other);
    fs::rename(m_hive.string() + ".new", m_hive);
    DWORD first = 0, size = 0;
    EXPECT_EQ(ReadSwitch(key, "MatchCase", first, size), (LONG)ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(key, "WordFile", 1), (LONG)ERROR_SUCCESS);
    Restart();
    EXPECT_EQ(ReadSwitch(key, "WordFile", first, size), (LONG)ERROR_SUCCESS);
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "Other", &out), (LONG)ERROR_SUCCESS);
    RegCloseKey(out);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeniedUserKey)
{
    HKEY option = Create("SOFTWARE\\Varnel\\Option");
    RegDenyUserKeyForTesting("SOFTWARE\\Varnel\\Setup");
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel\\Setup", &out), (LONG)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKey(HKEY_CURRENT_USER, "software\\varnel\\SETUP", &out), (LONG)ERROR_ACCESS_DENIED);
    HKEY varnel = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Varnel", &varnel), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKey(varnel, "Setup", &out), (LONG)ERROR_ACCESS_DENIED);
    EXPECT_EQ(out, nullptr);
    // Other keys are unaffected, and the refusal wrote nothing.
    EXPECT_EQ(SetDword(option, "MatchCase", 1), (LONG)ERROR_SUCCESS);
    EXPECT_EQ(ReadText(m_hive).find("Setup"), std::string::npos);

    RegDenyUserKeyForTesting("");
    EXPECT_EQ(RegCreateKey(varnel, "Setup", &out), (LONG)ERROR_SUCCESS);
    RegCloseKey(out);
    RegCloseKey(varnel);
    RegCloseKey(option);
}

TEST_F(RegistryTest, MachineHiveIsReadOnly)
{
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Word");
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Excel");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\11.0", &key), (LONG)ERROR_SUCCESS);
    HKEY word = nullptr;
    EXPECT_EQ(RegOpenKey(key, "word", &word), (LONG)ERROR_SUCCESS);
    RegCloseKey(word);
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\10.0\\Word", &out),
              (LONG)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\10.0", &out),
              (LONG)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKey(key, "Word", &out), (LONG)ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(key, "X", 1), (LONG)ERROR_ACCESS_DENIED);
    // The user hive is separate.
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Office\\11.0", &out),
              (LONG)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(m_hive));
    RegCloseKey(key);

    RegClearMachineHive();
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\11.0", &out),
              (LONG)ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, LoadMachineHive)
{
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Word");
    const fs::path hive = m_dir / "machine.reg";
    WriteText(hive,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\9.0\\Word]\r\n"
              "\"Path\"=\"C:\\\\Office\"\r\n\r\n"
              "[HKLM\\SOFTWARE\\Microsoft\\Office\\11.0\\Excel]\r\n");
    ASSERT_TRUE(RegLoadMachineHive(hive.string()));
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\11.0\\Word", &out),
              (LONG)ERROR_FILE_NOT_FOUND)
        << "loading replaces the hive";
    ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\9.0\\Word", &out),
              (LONG)ERROR_SUCCESS);
    const char expected[] = "C:\\Office";
    EXPECT_EQ(ReadBytes(out, "Path"), std::vector<BYTE>(expected, expected + sizeof expected));
    RegCloseKey(out);
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\11.0\\Excel", &out),
              (LONG)ERROR_SUCCESS);
    RegCloseKey(out);

    // A broken or missing machine hive changes nothing.
    const fs::path bad = m_dir / "bad.reg";
    WriteText(bad, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RegLoadMachineHive(bad.string()));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(RegLoadMachineHive((m_dir / "missing.reg").string()));
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\9.0\\Word", &out),
              (LONG)ERROR_SUCCESS);
    RegCloseKey(out);
}

TEST_F(RegistryTest, DefaultHivePathFollowsXdg)
{
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = oldXdg == nullptr ? std::string() : oldXdg;
    setenv("XDG_CONFIG_HOME", "/some/config", 1);
    RegSetUserHivePath("");
    EXPECT_EQ(RegUserHivePath(), "/some/config/Varnel/user.reg");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as the XDG rules say
    RegSetUserHivePath("");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        EXPECT_EQ(RegUserHivePath(), std::string(home) + "/.config/Varnel/user.reg");
    }
    if (oldXdg == nullptr)
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    Restart();
    EXPECT_EQ(RegUserHivePath(), m_hive.string());
}

// The parser on its own, with input a person or a crash could produce.
TEST(RegHiveParse, HostileInputIsBoundedAndCounted)
{
    CRegHive hive("HKEY_CURRENT_USER");
    std::string text = "Windows Registry Editor Version 5.00\n";
    text += "\"Orphan\"=dword:00000001\n";                        // before any key
    text += "[HKEY_CURRENT_USER\\" + std::string(2000, 'k') + "]\n";  // path too long
    text += "\"Lost\"=dword:00000001\n";                          // under that bad key
    text += "[HKEY_CURRENT_USER\\Ok]\n";
    std::string big = "\"Big\"=hex:";
    for (std::size_t i = 0; i <= CRegHive::kMaxValueBytes; ++i)
        big += "00,";
    text += big + "00\n";  // one byte over the value cap
    text += "\"Dw\"=dword:123456789\n";   // nine digits
    text += "\"Esc\"=\"bad \\n escape\"\n";
    text += "\"Good\"=hex:0a,\\\n  0b,\\\n  0c\n";
    text += "[-HKEY_CURRENT_USER\\Gone]\n";
    text += "[HKEY_LOCAL_MACHINE\\Other]\n\"Foreign\"=dword:00000001\n";
    const CRegHive::ParseReport report = hive.Parse(text);
    EXPECT_TRUE(report.headerOk);
    EXPECT_EQ(report.badLines, 8u);
    EXPECT_TRUE(report.Damaged());
    const CRegValue* good = hive.FindValue("OK", "good");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->data, (std::vector<BYTE>{0x0a, 0x0b, 0x0c}));
    EXPECT_EQ(hive.FindValue("Ok", "Big"), nullptr);
    EXPECT_FALSE(hive.KeyExists("Other"));

    // Empty and blank files are an empty hive, not damage.
    EXPECT_FALSE(hive.Parse("").Damaged());
    EXPECT_FALSE(hive.Parse("\n \r\n").Damaged());
    // Binary garbage.
    EXPECT_TRUE(hive.Parse(std::string("\x7f" "ELF\x02\x01\x01\x00\x00", 9)).Damaged());
}

TEST(RegHiveParse, Utf16HiveAsTheRegistryEditorSavesIt)
{
    const std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Caf\xC3\xA9]\r\n"
        "\"N\"=dword:00000002\r\n";
    std::string utf16 = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3) {  // é
            utf16 += '\xE9';
            utf16 += '\0';
            ++i;
            continue;
        }
        utf16 += static_cast<char>(c);
        utf16 += '\0';
    }
    CRegHive hive("HKEY_CURRENT_USER");
    EXPECT_FALSE(hive.Parse(utf16).Damaged());
    const CRegValue* v = hive.FindValue("Caf\xC3\xA9", "n");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, (std::vector<BYTE>{2, 0, 0, 0}));
}

}  // namespace

namespace {

// Whatever a hive file holds, what the program writes back must read again
// without damage and write again to the same text: the writer never
// produces something its own reader rejects.
TEST(RegHiveParse, WhatIsWrittenAlwaysReadsBackClean)
{
    const std::string seed =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A\\B]\n"
        "\"x\"=dword:00000001\n\"y\"=hex:01,02,\\\n  03\n@=\"t\\\\ \\\"q\\\"\"\n"
        "\"z\"=hex(7):00\n[-HKEY_CURRENT_USER\\C]\n\"e\"=hex:\n";
    const char alphabet[] = "[]\\\"@=:,-;\n\r\t hexdwordHKEY_CURRENT_USER0123456789abcdef()\x00\xff\xc3";
    std::uint32_t rng = 12345;
    auto next = [&rng] {
        rng = rng * 1664525u + 1013904223u;
        return rng >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text = seed;
        const int edits = 1 + static_cast<int>(next() % 6);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = next() % (text.size() + 1);
            const char c = alphabet[next() % (sizeof alphabet - 1)];
            switch (next() % 3) {
            case 0: text.insert(at, 1, c); break;
            case 1: if (at < text.size()) text.erase(at, 1); break;
            default: if (at < text.size()) text[at] = c; break;
            }
        }
        CRegHive hive("HKEY_CURRENT_USER");
        hive.Parse(text);
        const std::string written = hive.Serialize();
        CRegHive again("HKEY_CURRENT_USER");
        ASSERT_FALSE(again.Parse(written).Damaged()) << "round " << round << "\n" << written;
        ASSERT_EQ(again.Serialize(), written) << "round " << round;
    }
}

}  // namespace
