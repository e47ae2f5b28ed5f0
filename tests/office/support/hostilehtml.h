// Generators of web pages crafted against an HTML reader's costs and
// limits, shared by the reader's tests (small sizes) and its benchmark (full
// sizes). Each page ends with a word placed after its hostile part, which a
// reader must find.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace office::hostile {

struct HostilePage {
    std::string name;
    std::string html;
    std::string word;  // stands after the hostile part, in plain body text
};

inline std::string Repeat(const std::string& part, std::size_t times)
{
    std::string out;
    out.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += part;
    return out;
}

// A page whose body is `body`, then `word` in plain text.
inline HostilePage Page(std::string name, const std::string& body, const std::string& word)
{
    return {std::move(name), "<html><body>" + body + word + "</body></html>", word};
}

// One start tag with n attributes of distinct names.
inline HostilePage ManyAttributes(std::size_t n)
{
    std::string tag = "<p>before</p><p";
    tag.reserve(tag.size() + n * 9);
    for (std::size_t i = 0; i < n; ++i) tag += " a" + std::to_string(i) + "=\"1\"";
    return Page("attributes-" + std::to_string(n), tag + ">", "attributesafter");
}

// n nested <font> elements, each with a word of its own, never closed.
inline HostilePage NestedFonts(std::size_t n)
{
    return Page("fonts-" + std::to_string(n), Repeat("<font size=2>in ", n), "fontsafter");
}

// n unclosed elements of one kind (div, b, span...).
inline HostilePage Unclosed(const std::string& tag, std::size_t n)
{
    return Page("unclosed-" + tag + "-" + std::to_string(n), Repeat("<" + tag + ">", n), "unclosedafter");
}

// n tables nested cell in cell.
inline HostilePage DeepTables(std::size_t n)
{
    return Page("tables-" + std::to_string(n), Repeat("<table><tr><td>cell ", n), "tablesafter");
}

// n unclosed elements followed by n end tags that match none of them: the
// parser looks for each through all open elements.
inline HostilePage StrayEndTags(std::size_t n)
{
    return Page("strayends-" + std::to_string(n), Repeat("<b>", n) + Repeat("</i>", n), "strayafter");
}

// n unclosed elements followed by n <body> tags, each searched for a body
// already open.
inline HostilePage RepeatedBody(std::size_t n)
{
    return Page("bodies-" + std::to_string(n), Repeat("<span>", n) + Repeat("<body>", n), "bodiesafter");
}

// End tags of an element that cannot close it (a <div> stands between).
inline HostilePage BlockedEndTags(std::size_t n)
{
    return Page("blockedends-" + std::to_string(n), "<b>" + Repeat("<div>x ", n) + Repeat("</b>", n), "blockedafter");
}

// A page of ordinary paragraphs, about `bytes` long: the baseline.
inline HostilePage PlainParagraphs(std::size_t bytes)
{
    const std::string para = "<p>Plain words in a paragraph of an ordinary page.</p>\n";
    return Page("plain-" + std::to_string(bytes), Repeat(para, bytes / para.size() + 1) + "<p>", "plainafter");
}

}  // namespace office::hostile
