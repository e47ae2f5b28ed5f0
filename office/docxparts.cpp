// Package navigation for word-processing documents (see docxparts.h).
#include "office/docxparts.h"

#include "office/xmlsax.h"

#include <set>

namespace office {

namespace {

constexpr std::size_t kMaxRelationships = 10000;
constexpr std::size_t kMaxStoryParts = 1000;

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

class RelationshipsReader : public XmlSax {
public:
    RelationshipsReader(std::string_view source, std::vector<DocxRelationship>& out) : m_source(source), m_out(out) {}

protected:
    void StartElement(const XmlName& name, const XmlAttributes& attrs) override
    {
        if (name.local != "Relationship") return;
        if (m_out.size() >= kMaxRelationships) {
            Stop("too many package relationships");
            return;
        }
        const char* type = attrs.Get("", "Type");
        const char* target = attrs.Get("", "Target");
        const char* mode = attrs.Get("", "TargetMode");
        if (type == nullptr || target == nullptr) return;
        DocxRelationship rel;
        rel.type = type;
        if (mode == nullptr || std::string_view(mode) != "External") rel.target = ResolvePartTarget(m_source, target);
        m_out.push_back(std::move(rel));
    }
    void EndElement(const XmlName&) override {}
    void CharacterData(std::string_view) override {}

private:
    std::string m_source;
    std::vector<DocxRelationship>& m_out;
};

// The main document named by [Content_Types].xml, for packages whose
// relationships are missing or do not name one.
class ContentTypesReader : public XmlSax {
public:
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

}  // namespace

bool ParseRelationships(std::string_view xml, std::string_view sourcePart, std::vector<DocxRelationship>& out,
                        std::string& error)
{
    out.clear();
    RelationshipsReader reader(sourcePart, out);
    return reader.Parse(xml, error);
}

bool FindDocxLayout(ZipPackage& package, DocxLayout& layout, std::string& error)
{
    layout = DocxLayout{};
    std::string xml;
    BudgetHold held;  // what `xml` costs while it is kept
    std::vector<DocxRelationship> rels;
    const std::string rootRels = RelationshipsPartOf("");
    if (package.HasEntry(rootRels)) {
        if (!package.ReadEntry(rootRels, xml, error, &held)) return false;
        if (!ParseRelationships(xml, "", rels, error)) {
            error = "package relationships: " + error;
            return false;
        }
        for (const auto& rel : rels) {
            if (TypeIs(rel.type, "officeDocument") && !rel.target.empty() && package.HasEntry(rel.target)) {
                layout.mainPart = rel.target;
                break;
            }
        }
    }
    if (layout.mainPart.empty() && package.HasEntry("[Content_Types].xml")) {
        if (!package.ReadEntry("[Content_Types].xml", xml, error, &held)) return false;
        ContentTypesReader types;
        if (types.Parse(xml, error) && !types.mainPart.empty() && package.HasEntry(types.mainPart))
            layout.mainPart = types.mainPart;
    }
    if (layout.mainPart.empty()) {
        error = "the package holds no Word document";
        return false;
    }

    const std::string mainRels = RelationshipsPartOf(layout.mainPart);
    if (!package.HasEntry(mainRels)) return true;  // a document with a body only
    if (!package.ReadEntry(mainRels, xml, error, &held)) return false;
    if (!ParseRelationships(xml, layout.mainPart, rels, error)) {
        error = "document relationships: " + error;
        return false;
    }
    std::set<std::string> seen;
    std::string mainKey = layout.mainPart;
    for (char& ch : mainKey) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    seen.insert(mainKey);
    for (const auto& rel : rels) {
        DocxPartKind kind;
        if (TypeIs(rel.type, "header")) kind = DocxPartKind::Header;
        else if (TypeIs(rel.type, "footer")) kind = DocxPartKind::Footer;
        else if (TypeIs(rel.type, "footnotes")) kind = DocxPartKind::Footnotes;
        else if (TypeIs(rel.type, "endnotes")) kind = DocxPartKind::Endnotes;
        else if (TypeIs(rel.type, "comments")) kind = DocxPartKind::Comments;
        else continue;
        // A part named twice (or the main part itself) is read once; part
        // names compare without regard to ASCII case.
        std::string key = rel.target;
        for (char& ch : key) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        if (rel.target.empty() || !seen.insert(key).second) continue;
        if (!package.HasEntry(rel.target)) continue;
        if (layout.parts.size() >= kMaxStoryParts) break;
        layout.parts.push_back({kind, rel.target});
    }
    return true;
}

}  // namespace office
