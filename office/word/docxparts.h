// Finding the parts of a word-processing package: the main document from
// the package relationships (or, failing those, the content types), and the
// headers, footers, notes and comments from the main document's own
// relationships. Targets are resolved to zip entry names.
//
// However many relationships a part has (every hyperlink and picture is
// one), each costs the bytes it takes in its relationships part: targets
// are looked up by their own length (parttargetindex.h), nothing is kept
// per relationship but the story parts found, and a part named by several
// relationships is listed, and so read, once.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/zippackage.h"

#include <string>
#include <vector>

namespace office {

enum class DocxPartKind { Header, Footer, Footnotes, Endnotes, Comments };

struct DocxPart {
    DocxPartKind kind;
    std::string name;
};

struct DocxLayout {
    std::string mainPart;
    std::vector<DocxPart> parts;  // in relationship order, each part once
};

// Locates the main document and its story parts in an open package; the
// relationship parts' XML is charged to `budget`.
bool FindDocxLayout(ZipPackage& package, DocxLayout& layout, ReadError& error, ReadBudget* budget = nullptr);

}  // namespace office
