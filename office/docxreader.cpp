// Office Open XML word-processing packages: opens the zip, follows the
// relationships to the main document and its story parts, and reads each
// part's text with the XML reader. Password-protected documents are
// compound files, not zips, and are refused as encrypted.
#include "office/docxreader.h"

#include "office/compoundfile.h"
#include "office/docxparts.h"
#include "office/docxtext.h"
#include "office/zippackage.h"

namespace office {

namespace {

bool ReadPart(ZipPackage& package, const std::string& part, std::u16string& story, std::u16string& boxes,
              std::string& error)
{
    std::string xml;
    if (!package.ReadEntry(part, xml, error)) return false;
    // The text cannot have more characters than the part has bytes: room
    // for that many saves regrowing (and copying) a large story, and costs
    // only address space until the text fills it.
    if (story.empty()) story.reserve(xml.size());
    DocxText reader(story, boxes);
    std::string xmlError;
    if (reader.Parse(xml, xmlError)) return true;
    if (!xmlError.empty()) error = "part '" + part + "': " + xmlError;
    return false;
}

}  // namespace

bool ReadDocx(ByteView bytes, WordContent& out, std::string& error)
{
    out.stories.clear();
    if (IsCompoundFile(bytes)) {
        CompoundFile cf;
        std::string ignored;
        if (cf.Open(bytes, ignored) && (cf.HasStream("EncryptionInfo") || cf.HasStream("EncryptedPackage")))
            error = "the document is encrypted (password protected)";
        else
            error = "not an Office Open XML package (a compound file)";
        return false;
    }
    ZipPackage package;
    if (!package.Open(bytes, error)) return false;
    DocxLayout layout;
    if (!FindDocxLayout(package, layout, error)) return false;

    std::u16string main, footnotes, headers, comments, endnotes, boxes, headerBoxes;
    if (!ReadPart(package, layout.mainPart, main, boxes, error)) return false;
    for (const DocxPart& part : layout.parts) {
        bool ok = true;
        switch (part.kind) {
        case DocxPartKind::Header:
        case DocxPartKind::Footer: ok = ReadPart(package, part.name, headers, headerBoxes, error); break;
        case DocxPartKind::Footnotes: ok = ReadPart(package, part.name, footnotes, boxes, error); break;
        case DocxPartKind::Endnotes: ok = ReadPart(package, part.name, endnotes, boxes, error); break;
        case DocxPartKind::Comments: ok = ReadPart(package, part.name, comments, boxes, error); break;
        }
        if (!ok) return false;
    }

    out.stories.push_back({StoryKind::Main, std::move(main)});
    auto add = [&](StoryKind kind, std::u16string& text) {
        if (!text.empty()) out.stories.push_back({kind, std::move(text)});
    };
    add(StoryKind::Footnotes, footnotes);
    add(StoryKind::HeadersFooters, headers);
    add(StoryKind::Comments, comments);
    add(StoryKind::Endnotes, endnotes);
    add(StoryKind::TextBoxes, boxes);
    add(StoryKind::HeaderTextBoxes, headerBoxes);
    return true;
}

}  // namespace office
