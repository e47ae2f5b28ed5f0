// The program's string table as data: every user-visible text with its
// number, in ascending order of numbers. The lookup by number lives in the
// platform layer (platform/stringtable.h), which everything calls; this
// table has no dependency of its own, so the terminal program and the
// engine tests get the same texts as the window program.
#pragma once

#include <span>

struct ResourceString {
    unsigned int id;
    const char* text;
};

std::span<const ResourceString> ResourceStrings();
