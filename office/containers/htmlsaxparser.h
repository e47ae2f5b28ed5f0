// Streams a web page through libxml2's HTML parser (SAX callbacks, no
// document tree) into a reader's HtmlEventSink.
//
// Two costs of libxml2's parser grow with the number of open elements: an
// end tag that matches no open element is looked for through all of them,
// and so is every <body> tag. With n unclosed elements followed by m such
// tags a page costs n * m. To keep every cost linear, one parser run holds
// at most `maxDepth` open elements: at the next start tag past that depth
// the run stops, and a new run carries on from the byte after that tag with
// an empty stack. The sink keeps the older elements open ("detached"), an
// end tag the new run cannot match closes them (libxml2 reports it as an
// error, which is how we hear of it), and no text is lost: it is all read
// by one run or the next.
//
// The bytes reach libxml2 through a read callback, which is also where a
// stop request is seen: the parser gets an early end of input, and Run
// throws platform::OperationCancelled.
#pragma once

#include "office/containers/htmlevents.h"
#include "office/containers/htmltagfilter.h"

#include <libxml/HTMLparser.h>

#include <cstddef>
#include <string_view>
#include <vector>

namespace office {

class HtmlSaxParser {
public:
    // `filtered`: the tags HtmlTagFilter changed in `markup`. `readLimit`:
    // the most bytes one read hands to libxml2 (at least 512). With
    // `scriptsToTheirEnd` the raw text of a <script> or <style> ends only at
    // that element's own end tag (libxml2's recovery mode), as browsers and
    // Excel read it; without, at the first end tag of any element. (The tag
    // filter stays in raw text at least as long either way.)
    HtmlSaxParser(std::string_view markup, const std::vector<HtmlFilteredTag>& filtered, HtmlEventSink& walker,
                  std::size_t maxDepth, std::size_t readLimit = 4096, bool scriptsToTheirEnd = false);

    // False when libxml2 read part of a filtered tag as text: the filter
    // misjudged the markup there, and the caller must read the page again
    // unfiltered. Throws platform::OperationCancelled on a stop request.
    bool Run();

    // Parser runs the page took (1 unless it nests deeper than maxDepth).
    std::size_t Runs() const { return m_runs; }

private:
    static int Read(void* context, char* buffer, int length);
    static int Close(void* context);
    static void OnStart(void* context, const xmlChar* name, const xmlChar** attributes);
    static void OnEnd(void* context, const xmlChar* name);
    static void OnText(void* context, const xmlChar* text, int length);
    static void OnError(void* context, xmlErrorPtr error);
    static void OnComment(void* context, const xmlChar* text);
    static void OnInstruction(void* context, const xmlChar* target, const xmlChar* data);
    static HtmlSaxParser& Self(void* context);

    // Where libxml2 stands, as an offset into `markup`; false while it reads
    // the bytes that open a run after the first.
    bool Position(std::size_t& offset) const;
    void RunOnce();
    void Restart(std::string_view name, std::size_t at);
    void Halt();
    // Notes the offset of an element or text event.
    void Moved(std::size_t at);
    // Skips the filtered tags that end before `before`.
    void PassFiltered(std::size_t before);

    std::string_view m_markup;
    const std::vector<HtmlFilteredTag>& m_filtered;
    HtmlEventSink& m_walker;
    const std::size_t m_maxDepth;
    const std::size_t m_readLimit;
    const int m_options;

    htmlParserCtxtPtr m_ctxt = nullptr;
    std::string_view m_prefix;    // fed before the page's bytes in a later run
    std::size_t m_runStart = 0;   // the page's offset where this run begins
    std::size_t m_fed = 0;        // bytes of prefix + page handed to this run
    std::size_t m_depth = 0;      // elements open in this run
    std::size_t m_synthetic = 0;  // of which the prefix opened (the bottom ones)
    bool m_halted = false;        // this run's further events are ignored
    bool m_restart = false;
    std::size_t m_restartAt = 0;
    bool m_cancelled = false;
    bool m_misread = false;
    std::size_t m_nextFiltered = 0;
    // Offset of the latest element or text event, and the latest smaller one.
    std::size_t m_current = 0;
    std::size_t m_floor = 0;
    std::size_t m_runs = 0;
};

}  // namespace office
