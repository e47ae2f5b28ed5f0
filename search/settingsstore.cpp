// Registry persistence of the thirteen settings (see settingsstore.h).
#include "search/settingsstore.h"

#include "platform/registry.h"
#include "search/searchcontext.h"

#include <cstdint>
#include <cstring>

std::atomic<int> g_bDCOpenFile{0};
std::atomic<int> g_bOpenMultiFiles{0};
std::atomic<int> g_bOpenMultiDirs{0};

namespace {

const char* const kOptionKey = "SOFTWARE\\Varnel\\Option";
const char* const kSetupKey = "SOFTWARE\\Varnel\\Setup";

// One switch: its registry name and how to read and write it.
struct Switch {
    const char* name;
    std::atomic<std::int32_t>* matchSwitch;  // a field of g_conditions, or
    std::atomic<int>* plainSwitch;           // a process-wide int switch
    int defaultValue;

    int Get() const { return matchSwitch != nullptr ? matchSwitch->load() : plainSwitch->load(); }
    void Set(int v) const
    {
        if (matchSwitch != nullptr) *matchSwitch = v;
        else *plainSwitch = v;
    }
};

const Switch kOptionSwitches[] = {
    {"MatchCase", &g_conditions.MatchCase, nullptr, 0},
    {"MatchWholeWord", &g_conditions.MatchWholeWord, nullptr, 0},
    {"MatchWildcards", &g_conditions.MatchWildcards, nullptr, 0},
    {"MatchSoundsLike", &g_conditions.MatchSoundsLike, nullptr, 0},
    {"MatchAllWordForms", &g_conditions.MatchAllWordForms, nullptr, 0},
    {"ClearSeriesSpace", &g_conditions.ClearSeriesSpace, nullptr, 1},
    {"WordFile", nullptr, &g_bWordFile, 0},
    {"ExcelFile", nullptr, &g_bExcelFile, 0},
    {"TextFile", nullptr, &g_bTextFile, 0},
    {"HtmFile", nullptr, &g_bHtmFile, 0},
};

const Switch kSetupSwitches[] = {
    {"DCOpenFile", nullptr, &g_bDCOpenFile, 0},
    {"OpenMultiFiles", nullptr, &g_bOpenMultiFiles, 0},
    {"OpenMultiDirs", nullptr, &g_bOpenMultiDirs, 0},
};

// Opens the key, creating it when it does not exist yet and `create` is set.
HKEY OpenOrCreate(const char* path, bool create = true)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, path, &key) == ERROR_SUCCESS) return key;
    key = nullptr;
    if (!create) return nullptr;
    if (RegCreateKey(HKEY_CURRENT_USER, path, &key) == ERROR_SUCCESS) return key;
    return nullptr;
}

template <std::size_t N>
void ReadSwitches(HKEY key, const Switch (&switches)[N])
{
    for (const Switch& s : switches) {
        BYTE data[4] = {0, 0, 0, 0};
        DWORD size = sizeof data;
        DWORD type = 0;
        // The type is not examined: the switch is the first byte of the data.
        if (RegQueryValueEx(key, s.name, nullptr, &type, data, &size) == ERROR_SUCCESS && size >= 1) s.Set(data[0]);
    }
}

template <std::size_t N>
bool WriteSwitches(HKEY key, const Switch (&switches)[N])
{
    bool ok = true;
    for (const Switch& s : switches) {
        const BYTE data[4] = {static_cast<BYTE>(s.Get() & 0xFF), 0, 0, 0};
        if (RegSetValueEx(key, s.name, 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS) ok = false;
    }
    return ok;
}

}  // namespace

void LoadSettings(bool createKeys)
{
    for (const Switch& s : kOptionSwitches) s.Set(s.defaultValue);
    for (const Switch& s : kSetupSwitches) s.Set(s.defaultValue);

    HKEY option = OpenOrCreate(kOptionKey, createKeys);
    if (option == nullptr) return;
    ReadSwitches(option, kOptionSwitches);
    RegCloseKey(option);

    HKEY setup = OpenOrCreate(kSetupKey, createKeys);
    if (setup == nullptr) return;
    ReadSwitches(setup, kSetupSwitches);
    RegCloseKey(setup);
}

bool SaveSettings()
{
    bool ok = true;
    HKEY option = OpenOrCreate(kOptionKey);
    if (option == nullptr) return false;
    ok = WriteSwitches(option, kOptionSwitches) && ok;
    RegCloseKey(option);

    HKEY setup = OpenOrCreate(kSetupKey);
    if (setup == nullptr) return false;
    ok = WriteSwitches(setup, kSetupSwitches) && ok;
    RegCloseKey(setup);
    return ok;
}
