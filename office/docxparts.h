// Finding the parts of a word-processing package: the main document from
// the package relationships (or, failing those, the content types), and the
// headers, footers, notes and comments from the main document's own
// relationships. Targets are resolved to zip entry names.
#pragma once

#include "office/zippackage.h"

#include <string>
#include <vector>

namespace office {

struct DocxRelationship {
    std::string type;    // the relationship type URI
    std::string target;  // resolved part name, empty for an external target
};

enum class DocxPartKind { Header, Footer, Footnotes, Endnotes, Comments };

struct DocxPart {
    DocxPartKind kind;
    std::string name;
};

struct DocxLayout {
    std::string mainPart;
    std::vector<DocxPart> parts;  // in relationship order
};

// Parses a relationships part owned by `sourcePart`.
bool ParseRelationships(std::string_view xml, std::string_view sourcePart, std::vector<DocxRelationship>& out,
                        std::string& error);

// Locates the main document and its story parts in an open package.
bool FindDocxLayout(ZipPackage& package, DocxLayout& layout, std::string& error);

}  // namespace office
