// Placeholder until the reader lands: refuses every file.
#include "office/docxreader.h"

namespace office {

bool ReadDocx(ByteView, WordContent& out, std::string& error)
{
    out.stories.clear();
    error = "format not supported yet";
    return false;
}

}  // namespace office
