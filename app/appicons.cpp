// The main window's pictures (see appicons.h).
#include "app/appicons.h"

#include "res/icons.h"

QIcon FindIcon()
{
    return ResourceIcon("find");
}

QIcon StopIcon()
{
    return ResourceIcon("stop");
}

QIcon ProgramIcon()
{
    return ResourceIcon("varnel");
}
