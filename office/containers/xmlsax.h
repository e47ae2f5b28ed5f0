// A small XML reader for the parts of Office Open XML packages. Derive
// from XmlSax and override the callbacks.
//
// Names are namespace-resolved: every element and attribute name arrives as
// an XmlName {ns, local}, where `ns` is the namespace URI (empty for no
// namespace) and `local` the local name. Matching on the URI rather than the
// prefix keeps a reader working whatever prefixes a writer chose.
//
// UTF-8 documents, which is what Office writes, go through our own scanner
// (xmlscanner.h), several times faster than a general parser on the large
// parts; documents in any other encoding go through expat. Both refuse
// rather than expand: any DOCTYPE (and so any entity declaration) stops the
// parse, and only the five predefined entities exist. Errors come back as
// values; an exception thrown by a callback (the stop request) comes out of
// Parse() unchanged.
//
// Elements nest to any depth. Neither parser recurses per element: each
// keeps its open elements on a stack of its own, a few dozen bytes a level
// (an element record of the scanner's, a tag record of expat's), and a
// reader deriving from XmlSax keeps a little more. What a deep document's
// stack costs is charged to the file's memory budget (kBytesPerLevel for
// every open element), so a part that nests millions deep is refused for
// its size, like any other part too large to read, and one that merely
// nests a few thousand deep reads like any other.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace office {

struct XmlName {
    std::string_view ns;
    std::string_view local;
    bool Is(std::string_view uri, std::string_view name) const { return local == name && ns == uri; }
};

struct XmlAttribute {
    XmlName name;
    const char* value;  // zero-terminated
    std::size_t size;
};

// The attributes of one start tag, valid only during the StartElement call.
class XmlAttributes {
public:
    XmlAttributes(const XmlAttribute* items, std::size_t count) : m_items(items), m_count(count) {}
    // The value of the attribute with that namespace URI and local name, or
    // nullptr. Attributes without a prefix have an empty namespace.
    const char* Get(std::string_view ns, std::string_view local) const
    {
        for (std::size_t i = 0; i < m_count; ++i)
            if (m_items[i].name.Is(ns, local)) return m_items[i].value;
        return nullptr;
    }
    // Calls f(XmlName, value) for every attribute.
    template <typename F>
    void ForEach(F&& f) const
    {
        for (std::size_t i = 0; i < m_count; ++i)
            f(m_items[i].name, std::string_view(m_items[i].value, m_items[i].size));
    }

private:
    const XmlAttribute* m_items;
    std::size_t m_count;
};

struct XmlLimits {
    // What one open element may cost the parser and the reader together,
    // charged to `budget` for every level open at once.
    static constexpr std::uint64_t kBytesPerLevel = 256;

    // Deeper nesting fails the parse; by default none does.
    std::size_t maxDepth = SIZE_MAX;
    // A larger document fails the parse; by default none does (the bytes
    // are already in memory, and were charged to the budget as they came).
    std::uint64_t maxInputBytes = UINT64_MAX;
    // The file's memory budget (not owned); none: the stack is not charged.
    ReadBudget* budget = nullptr;
};

// The default limits with the file's budget.
inline XmlLimits XmlLimitsFor(ReadBudget* budget)
{
    XmlLimits limits;
    limits.budget = budget;
    return limits;
}

class XmlSax {
public:
    XmlSax();
    explicit XmlSax(const XmlLimits& limits);
    virtual ~XmlSax();
    XmlSax(const XmlSax&) = delete;
    XmlSax& operator=(const XmlSax&) = delete;

    // Parses a whole document. False with a reason (including the line) on
    // malformed XML, a refused construct, a broken limit or a Stop() from a
    // callback. May be called once per object.
    bool Parse(std::string_view document, ReadError& error);

    // Makes Parse() use expat for every encoding, so that tests and fuzz
    // targets can hold the scanner's results against it.
    void UseReferenceParser() { m_referenceOnly = true; }

    // Element depth of the current callback (the document element is 1).
    std::size_t Depth() const { return m_depth; }

protected:
    virtual void StartElement(const XmlName& name, const XmlAttributes& attrs) = 0;
    virtual void EndElement(const XmlName& name) = 0;
    // Text in UTF-8; one run of text may arrive in several pieces.
    virtual void CharacterData(std::string_view text) = 0;

    // Ends the parse from inside a callback; Parse() then fails with `why`.
    void Stop(ReadError why);

private:
    struct Impl;
    friend struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::size_t m_depth = 0;
    bool m_referenceOnly = false;
};

}  // namespace office
