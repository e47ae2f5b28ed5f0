// Placeholder until the reader lands: refuses every file.
#include "office/rtfreader.h"

namespace office {

bool ReadRtf(ByteView, WordContent& out, std::string& error)
{
    out.stories.clear();
    error = "format not supported yet";
    return false;
}

}  // namespace office
