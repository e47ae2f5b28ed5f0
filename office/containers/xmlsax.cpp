// XmlSax: our scanner for UTF-8 documents, expat for the rest, both with
// the guards described in xmlsax.h.
#include "office/containers/xmlsax.h"

#include "office/containers/xmlscanner.h"
#include "platform/cancellation.h"

// Debian's expat is built with DTD support, which is what declares the
// amplification-guard setters; the header only shows them under XML_DTD.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

namespace office {

namespace {

// expat joins a namespace URI and a local name with this character. URIs
// cannot legally hold a space, and local names never do, so the last space
// splits them even if a hostile URI contains one.
constexpr char kNsSeparator = ' ';

// Feed expat in slices so that a Stop() takes effect promptly and the
// int-sized length expat takes never overflows.
constexpr std::size_t kSlice = 1u << 20;

// expat's "uri local" names.
XmlName SplitName(const char* expatName)
{
    const std::string_view full(expatName);
    const auto sep = full.rfind(kNsSeparator);
    if (sep == std::string_view::npos) return {std::string_view{}, full};
    return {full.substr(0, sep), full.substr(sep + 1)};
}

}  // namespace

struct XmlSax::Impl final : XmlScanSink {
    XmlSax* owner = nullptr;
    XML_Parser parser = nullptr;
    XmlLimits limits;
    BudgetHold stack;  // what the open elements cost, at the most ever open
    ReadError stopError;
    bool finished = false;
    std::vector<XmlAttribute> attributes;  // expat's, resolved
    // An exception from a callback under expat: it must not unwind through
    // expat's C frames, so it is kept, the parse halted, and it is thrown
    // again once XML_Parse has returned.
    std::exception_ptr pending;

    template <typename F>
    void Guarded(F&& f)
    {
        try {
            f();
        } catch (...) {
            pending = std::current_exception();
            Halt({ReadErrorKind::Cancelled, "stopped by an exception"});
        }
    }

    void RethrowPending()
    {
        if (pending) std::rethrow_exception(std::exchange(pending, nullptr));
    }

    ~Impl()
    {
        if (parser != nullptr) XML_ParserFree(parser);
    }

    bool Fail(ReadError why, ReadError& error)
    {
        error = std::move(why);
        return false;
    }

    bool Create(ReadError& error)
    {
        parser = XML_ParserCreateNS(nullptr, kNsSeparator);
        if (parser == nullptr) return Fail({ReadErrorKind::TooLarge, "out of memory creating the XML parser"}, error);
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &Impl::OnStart, &Impl::OnEnd);
        XML_SetCharacterDataHandler(parser, &Impl::OnText);
        XML_SetStartDoctypeDeclHandler(parser, &Impl::OnDoctype);
        XML_SetEntityDeclHandler(parser, &Impl::OnEntityDecl);
        XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
        // Belt and braces: even if a declaration slipped through, expansion
        // beyond a small factor of the input is refused.
        XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser, 10.0f);
        XML_SetBillionLaughsAttackProtectionActivationThreshold(parser, 1u << 20);
        return true;
    }

    // Turns the outcome of one XML_Parse call into a result.
    bool Check(XML_Status status, ReadError& error)
    {
        if (m_stopped) return Fail(stopError, error);
        if (status != XML_STATUS_OK) {
            return Fail(
                {ReadErrorKind::Damaged, std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser)) +
                                             " at line " + std::to_string(XML_GetCurrentLineNumber(parser))},
                error);
        }
        return true;
    }

    void Halt(ReadError why)
    {
        if (m_stopped) return;
        m_stopped = true;
        stopError = std::move(why);
        if (parser != nullptr) XML_StopParser(parser, XML_FALSE);
    }

    // The depth cap, the stack's charge and the callbacks, shared by both
    // parsers, so that both refuse a document at the same element.
    void Start(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (m_stopped) return;
        XmlSax* sax = owner;
        if (sax->m_depth >= limits.maxDepth) {
            Halt({ReadErrorKind::TooLarge, "XML nesting deeper than " + std::to_string(limits.maxDepth) + " levels"});
            return;
        }
        // The hold never shrinks while the parse lasts: the parsers keep the
        // room of their deepest stack, not only of the current one.
        const std::uint64_t cost = (std::uint64_t{sax->m_depth} + 1) * XmlLimits::kBytesPerLevel;
        if (!stack.TryCover(cost)) {
            Halt({ReadErrorKind::TooLarge, stack.Refusal(cost, "the nesting of the XML elements")});
            return;
        }
        ++sax->m_depth;
        sax->StartElement(name, attrs);
    }

    void End(const XmlName& name) override
    {
        if (m_stopped) return;
        owner->EndElement(name);
        if (owner->m_depth > 0) --owner->m_depth;
    }

    void Text(std::string_view text) override
    {
        if (!m_stopped && !text.empty()) owner->CharacterData(text);
    }

    static void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** atts)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->m_stopped) return;
        self->Guarded([&] {
            self->attributes.clear();
            for (std::size_t i = 0; atts != nullptr && atts[i] != nullptr && atts[i + 1] != nullptr; i += 2)
                self->attributes.push_back({SplitName(atts[i]), atts[i + 1], std::strlen(atts[i + 1])});
            self->Start(SplitName(name), XmlAttributes(self->attributes.data(), self->attributes.size()));
        });
    }

    static void XMLCALL OnEnd(void* user, const XML_Char* name)
    {
        auto* self = static_cast<Impl*>(user);
        self->Guarded([&] { self->End(SplitName(name)); });
    }

    static void XMLCALL OnText(void* user, const XML_Char* s, int len)
    {
        auto* self = static_cast<Impl*>(user);
        if (len > 0) self->Guarded([&] { self->Text(std::string_view(s, static_cast<std::size_t>(len))); });
    }

    static void XMLCALL OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<Impl*>(user)->Halt({ReadErrorKind::Damaged, "XML document type declarations are not allowed"});
    }

    static void XMLCALL OnEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<Impl*>(user)->Halt({ReadErrorKind::Damaged, "XML entity declarations are not allowed"});
    }
};

XmlSax::XmlSax() : XmlSax(XmlLimits{}) {}

XmlSax::XmlSax(const XmlLimits& limits) : m_impl(std::make_unique<Impl>())
{
    m_impl->owner = this;
    m_impl->limits = limits;
    m_impl->stack = BudgetHold(limits.budget);
}

XmlSax::~XmlSax() = default;

void XmlSax::Stop(ReadError why)
{
    m_impl->Halt(std::move(why));
}

bool XmlSax::Parse(std::string_view document, ReadError& error)
{
    Impl& im = *m_impl;
    if (im.finished) return im.Fail({ReadErrorKind::Internal, "XML parser used twice"}, error);
    im.finished = true;
    if (document.size() > im.limits.maxInputBytes)
        return im.Fail({ReadErrorKind::TooLarge, "XML part is too large"}, error);
    if (!m_referenceOnly && XmlScanner::Handles(document)) {
        std::string why;
        if (XmlScanner::Scan(document, im.limits.maxDepth, im, why)) return true;
        // What the scanner itself refuses is not well-formed; a DOCTYPE,
        // which no package part may hold, counts as damage too.
        return im.Fail(im.Stopped() ? im.stopError : ReadError{ReadErrorKind::Damaged, why}, error);
    }
    if (!im.Create(error)) return false;
    std::size_t pos = 0;
    while (pos < document.size()) {
        // Between slices, never inside expat's callbacks: an exception
        // must not cross its C frames.
        if (pos != 0) platform::ThrowIfStopRequested();
        const std::size_t n = std::min(kSlice, document.size() - pos);
        const XML_Status status = XML_Parse(im.parser, document.data() + pos, static_cast<int>(n), 0);
        pos += n;
        im.RethrowPending();
        if (!im.Check(status, error)) return false;
    }
    const XML_Status status = XML_Parse(im.parser, "", 0, 1);
    im.RethrowPending();
    return im.Check(status, error);
}

}  // namespace office
