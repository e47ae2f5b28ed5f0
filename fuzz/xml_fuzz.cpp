// libFuzzer target for the in-place XML scanner, held against expat: on
// any input both must accept or both refuse, and when they accept they must
// report the same elements, attributes and text. A disagreement, a crash or
// a sanitizer report is a finding. The one tolerated difference: the
// scanner takes the fifth edition's non-ASCII name characters, a superset
// of expat's, so it may accept a document with non-ASCII bytes that expat
// refuses.
#include "office/containers/xmlsax.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

class Recorder : public office::XmlSax {
public:
    explicit Recorder(bool reference)
    {
        if (reference) UseReferenceParser();
    }
    std::string events;

protected:
    void StartElement(const office::XmlName& name, const office::XmlAttributes& attrs) override
    {
        events += '<';
        events.append(name.ns).append("}").append(name.local);
        attrs.ForEach([&](const office::XmlName& an, std::string_view v) {
            events.append(" ").append(an.ns).append("}").append(an.local).append("=").append(v).append("\x01");
        });
        events += '>';
        m_text = false;
    }
    void EndElement(const office::XmlName& name) override
    {
        events.append("</").append(name.ns).append("}").append(name.local).append(">");
        m_text = false;
    }
    void CharacterData(std::string_view text) override
    {
        // Either parser may split a run of text anywhere.
        if (!m_text) events += "T:";
        events.append(text);
        m_text = true;
    }

private:
    bool m_text = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view doc(reinterpret_cast<const char*>(data), size);
    Recorder fast(false);
    Recorder reference(true);
    office::ReadError fastError;
    office::ReadError referenceError;
    const bool fastOk = fast.Parse(doc, fastError);
    const bool referenceOk = reference.Parse(doc, referenceError);
    const bool nonAscii = std::any_of(data, data + size, [](std::uint8_t b) { return b >= 0x80; });
    if (fastOk != referenceOk && !(fastOk && nonAscii)) __builtin_trap();
    if (fastOk && referenceOk && fast.events != reference.events) __builtin_trap();
    if (!fastOk && fastError.ok()) __builtin_trap();
    // Both refuse a document for the same kind of reason.
    if (!fastOk && !referenceOk && fastError.kind != referenceError.kind) __builtin_trap();
    return 0;
}
