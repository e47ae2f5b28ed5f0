// Version text of the program, shown in the About box.
#include "app/guiversion.h"

namespace varnel {
const char* GuiVersion()
{
    return "Varnel 1.0";
}
}  // namespace varnel
