// Installs the built-in Office in this process, as an installer would on
// Windows: registers the "Word.Application" and "Excel.Application"
// automation servers and their read-ahead service, and writes Office 2003
// (generation 11) into the machine hive, so Office detection finds Word
// and Excel. The program and
// varnel-find call it once at start-up; a machine hive file given to the
// program replaces the registration (tests).
#pragma once

namespace office {

void RegisterBuiltinOffice();

}  // namespace office
