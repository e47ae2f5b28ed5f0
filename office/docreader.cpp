// Placeholder until the reader lands: refuses every file.
#include "office/docreader.h"

namespace office {

bool ReadWordBinary(ByteView, WordContent& out, std::string& error)
{
    out.stories.clear();
    error = "format not supported yet";
    return false;
}

}  // namespace office
