// The string table: every user-visible text by its number, as the
// resources of the Windows program number them. The texts and their
// numbers are resources of the program (res/strings.cpp, res/resource.h);
// this is the lookup everything calls, with LoadString's contract.
#pragma once

#include "platform/wintypes.h"
#include "res/resource.h"

#include <string>

// Returns the text of string `id`, or an empty string for an unknown id
// (as LoadString leaves its buffer empty).
std::string LoadString(UINT id);
// Whether the table holds `id` at all.
bool HasString(UINT id);
