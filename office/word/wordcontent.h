// What the built-in Word reads out of a document: the text a person sees,
// in UTF-16, as a list of stories (main text, footnotes, headers and
// footers, comments, endnotes, text boxes). Every reader (text, web page,
// RTF, Word binary, Office Open XML) produces this and nothing else; the
// Find engine searches it.
//
// Characters follow Word's own conventions inside a story:
//   U+000D  paragraph end          U+0007  table cell or row end
//   U+0009  tab                    U+000B  manual line break
//   U+000C  page or section break  U+00A0  non-breaking space
//   U+001E  non-breaking hyphen    U+001F  optional (soft) hyphen
// Field codes, deleted revisions, anchors and other control marks are
// already removed by the reader; field results stay.
#pragma once

#include "office/text/byteview.h"

#include <string>
#include <vector>

namespace office {

enum class StoryKind {
    Main,
    Footnotes,
    HeadersFooters,
    Comments,
    Endnotes,
    TextBoxes,
    HeaderTextBoxes,
    Title,  // a web page's <title>
};

struct Story {
    StoryKind kind = StoryKind::Main;
    std::u16string text;
    // The reader saw only characters that keep a text NFC and that the
    // compared texts keep (IsPlainNormalCharacter): Find then needs no look
    // at the text's form. False says nothing.
    bool knownNormal = false;
};

struct WordContent {
    std::vector<Story> stories;
};

}  // namespace office
