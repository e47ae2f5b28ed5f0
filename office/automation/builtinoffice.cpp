// Start-up registration of the built-in Office (see builtinoffice.h).
#include "office/builtinoffice.h"

#include "office/excelapplication.h"
#include "office/wordapplication.h"
#include "platform/registry.h"

namespace office {

void RegisterBuiltinOffice()
{
    RegisterWordServer();
    RegisterExcelServer();
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0");
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Word");
    RegRegisterMachineKey("SOFTWARE\\Microsoft\\Office\\11.0\\Excel");
}

}  // namespace office
