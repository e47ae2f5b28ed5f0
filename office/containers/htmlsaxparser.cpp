// libxml2's HTML parser in SAX mode, in runs of bounded depth (see htmlsaxparser.h).
#include "office/containers/htmlsaxparser.h"

#include "platform/cancellation.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace office {

namespace {

// A later run starts inside the body of a page of its own; the events of
// these bytes are not the page's.
constexpr std::string_view kRunPrefix = "<html><body>";

// libxml2 looks up to 250 bytes ahead after it asks for more input; smaller
// reads make it misread tokens cut at a read's end.
constexpr std::size_t kMinRead = 512;

constexpr int kOptions = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC;

std::string_view Name(const xmlChar* name)
{
    return name == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(name));
}

bool IsRawTextElement(std::string_view name)
{
    return name == "script" || name == "style";
}

void InitLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

struct ContextDeleter {
    void operator()(htmlParserCtxtPtr ctxt) const { htmlFreeParserCtxt(ctxt); }
};

}  // namespace

HtmlSaxParser::HtmlSaxParser(std::string_view markup, const std::vector<HtmlFilteredTag>& filtered,
                             HtmlEventSink& walker, std::size_t maxDepth, std::size_t readLimit, bool scriptsToTheirEnd)
    : m_markup(markup), m_filtered(filtered), m_walker(walker), m_maxDepth(std::max<std::size_t>(maxDepth, 8)),
      m_readLimit(std::clamp<std::size_t>(readLimit, kMinRead, 1u << 20)),
      m_options(kOptions | (scriptsToTheirEnd ? HTML_PARSE_RECOVER : 0))
{
}

HtmlSaxParser& HtmlSaxParser::Self(void* context)
{
    // libxml2 hands every callback the context's user data, which is the
    // context itself unless set otherwise.
    return *static_cast<HtmlSaxParser*>(static_cast<htmlParserCtxtPtr>(context)->_private);
}

bool HtmlSaxParser::Run()
{
    InitLibxml();
    m_runStart = 0;
    m_prefix = {};
    for (;;) {
        RunOnce();
        if (m_cancelled) throw platform::OperationCancelled();
        if (m_misread) return false;
        if (!m_restart) return true;
        m_walker.DetachOpenElements();
        m_runStart = m_restartAt;
        m_prefix = kRunPrefix;
    }
}

void HtmlSaxParser::RunOnce()
{
    ++m_runs;
    m_fed = 0;
    m_depth = 0;
    m_synthetic = 0;
    m_halted = false;
    m_restart = false;
    std::unique_ptr<htmlParserCtxt, ContextDeleter> ctxt(htmlNewParserCtxt());
    if (!ctxt) throw std::bad_alloc();
    xmlSAXHandler& sax = *ctxt->sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;  // so that errors come structured, with the tag's name
    sax.startElement = &HtmlSaxParser::OnStart;
    sax.endElement = &HtmlSaxParser::OnEnd;
    sax.characters = &HtmlSaxParser::OnText;
    sax.ignorableWhitespace = &HtmlSaxParser::OnText;
    sax.cdataBlock = &HtmlSaxParser::OnText;
    sax.serror = &HtmlSaxParser::OnError;
    // Not text, but where they end tells which bytes the parser has passed.
    sax.comment = &HtmlSaxParser::OnComment;
    sax.processingInstruction = &HtmlSaxParser::OnInstruction;
    ctxt->_private = this;
    m_ctxt = ctxt.get();
    // The bytes are UTF-8: the page's own declaration must not make the
    // parser decode them again.
    htmlCtxtReadIO(ctxt.get(), &HtmlSaxParser::Read, &HtmlSaxParser::Close, this, nullptr, "UTF-8", m_options);
    m_ctxt = nullptr;
}

int HtmlSaxParser::Read(void* context, char* buffer, int length)
{
    auto& self = *static_cast<HtmlSaxParser*>(context);
    if (self.m_halted || length <= 0) return 0;
    if (self.m_walker.Abandoned()) {
        // Nothing more is wanted: an early end of input winds the parser down.
        self.m_halted = true;
        return 0;
    }
    if (platform::IsSearchStopRequested()) {
        // An end of input: the parser closes what is open and returns. (Its
        // state must not be touched here, in the middle of its reading.)
        self.m_cancelled = true;
        self.m_halted = true;
        return 0;
    }
    std::size_t room = std::min(static_cast<std::size_t>(length), self.m_readLimit);
    std::size_t given = 0;
    while (room > 0) {
        std::string_view source;
        std::size_t at = self.m_fed;
        if (at < self.m_prefix.size()) {
            source = self.m_prefix.substr(at);
        } else {
            at = self.m_runStart + (at - self.m_prefix.size());
            if (at >= self.m_markup.size()) break;
            source = self.m_markup.substr(at);
        }
        const std::size_t n = std::min(room, source.size());
        std::memcpy(buffer + given, source.data(), n);
        given += n;
        room -= n;
        self.m_fed += n;
    }
    return static_cast<int>(given);
}

int HtmlSaxParser::Close(void*)
{
    return 0;
}

bool HtmlSaxParser::Position(std::size_t& offset) const
{
    const xmlParserInputPtr input = m_ctxt->input;
    const std::size_t read =
        static_cast<std::size_t>(input->consumed) + static_cast<std::size_t>(input->cur - input->base);
    if (read < m_prefix.size()) return false;
    offset = m_runStart + (read - m_prefix.size());
    return true;
}

void HtmlSaxParser::OnStart(void* context, const xmlChar* name, const xmlChar** attributes)
{
    HtmlSaxParser& self = Self(context);
    if (self.m_halted) return;
    ++self.m_depth;
    std::size_t at = 0;
    if (!self.Position(at)) {
        ++self.m_synthetic;
        return;
    }
    const std::string_view element = Name(name);
    self.Moved(at);
    self.m_walker.StartElement(element, HtmlAttributes(attributes));
    // Filtered tags behind the parser were not text (that is checked as text
    // arrives); the one that ends here was met as a tag, so its renamed
    // attributes were attributes.
    self.PassFiltered(at);
    if (self.m_nextFiltered < self.m_filtered.size() && at == self.m_filtered[self.m_nextFiltered].end) {
        ++self.m_nextFiltered;
    }
    if (self.m_depth > self.m_maxDepth && !IsRawTextElement(element)) self.Restart(element, at);
}

// Ends this run after the start tag that reached the depth limit; the next
// run reads on from the byte after the tag.
void HtmlSaxParser::Restart(std::string_view name, std::size_t at)
{
    if (at >= m_markup.size()) return;  // a tag cut off by the end of the page ends nothing
    if (m_markup[at] == '/' && at + 1 < m_markup.size() && m_markup[at + 1] == '>') {
        m_walker.EndElement();
        at += 2;
    } else if (m_markup[at] == '>') {
        ++at;
        const std::string key(name);
        const htmlElemDesc* desc = htmlTagLookup(reinterpret_cast<const xmlChar*>(key.c_str()));
        if (desc != nullptr && desc->empty != 0) m_walker.EndElement();
    }
    m_restart = true;
    m_restartAt = at;
    Halt();
}

// Ignores the rest of this run: the parser gets an end of input at its next
// read and winds down by itself, reading at most what it already holds
// (at most one read of readLimit bytes). Setting its state to "stopped" from a
// callback, as xmlStopParser does, was tried: told so inside its reading, the
// parser did not always return.
void HtmlSaxParser::Halt()
{
    m_halted = true;
}

void HtmlSaxParser::Moved(std::size_t at)
{
    if (at > m_current) {
        m_floor = m_current;
        m_current = at;
    }
}

void HtmlSaxParser::PassFiltered(std::size_t before)
{
    while (m_nextFiltered < m_filtered.size() && m_filtered[m_nextFiltered].end < before) ++m_nextFiltered;
}

void HtmlSaxParser::OnEnd(void* context, const xmlChar* name)
{
    HtmlSaxParser& self = Self(context);
    if (self.m_halted || self.m_depth == 0) return;
    --self.m_depth;
    std::size_t at = 0;
    if (self.Position(at)) self.Moved(at);
    if (self.m_depth < self.m_synthetic) {
        // The prefix's html or body ends: the page's end tag meant the
        // detached element of that name, if there is one.
        --self.m_synthetic;
        self.m_walker.UnmatchedEndTag(Name(name));
        return;
    }
    self.m_walker.EndElement();
}

void HtmlSaxParser::OnText(void* context, const xmlChar* text, int length)
{
    HtmlSaxParser& self = Self(context);
    if (self.m_halted || length <= 0) return;
    std::size_t at = 0;
    if (!self.Position(at)) return;
    self.Moved(at);
    // The text came from the bytes after the previous event at a smaller
    // offset (an element the parser implies for it comes at the text's own).
    self.PassFiltered(self.m_floor);
    if (self.m_nextFiltered < self.m_filtered.size() && self.m_filtered[self.m_nextFiltered].start <= at &&
        self.m_walker.ReadsText()) {
        // Text from the bytes of a filtered tag the parser did not meet as a
        // tag: the renamed attributes may be in it.
        self.m_misread = true;
        self.Halt();
        return;
    }
    self.m_walker.Characters(std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length)));
}

void HtmlSaxParser::OnComment(void* context, const xmlChar*)
{
    HtmlSaxParser& self = Self(context);
    std::size_t at = 0;
    if (!self.m_halted && self.Position(at)) self.Moved(at);
}

void HtmlSaxParser::OnInstruction(void* context, const xmlChar*, const xmlChar*)
{
    OnComment(context, nullptr);
}

void HtmlSaxParser::OnError(void* context, xmlErrorPtr error)
{
    HtmlSaxParser& self = Self(context);
    if (self.m_halted || error == nullptr) return;
    std::size_t at = 0;
    if (!self.Position(at)) return;
    // A misplaced <html>, <head> or <body> tag is merged away after its
    // name: met as a tag all the same.
    if (self.m_nextFiltered < self.m_filtered.size()) {
        const HtmlFilteredTag& tag = self.m_filtered[self.m_nextFiltered];
        if (tag.rootName && at == tag.nameEnd) ++self.m_nextFiltered;
    }
    if (error->code == XML_ERR_TAG_NAME_MISMATCH && error->str1 != nullptr && error->str2 == nullptr &&
        error->message != nullptr && std::strncmp(error->message, "Unexpected end tag", 18) == 0) {
        self.m_walker.UnmatchedEndTag(error->str1);
    }
}

}  // namespace office
