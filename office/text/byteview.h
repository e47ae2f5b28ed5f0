// The bytes of a file, or of a part of one, as every reader takes them: a
// view that never owns them, so a part can be read in place where it lies.
#pragma once

#include <cstdint>
#include <span>

namespace office {

using ByteView = std::span<const std::uint8_t>;

}  // namespace office
