// Package navigation for word-processing documents (see docxparts.h).
#include "office/word/docxparts.h"

#include "office/containers/parttargetindex.h"
#include "office/containers/xmlsax.h"

#include <functional>

namespace office {

namespace {

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Relationship types end in the same words in the transitional and the
// strict schemas, whose URIs otherwise differ.
bool TypeIs(std::string_view type, std::string_view word)
{
    const auto slash = type.rfind('/');
    return slash != std::string_view::npos && type.substr(slash + 1) == word;
}

// Hands each internal relationship (type, target) to a callback as the part
// is parsed; nothing is kept.
class RelationshipsReader : public XmlSax {
public:
    using Sink = std::function<void(std::string_view type, std::string_view target)>;
    RelationshipsReader(ReadBudget* budget, Sink sink) : XmlSax(XmlLimitsFor(budget)), m_sink(std::move(sink)) {}

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local != "Relationship") return;
        const char* type = attrs.Get("", "Type");
        const char* target = attrs.Get("", "Target");
        const char* mode = attrs.Get("", "TargetMode");
        if (type == nullptr || target == nullptr) return;
        if (mode != nullptr && std::string_view(mode) == "External") return;
        m_sink(type, target);
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}

private:
    Sink m_sink;
};

// The main document named by [Content_Types].xml, for packages whose
// relationships are missing or do not name one.
class ContentTypesReader : public XmlSax {
public:
    explicit ContentTypesReader(ReadBudget* budget) : XmlSax(XmlLimitsFor(budget)) {}
    std::string mainPart;

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local != "Override" || !mainPart.empty()) return;
        const char* part = attrs.Get("", "PartName");
        const char* type = attrs.Get("", "ContentType");
        if (part == nullptr || type == nullptr) return;
        const std::string_view t(type);
        const bool wordMain = EndsWith(t, ".main+xml") &&
                              (t.find("wordprocessingml") != std::string_view::npos ||
                               t.find("application/vnd.ms-word.") != std::string_view::npos);
        if (wordMain) mainPart = ResolvePartTarget("", part);
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}
};

bool StoryKindOf(std::string_view type, DocxPartKind& kind)
{
    if (TypeIs(type, "header")) kind = DocxPartKind::Header;
    else if (TypeIs(type, "footer")) kind = DocxPartKind::Footer;
    else if (TypeIs(type, "footnotes")) kind = DocxPartKind::Footnotes;
    else if (TypeIs(type, "endnotes")) kind = DocxPartKind::Endnotes;
    else if (TypeIs(type, "comments")) kind = DocxPartKind::Comments;
    else return false;
    return true;
}

}  // namespace

bool FindDocxLayout(ZipPackage& package, DocxLayout& layout, ReadError& error, ReadBudget* budget)
{
    layout = DocxLayout{};
    std::string xml;
    BudgetHold held;  // what `xml` costs while it is kept
    const std::string rootRels = RelationshipsPartOf("");
    if (package.HasEntry(rootRels)) {
        if (!package.ReadEntry(rootRels, xml, error, &held)) return false;
        // The package is the source here: targets resolve from the root, at
        // the cost of their own length.
        RelationshipsReader reader(budget, [&](std::string_view type, std::string_view target) {
            if (!layout.mainPart.empty() || !TypeIs(type, "officeDocument")) return;
            std::string part = ResolvePartTarget("", target);
            if (!part.empty() && package.HasEntry(part)) layout.mainPart = std::move(part);
        });
        if (!reader.Parse(xml, error)) {
            error.detail = "package relationships: " + error.detail;
            return false;
        }
    }
    if (layout.mainPart.empty() && package.HasEntry("[Content_Types].xml")) {
        if (!package.ReadEntry("[Content_Types].xml", xml, error, &held)) return false;
        ContentTypesReader types(budget);
        if (types.Parse(xml, error) && !types.mainPart.empty() && package.HasEntry(types.mainPart))
            layout.mainPart = types.mainPart;
    }
    if (layout.mainPart.empty()) {
        error = {ReadErrorKind::NotThisFormat, "the package holds no Word document"};
        return false;
    }

    const std::string mainRels = RelationshipsPartOf(layout.mainPart);
    if (!package.HasEntry(mainRels)) return true;  // a document with a body only
    if (!package.ReadEntry(mainRels, xml, error, &held)) return false;
    const std::vector<std::string> entries = package.EntryNames();
    PartTargetIndex index(entries, layout.mainPart);
    // A part named twice (or the main part itself) is read once: parts are
    // told apart by the entry they resolve to.
    std::vector<bool> taken(entries.size(), false);
    const std::size_t main = index.EntryNamed(layout.mainPart);
    if (main != PartTargetIndex::npos) taken[main] = true;
    RelationshipsReader reader(budget, [&](std::string_view type, std::string_view target) {
        DocxPartKind kind;
        if (!StoryKindOf(type, kind)) return;
        const std::size_t at = index.Find(target);
        if (at == PartTargetIndex::npos || taken[at]) return;
        taken[at] = true;
        layout.parts.push_back({kind, index.Name(at)});
    });
    if (!reader.Parse(xml, error)) {
        error.detail = "document relationships: " + error.detail;
        return false;
    }
    return true;
}

}  // namespace office
