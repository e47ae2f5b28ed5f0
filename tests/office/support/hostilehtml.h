// Generators of web pages crafted against an HTML reader's costs and
// limits, shared by the reader's tests (small sizes) and its benchmark (full
// sizes). Each page ends with a word placed after its hostile part, which a
// reader must find.
#pragma once

#include <cstddef>
#include <string>
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

// One start tag with n attributes of distinct names.
inline HostilePage ManyAttributes(std::size_t n)
{
    std::string html = "<html><body><p>before</p><p";
    html.reserve(html.size() + n * 9);
    for (std::size_t i = 0; i < n; ++i) html += " a" + std::to_string(i) + "=\"1\"";
    html += ">attributesafter</p></body></html>";
    return {"attributes-" + std::to_string(n), std::move(html), "attributesafter"};
}

// n nested <font> elements, each with a word of its own, never closed.
inline HostilePage NestedFonts(std::size_t n)
{
    return {"fonts-" + std::to_string(n),
            "<html><body>" + Repeat("<font size=2>in ", n) + "fontsafter</body></html>", "fontsafter"};
}

// n unclosed elements of one kind (div, b, span...).
inline HostilePage Unclosed(const std::string& tag, std::size_t n)
{
    return {"unclosed-" + tag + "-" + std::to_string(n),
            "<html><body>" + Repeat("<" + tag + ">", n) + "unclosedafter</body></html>", "unclosedafter"};
}

// n tables nested cell in cell.
inline HostilePage DeepTables(std::size_t n)
{
    return {"tables-" + std::to_string(n),
            "<html><body>" + Repeat("<table><tr><td>cell ", n) + "tablesafter</body></html>", "tablesafter"};
}

// n unclosed elements followed by n end tags that match none of them: the
// parser looks for each through all open elements.
inline HostilePage StrayEndTags(std::size_t n)
{
    return {"strayends-" + std::to_string(n),
            "<html><body>" + Repeat("<b>", n) + Repeat("</i>", n) + "strayafter</body></html>", "strayafter"};
}

// n unclosed elements followed by n <body> tags, each searched for a body
// already open.
inline HostilePage RepeatedBody(std::size_t n)
{
    return {"bodies-" + std::to_string(n),
            "<html><body>" + Repeat("<span>", n) + Repeat("<body>", n) + "bodiesafter</body></html>",
            "bodiesafter"};
}

// End tags of an element that cannot close it (a <div> stands between).
inline HostilePage BlockedEndTags(std::size_t n)
{
    return {"blockedends-" + std::to_string(n),
            "<html><body><b>" + Repeat("<div>x ", n) + Repeat("</b>", n) + "blockedafter</body></html>",
            "blockedafter"};
}

// A page of ordinary paragraphs, about `bytes` long: the baseline.
inline HostilePage PlainParagraphs(std::size_t bytes)
{
    const std::string para = "<p>Plain words in a paragraph of an ordinary page.</p>\n";
    return {"plain-" + std::to_string(bytes), "<html><body>" + Repeat(para, bytes / para.size() + 1) +
                                                  "<p>plainafter</p></body></html>",
            "plainafter"};
}

}  // namespace office::hostile
