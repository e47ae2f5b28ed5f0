// Turns the raw characters of a Word binary story into the text a person
// sees: field instructions are dropped while field results stay, anchors of
// pictures, drawn objects and notes are dropped, and Word's marks for
// paragraphs, cells, breaks and special hyphens are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace office {

// Fields nest to any depth: the state kept per open field is one bit, and
// every open field stands for a field begin mark of the text, so the state
// never outgrows the text itself.
std::u16string CleanDocStoryText(std::u16string_view raw);

}  // namespace office
