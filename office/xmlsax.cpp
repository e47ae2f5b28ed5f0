// expat-backed streaming XML with the guards described in xmlsax.h.
#include "office/xmlsax.h"

// Debian's expat is built with DTD support, which is what declares the
// amplification-guard setters; the header only shows them under XML_DTD.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <algorithm>
#include <cstring>

namespace office {

namespace {

// expat joins a namespace URI and a local name with this character. URIs
// cannot legally hold a space, and local names never do, so the last space
// splits them even if a hostile URI contains one.
constexpr char kNsSeparator = ' ';

// Feed expat in slices so that a Stop() takes effect promptly and the
// int-sized length expat takes never overflows.
constexpr std::size_t kSlice = 1u << 20;

}  // namespace

XmlName XmlAttributes::SplitName(const char* expatName)
{
    const std::string_view full(expatName);
    const auto sep = full.rfind(kNsSeparator);
    if (sep == std::string_view::npos) return {std::string_view{}, full};
    return {full.substr(0, sep), full.substr(sep + 1)};
}

const char* XmlAttributes::Get(std::string_view ns, std::string_view local) const
{
    for (std::size_t i = 0; m_pairs != nullptr && m_pairs[i] != nullptr && m_pairs[i + 1] != nullptr; i += 2) {
        if (SplitName(m_pairs[i]).Is(ns, local)) return m_pairs[i + 1];
    }
    return nullptr;
}

struct XmlSax::Impl {
    XmlSax* owner = nullptr;
    XML_Parser parser = nullptr;
    XmlLimits limits;
    std::string stopReason;
    bool stopped = false;
    bool finished = false;
    bool failed = false;
    std::string failure;
    std::uint64_t fed = 0;

    ~Impl()
    {
        if (parser != nullptr) XML_ParserFree(parser);
    }

    bool Fail(const std::string& why, std::string& error)
    {
        failed = true;
        failure = why;
        error = why;
        return false;
    }

    bool Create(std::string& error)
    {
        parser = XML_ParserCreateNS(nullptr, kNsSeparator);
        if (parser == nullptr) return Fail("out of memory creating the XML parser", error);
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
    bool Check(XML_Status status, std::string& error)
    {
        if (stopped) return Fail(stopReason, error);
        if (status != XML_STATUS_OK) {
            return Fail(std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser)) + " at line " +
                            std::to_string(XML_GetCurrentLineNumber(parser)),
                        error);
        }
        return true;
    }

    void Halt(const std::string& why)
    {
        if (stopped) return;
        stopped = true;
        stopReason = why;
        XML_StopParser(parser, XML_FALSE);
    }

    static void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** atts)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->stopped) return;
        XmlSax* sax = self->owner;
        if (sax->m_depth >= self->limits.maxDepth) {
            self->Halt("XML nesting deeper than " + std::to_string(self->limits.maxDepth) + " levels");
            return;
        }
        ++sax->m_depth;
        sax->StartElement(XmlAttributes::SplitName(name), XmlAttributes(atts));
    }

    static void XMLCALL OnEnd(void* user, const XML_Char* name)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->stopped) return;
        XmlSax* sax = self->owner;
        sax->EndElement(XmlAttributes::SplitName(name));
        if (sax->m_depth > 0) --sax->m_depth;
    }

    static void XMLCALL OnText(void* user, const XML_Char* s, int len)
    {
        auto* self = static_cast<Impl*>(user);
        if (self->stopped || len <= 0) return;
        self->owner->CharacterData(std::string_view(s, static_cast<std::size_t>(len)));
    }

    static void XMLCALL OnDoctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<Impl*>(user)->Halt("XML document type declarations are not allowed");
    }

    static void XMLCALL OnEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                     const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<Impl*>(user)->Halt("XML entity declarations are not allowed");
    }
};

XmlSax::XmlSax() : XmlSax(XmlLimits{}) {}

XmlSax::XmlSax(const XmlLimits& limits) : m_impl(std::make_unique<Impl>())
{
    m_impl->owner = this;
    m_impl->limits = limits;
}

XmlSax::~XmlSax() = default;

void XmlSax::Stop(const std::string& why)
{
    if (m_impl->parser != nullptr) m_impl->Halt(why);
}

bool XmlSax::Parse(std::string_view document, std::string& error)
{
    return Feed(document, error) && Finish(error);
}

bool XmlSax::Feed(std::string_view piece, std::string& error)
{
    Impl& im = *m_impl;
    if (im.failed) {
        error = im.failure;
        return false;
    }
    if (im.finished) return im.Fail("XML parser used twice", error);
    if (im.parser == nullptr && !im.Create(error)) return false;
    if (piece.size() > im.limits.maxInputBytes - im.fed) return im.Fail("XML part is too large", error);
    im.fed += piece.size();
    std::size_t pos = 0;
    while (pos < piece.size()) {
        const std::size_t n = std::min(kSlice, piece.size() - pos);
        const XML_Status status = XML_Parse(im.parser, piece.data() + pos, static_cast<int>(n), 0);
        pos += n;
        if (!im.Check(status, error)) return false;
    }
    return true;
}

bool XmlSax::Finish(std::string& error)
{
    Impl& im = *m_impl;
    if (im.failed) {
        error = im.failure;
        return false;
    }
    if (im.finished) return im.Fail("XML parser used twice", error);
    if (im.parser == nullptr && !im.Create(error)) return false;
    im.finished = true;
    return im.Check(XML_Parse(im.parser, "", 0, 1), error);
}

}  // namespace office
