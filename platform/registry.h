// The registry, kept in hive files in the text format of a registry export
// ("Windows Registry Editor Version 5.00"), readable and editable by a
// person. The Reg* functions keep their Windows contracts: typed values,
// ERROR_SUCCESS or an error code, and a read into a too small buffer fails
// with ERROR_MORE_DATA.
//
// HKEY_CURRENT_USER is $XDG_CONFIG_HOME/Varnel/user.reg (default
// ~/.config/Varnel/user.reg), except its SOFTWARE\Classes key, which is
// classes.reg in the same folder, so that the document types registered at
// every start never rewrite the user's settings file. Every change is
// written at once, atomically
// (temporary file, fsync, rename) under a file lock, so a crash or a second
// instance never leaves a torn or lost hive. A damaged hive is copied aside
// before anything is written over it, and what could be read is kept.
//
// HKEY_LOCAL_MACHINE is read-only for the program. It lives in memory: the
// built-in Office registers itself there at start-up, as an installer would,
// or a machine hive file given to the program (tests) replaces it.
#pragma once

#include "platform/wintypes.h"

#include <string>

struct CRegKeyHandle;
using HKEY = CRegKeyHandle*;

// The predefined roots (never closed, never freed).
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Sub-key paths use backslashes, as on Windows, and compare without regard
// to case.
LONG RegOpenKey(HKEY hKey, const char* lpSubKey, HKEY* phkResult);
LONG RegCreateKey(HKEY hKey, const char* lpSubKey, HKEY* phkResult);
LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData);
LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegCloseKey(HKEY hKey);

// ---- Platform extras -----------------------------------------------------
// Where HKEY_CURRENT_USER lives (tests point it at a temporary folder);
// SOFTWARE\Classes goes to classes.reg in the same folder.
void RegSetUserHivePath(const std::string& path);
std::string RegUserHivePath();
std::string RegClassesHivePath();
// Replaces the machine hive with the contents of a hive file.
bool RegLoadMachineHive(const std::string& path);
// Creates a key in the in-memory machine hive, as an installer would.
void RegRegisterMachineKey(const char* subKey);
// Empties the machine hive.
void RegClearMachineHive();
// Tests: make opening and creating this user key fail, as a key without
// access rights would; an empty path lifts the refusal.
void RegDenyUserKeyForTesting(const std::string& subKey);
