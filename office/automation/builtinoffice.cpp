// Start-up registration of the built-in Office (see builtinoffice.h).
#include "office/automation/builtinoffice.h"

#include "office/automation/excelapplication.h"
#include "office/automation/readahead.h"
#include "office/automation/wordapplication.h"
#include "office/text/hugepages.h"
#include "platform/registry.h"

namespace office {

void RegisterBuiltinOffice()
{
    KeepFreedMemory();
    RegisterWordServer();
    RegisterExcelServer();
    platform::SetReadAheadService(&CReadAhead::Instance());
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0");
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Word");
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Excel");
}

}  // namespace office
