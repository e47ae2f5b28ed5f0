// What a web page's streaming parser (htmlsaxparser.h) tells the reader
// that walks the page: elements opening and closing, text, and the two
// events its runs of bounded depth add (see there). The Word reader turns
// them into stories (htmlwalker.h), the Excel reader into cells
// (htmltablewalker.h).
#pragma once

#include <cstddef>
#include <string_view>

namespace office {

// The attributes of one start tag as the parser hands them over: pairs of
// zero-terminated UTF-8 name and value (a null value for an attribute
// written without one), names in lower case, repeated names already
// dropped. Valid only during the call.
class HtmlAttributes {
public:
    explicit HtmlAttributes(const unsigned char* const* pairs) : m_pairs(pairs) {}

    // Whether the tag has the attribute; `value` gets its value ("" when it
    // has none). A tag has few attributes once the parser has read it
    // (htmltagfilter.h), so a look costs little.
    bool Find(std::string_view name, std::string_view& value) const
    {
        for (const unsigned char* const* a = m_pairs; a != nullptr && a[0] != nullptr; a += 2) {
            if (name != reinterpret_cast<const char*>(a[0])) continue;
            value = a[1] != nullptr ? std::string_view(reinterpret_cast<const char*>(a[1])) : std::string_view();
            return true;
        }
        return false;
    }
    bool Has(std::string_view name) const
    {
        std::string_view ignored;
        return Find(name, ignored);
    }

private:
    const unsigned char* const* m_pairs;
};

class HtmlEventSink {
public:
    virtual ~HtmlEventSink() = default;

    // An element the parser opened.
    virtual void StartElement(std::string_view name, const HtmlAttributes& attributes) = 0;
    // The innermost element the current parser run opened has ended.
    virtual void EndElement() = 0;
    virtual void Characters(std::string_view utf8) = 0;
    // An end tag the current parser run had no open element for.
    virtual void UnmatchedEndTag(std::string_view name) = 0;
    // A new parser run takes over: everything open now stays open, detached.
    virtual void DetachOpenElements() = 0;
    // Whether text arriving now would be kept.
    virtual bool ReadsText() const = 0;
    // True once nothing more of the page is wanted (the reader has failed):
    // the parser then winds down.
    virtual bool Abandoned() const { return false; }
};

}  // namespace office
