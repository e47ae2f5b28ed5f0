// The thirteen user settings and their registry persistence: the six match
// switches and the four file categories (in the search context) and the
// three result-list switches defined here. They are read once at start and
// written once at close, under HKEY_CURRENT_USER\SOFTWARE\Varnel\Option and
// ...\Setup, each as a 4-byte REG_DWORD whose first byte carries the switch.
// The window and varnel-find share this code, so both see the same values.
#pragma once

#include <atomic>

extern std::atomic<int> g_bDCOpenFile;
extern std::atomic<int> g_bOpenMultiFiles;
extern std::atomic<int> g_bOpenMultiDirs;

// Sets every switch to its default (clearing of spaces on, all else off),
// then reads the Option key and the Setup key. A key that cannot be opened
// or created leaves its switches (and, for Option, the Setup ones too) at
// their defaults; a missing, over-long or unreadable value keeps its
// default. With `createKeys` false nothing is created or written: a
// missing key leaves its switches at their defaults (varnel-find only reads
// the window's settings).
void LoadSettings(bool createKeys = true);

// Writes all thirteen values. Returns false when anything could not be
// written (a key unavailable or a value refused); the remaining values are
// still written. The caller reports the failure.
bool SaveSettings();
