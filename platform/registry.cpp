// The Reg* functions over two roots: HKEY_CURRENT_USER, hive files shared
// with other instances (reghivefile.h), and HKEY_LOCAL_MACHINE, an
// in-memory hive the program may read but never change. One mutex guards
// them all, the open-key table and the test switches, so any thread may
// call.
//
// HKEY_CURRENT_USER is two files, as on Windows: SOFTWARE\Classes (the
// document types, rewritten at every start) lives in classes.reg, and
// user.reg beside it keeps the user's own settings, untouched by a start.
// Classes entries an earlier version wrote into user.reg are still read
// where classes.reg has none.
#include "platform/registry.h"

#include "platform/reghive.h"
#include "platform/reghivefile.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

struct CRegKeyHandle {
    bool machine = false;
    bool predefined = false;
    std::string path;  // relative to the root; "" is the root
};

namespace {

CRegKeyHandle g_currentUserRoot{false, true, {}};
CRegKeyHandle g_localMachineRoot{true, true, {}};

struct CRegistryState {
    std::mutex mutex;
    CRegHiveFile user{"HKEY_CURRENT_USER"};
    CRegHiveFile classes{"HKEY_CURRENT_USER", "classes.reg"};
    CRegHive machine{"HKEY_LOCAL_MACHINE"};
    std::set<std::string> deniedUserKeys;  // folded paths
    std::set<const CRegKeyHandle*> openKeys;
};

CRegistryState& State()
{
    // Never destroyed: a key closed by a static destructor at exit must
    // still find the table.
    static CRegistryState* state = new CRegistryState;
    return *state;
}

constexpr LONG Err(DWORD code)
{
    return static_cast<LONG>(code);
}

bool KnownHandle(const CRegistryState& st, HKEY key)
{
    return key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE || st.openKeys.count(key) != 0;
}

// The full path of lpSubKey below an open key, or false when the result is
// not a valid key path (empty names, over-long, control characters).
bool JoinKeyPath(const CRegKeyHandle& base, const char* subKey, std::string& out)
{
    std::string_view sub = subKey == nullptr ? std::string_view() : std::string_view(subKey);
    sub = CRegHive::TrimKeyPath(sub);
    if (base.path.empty()) out = std::string(sub);
    else if (sub.empty()) out = base.path;
    else out = base.path + "\\" + std::string(sub);
    return CRegHive::ValidKeyPath(out);
}

HKEY NewHandle(CRegistryState& st, bool machine, const std::string& path)
{
    auto* key = new CRegKeyHandle{machine, false, path};
    st.openKeys.insert(key);
    return key;
}

bool Denied(const CRegistryState& st, const std::string& path)
{
    return st.deniedUserKeys.count(CRegHive::Fold(path)) != 0;
}

// Whether a user key path is SOFTWARE\Classes or lies below it.
bool InClasses(const std::string& path)
{
    static const std::string kPrefix = "software\\classes";
    const std::string folded = CRegHive::Fold(path);
    return folded.compare(0, kPrefix.size(), kPrefix) == 0 &&
           (folded.size() == kPrefix.size() || folded[kPrefix.size()] == '\\');
}

// The file that holds (or will hold) a user key.
CRegHiveFile& UserFileFor(CRegistryState& st, const std::string& path)
{
    return InClasses(path) ? st.classes : st.user;
}

// A user key exists in either file: the classes file holds SOFTWARE and
// SOFTWARE\Classes as parents of its keys, and user.reg may hold classes
// entries of an earlier version.
bool UserKeyExists(CRegistryState& st, const std::string& path)
{
    st.user.Refresh();
    st.classes.Refresh();
    return st.classes.Hive().KeyExists(path) || st.user.Hive().KeyExists(path);
}

}  // namespace

HKEY const HKEY_CURRENT_USER = &g_currentUserRoot;
HKEY const HKEY_LOCAL_MACHINE = &g_localMachineRoot;

LONG RegOpenKey(HKEY hKey, const char* lpSubKey, HKEY* phkResult)
{
    if (phkResult == nullptr) return Err(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (!KnownHandle(st, hKey)) return Err(ERROR_INVALID_HANDLE);
    std::string path;
    if (!JoinKeyPath(*hKey, lpSubKey, path)) return Err(ERROR_BADKEY);
    if (hKey->machine) {
        if (!st.machine.KeyExists(path)) return Err(ERROR_FILE_NOT_FOUND);
    } else {
        if (Denied(st, path)) return Err(ERROR_ACCESS_DENIED);
        if (!UserKeyExists(st, path)) return Err(ERROR_FILE_NOT_FOUND);
    }
    *phkResult = NewHandle(st, hKey->machine, path);
    return Err(ERROR_SUCCESS);
}

LONG RegCreateKey(HKEY hKey, const char* lpSubKey, HKEY* phkResult)
{
    if (phkResult == nullptr) return Err(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (!KnownHandle(st, hKey)) return Err(ERROR_INVALID_HANDLE);
    if (hKey->machine) return Err(ERROR_ACCESS_DENIED);
    std::string path;
    if (!JoinKeyPath(*hKey, lpSubKey, path)) return Err(ERROR_BADKEY);
    if (Denied(st, path)) return Err(ERROR_ACCESS_DENIED);
    CRegHiveFile& file = UserFileFor(st, path);
    file.Refresh();
    if (!file.Hive().KeyExists(path)) {
        const LONG rc = file.Update([&](CRegHive& hive, bool& changed) {
            if (!hive.KeyExists(path)) {
                if (!hive.CreateKey(path)) return Err(ERROR_BADKEY);
                changed = true;
            }
            return Err(ERROR_SUCCESS);
        });
        if (rc != Err(ERROR_SUCCESS)) return rc;
    }
    *phkResult = NewHandle(st, false, path);
    return Err(ERROR_SUCCESS);
}

LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData)
{
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return Err(ERROR_INVALID_PARAMETER);
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (!KnownHandle(st, hKey)) return Err(ERROR_INVALID_HANDLE);
    const std::string_view name = lpValueName == nullptr ? std::string_view() : lpValueName;
    const CRegValue* value = nullptr;
    if (hKey->machine) {
        value = st.machine.FindValue(hKey->path, name);
    } else {
        // Classes values of an earlier version may still be in user.reg.
        if (InClasses(hKey->path)) {
            st.classes.Refresh();
            value = st.classes.Hive().FindValue(hKey->path, name);
        }
        if (value == nullptr) {
            st.user.Refresh();
            value = st.user.Hive().FindValue(hKey->path, name);
        }
    }
    if (value == nullptr) return Err(ERROR_FILE_NOT_FOUND);
    if (lpType != nullptr) *lpType = value->type;
    // Values are capped far below 4 GiB, so the size always fits a DWORD.
    const auto size = static_cast<DWORD>(value->data.size());
    if (lpData == nullptr) {
        if (lpcbData != nullptr) *lpcbData = size;
        return Err(ERROR_SUCCESS);
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return Err(ERROR_MORE_DATA);
    }
    if (size != 0) std::memcpy(lpData, value->data.data(), size);
    *lpcbData = size;
    return Err(ERROR_SUCCESS);
}

LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                   DWORD cbData)
{
    if (lpData == nullptr && cbData != 0) return Err(ERROR_INVALID_PARAMETER);
    const std::string_view name = lpValueName == nullptr ? std::string_view() : lpValueName;
    if (cbData > CRegHive::kMaxValueBytes || !CRegHive::ValidValueName(name)) return Err(ERROR_INVALID_PARAMETER);
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (!KnownHandle(st, hKey)) return Err(ERROR_INVALID_HANDLE);
    if (hKey->machine) return Err(ERROR_ACCESS_DENIED);
    const std::string path = hKey->path;
    return UserFileFor(st, path).Update([&](CRegHive& hive, bool& changed) {
        const CRegValue* old = hive.FindValue(path, name);
        if (old != nullptr && old->type == dwType && old->data.size() == cbData &&
            (cbData == 0 || std::memcmp(old->data.data(), lpData, cbData) == 0))
            return Err(ERROR_SUCCESS);
        // A key another instance deleted meanwhile is made again: the
        // caller holds it open and means to store the value.
        if (!hive.SetValue(path, name, dwType, lpData, cbData)) return Err(ERROR_INVALID_PARAMETER);
        changed = true;
        return Err(ERROR_SUCCESS);
    });
}

LONG RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) return Err(ERROR_SUCCESS);
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (st.openKeys.erase(hKey) == 0) return Err(ERROR_INVALID_HANDLE);
    delete hKey;
    return Err(ERROR_SUCCESS);
}

void RegSetUserHivePath(const std::string& path)
{
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    st.user.SetPath(path);
    // The classes file stays beside the settings file.
    const std::size_t slash = path.rfind('/');
    st.classes.SetPath(path.empty() ? std::string() : path.substr(0, slash + 1) + "classes.reg");
}

std::string RegUserHivePath()
{
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    return st.user.Path();
}

std::string RegClassesHivePath()
{
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    return st.classes.Path();
}

bool RegLoadMachineHive(const std::string& path)
{
    std::string bytes;
    if (CRegHiveFile::ReadFile(path, bytes, nullptr) != 0) return false;
    CRegHive loaded("HKEY_LOCAL_MACHINE");
    const CRegHive::ParseReport report = loaded.Parse(bytes);
    if (report.Damaged()) {
        // A machine hive is a fixture or an installer's record: half of one
        // would describe an installation that does not exist.
        std::fprintf(stderr, "Varnel: the machine hive %s is damaged and was not loaded\n", path.c_str());
        return false;
    }
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    st.machine = std::move(loaded);
    return true;
}

void RegRegisterMachineKey(const char* subKey)
{
    if (subKey == nullptr) return;
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    st.machine.CreateKey(subKey);
}

void RegClearMachineHive()
{
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    st.machine.Clear();
}

void RegDenyUserKeyForTesting(const std::string& subKey)
{
    CRegistryState& st = State();
    std::lock_guard lock(st.mutex);
    if (subKey.empty()) st.deniedUserKeys.clear();
    else st.deniedUserKeys.insert(CRegHive::Fold(CRegHive::TrimKeyPath(subKey)));
}
