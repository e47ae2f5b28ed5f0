// The search of one file in Word, shared by the three Word generations.
#pragma once

#include "kestrel/officerecords.h"
#include "kestrel/officewrappers.h"

namespace kestrel {

// Runs the whole Word search for `generation` (9, 10 or 11) and returns
// OfficeFind's result code. Never throws.
int SearchWordDocument(_ResultFileInfo& info, const CKeywordArray& keywords, _FindedConditions conditions,
                       CWordApplicationDriver& word, int generation);

}  // namespace kestrel
