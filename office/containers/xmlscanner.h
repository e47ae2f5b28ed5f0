// A fast reader of UTF-8 XML documents held whole in memory, for the big
// parts of Office Open XML packages (a document body, a worksheet), where a
// general parser spends most of the time on generality those parts never
// use. It checks what expat checks for such documents (well-formedness,
// characters, UTF-8, namespaces, duplicate attributes) and delivers the same
// events, but works on the buffer in place and hands text over without
// copying whenever it needs no decoding. One difference: names may use the
// non-ASCII characters of XML 1.0's fifth edition, a few more than the
// older tables expat keeps (U+FEFF, for one); no Office writer uses either.
//
// It never expands anything but the five predefined entities and character
// references: any DOCTYPE stops it, so entity bombs cannot exist. Documents
// in other encodings are left to expat (see Handles()).
#pragma once

#include "office/containers/xmlsax.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace office {

// What the scanner reads, in document order.
class XmlScanSink {
public:
    virtual ~XmlScanSink() = default;
    virtual void Start(const XmlName& name, const XmlAttributes& attrs) = 0;
    virtual void End(const XmlName& name) = 0;
    // One run of text may arrive in several pieces.
    virtual void Text(std::string_view text) = 0;
    // True once a callback has ended the parse; the scanner returns at once.
    // A flag rather than a virtual call: it is asked after every event.
    bool Stopped() const { return m_stopped; }

protected:
    bool m_stopped = false;
};

class XmlScanner {
public:
    // True when the document is UTF-8: no UTF-16 byte order mark or
    // zero bytes at the start, and an XML declaration, if any, that names
    // UTF-8 or no encoding.
    static bool Handles(std::string_view document);

    // Reads a whole document Handles() accepted. False with a reason
    // ("malformed XML: ... at line N") on anything that is not well-formed,
    // on a DOCTYPE, on nesting deeper than maxDepth, or when the sink
    // stopped (the error is then left to the sink's owner).
    static bool Scan(std::string_view document, std::size_t maxDepth, XmlScanSink& sink, std::string& error);
};

}  // namespace office
