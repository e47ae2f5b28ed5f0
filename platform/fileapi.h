// The file-open stand-in behind the sharing pre-check, and the per-thread
// last-error value. CreateFileA here only answers the question the search
// asks of it: can this file be opened for reading, or does another program
// hold it? A file counts as in use (ERROR_SHARING_VIOLATION) when another
// open file holds a lock on it: flock, POSIX or open-file-description fcntl
// locks (the office suites of this platform lock the documents they have
// open). Lock and owner files left beside a document (~$name,
// .~lock.name#) do not count: they outlive crashes.
#pragma once

#include "platform/wintypes.h"

#include <sys/stat.h>

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000u;

// Opens an existing file for reading. With share mode 0 (no sharing) the
// open fails with ERROR_SHARING_VIOLATION when the file is in use as above.
// Only OPEN_EXISTING and read access are supported; anything else fails
// with ERROR_INVALID_PARAMETER. Never creates or writes a file.
HANDLE CreateFileA(const char* lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, void* lpSecurityAttributes,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL CloseHandle(HANDLE hObject);

// The descriptor behind a handle CreateFileA returned, -1 for any other
// value. It stays the handle's: it is closed by CloseHandle. The read-ahead
// reads a file through the very open that passed its sharing check, and
// takes its size and times from `opened`, the file's status as that open
// found it, rather than asking the system again.
int DescriptorOf(HANDLE hObject, struct stat* opened = nullptr);

DWORD GetLastError();
void SetLastError(DWORD error);
