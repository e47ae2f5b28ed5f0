// Version text of the program, shown in the About box.
#pragma once

namespace varnel {
const char* GuiVersion();
}  // namespace varnel
