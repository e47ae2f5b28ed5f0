// Office Open XML word-processing packages: opens the zip, follows the
// relationships to the main document and its story parts, and reads each
// part's text with the XML reader. Password-protected documents are
// compound files, not zips, and are refused as encrypted.
#include "office/word/docxreader.h"

#include "office/containers/compoundfile.h"
#include "office/containers/zippackage.h"
#include "office/word/docxparts.h"
#include "office/word/docxtext.h"

namespace office {

namespace {

// Makes room for `more` units in `text`; a string that moves to a larger
// buffer holds its old copy too for a moment, and that is charged.
bool Reserve(std::u16string& text, std::size_t more, ReadBudget* budget, ReadError& error)
{
    if (text.capacity() - text.size() >= more) return true;
    BudgetHold moving(budget);
    if (!moving.TryAdd(std::uint64_t{text.size()} * 2)) {
        error = {ReadErrorKind::TooLarge, moving.Refusal(std::uint64_t{text.size()} * 2, "the text of the document")};
        return false;
    }
    text.reserve(text.size() + more);
    return true;
}

bool ReadPart(ZipPackage& package, const std::string& part, std::u16string& story, std::u16string& boxes,
              BudgetHold& texts, ReadError& error)
{
    std::string xml;
    BudgetHold xmlHold;
    if (!package.ReadEntry(part, xml, error, &xmlHold)) return false;
    // The text cannot have more characters than the part has bytes: room
    // for that many saves regrowing (and copying) a large story, and costs
    // only address space until the text fills it; the text is charged as
    // it is written.
    if (!Reserve(story, xml.size(), texts.Budget(), error) || !Reserve(boxes, xml.size(), texts.Budget(), error))
        return false;
    DocxText reader(story, boxes, &texts);
    ReadError xmlError;
    if (reader.Parse(xml, xmlError)) return true;
    // A refusal for size names what it refused already and comes first, as
    // the kind of error it is.
    if (xmlError.Is(ReadErrorKind::TooLarge)) error = std::move(xmlError);
    else if (!xmlError.ok()) error = {xmlError.kind, "part '" + part + "': " + xmlError.detail};
    return false;
}

}  // namespace

bool ReadDocx(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget)
{
    out.stories.clear();
    if (IsCompoundFile(bytes)) {
        CompoundFile cf;
        ReadError ignored;
        if (cf.Open(bytes, ignored) && (cf.HasStream("EncryptionInfo") || cf.HasStream("EncryptedPackage")))
            error = {ReadErrorKind::Encrypted, "the document is encrypted (password protected)"};
        else error = {ReadErrorKind::NotThisFormat, "not an Office Open XML package (a compound file)"};
        return false;
    }
    ZipPackage package(budget);
    if (!package.Open(bytes, error)) return false;
    DocxLayout layout;
    if (!FindDocxLayout(package, layout, error, budget)) return false;

    std::u16string main, footnotes, headers, comments, endnotes, boxes, headerBoxes;
    BudgetHold texts(budget);
    if (!ReadPart(package, layout.mainPart, main, boxes, texts, error)) return false;
    for (const DocxPart& part : layout.parts) {
        bool ok = true;
        switch (part.kind) {
        case DocxPartKind::Header:
        case DocxPartKind::Footer: ok = ReadPart(package, part.name, headers, headerBoxes, texts, error); break;
        case DocxPartKind::Footnotes: ok = ReadPart(package, part.name, footnotes, boxes, texts, error); break;
        case DocxPartKind::Endnotes: ok = ReadPart(package, part.name, endnotes, boxes, texts, error); break;
        case DocxPartKind::Comments: ok = ReadPart(package, part.name, comments, boxes, texts, error); break;
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

bool ReadDocx(ByteView bytes, WordContent& out, ReadError& error)
{
    return ReadDocx(bytes, out, error, nullptr);
}

}  // namespace office
