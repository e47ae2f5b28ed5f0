// Reads a whole file into memory for the format readers, read-only: the
// built-in Office never writes to a searched file. The size is capped so a
// huge or endless file (a device, a FIFO) cannot exhaust memory.
#pragma once

#include <cstddef>
#include "office/containers/readerror.h"

#include <cstdint>
#include <string>
#include <vector>

namespace office {

// Largest file the built-in Office opens.
constexpr std::size_t kMaxDocumentBytes = std::size_t{512} * 1024 * 1024;

// False with a reason in `error` when the path is not a readable regular
// file or is larger than `maxBytes`. Throws platform::OperationCancelled
// when Stop comes while a large file is read.
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out, ReadError& error,
                   std::size_t maxBytes = kMaxDocumentBytes);

}  // namespace office
