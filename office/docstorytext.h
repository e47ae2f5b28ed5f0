// Turns the raw characters of a Word binary story into the text a person
// sees: field instructions are dropped while field results stay, anchors of
// pictures, drawn objects and notes are dropped, and Word's marks for
// paragraphs, cells, breaks and special hyphens are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace office {

// Field nesting deeper than this is treated as one long instruction: no
// real document comes near it, and it bounds the state a hostile file can
// make us keep.
constexpr std::size_t kMaxDocFieldDepth = 256;

std::u16string CleanDocStoryText(std::u16string_view raw);

}  // namespace office
