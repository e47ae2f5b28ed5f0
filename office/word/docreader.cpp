// Word binary documents: finds the FIB, the piece table and the story
// lengths, assembles the text through the piece table and cuts it into
// stories. Word 97-2003 text is UTF-16 or Word's 8-bit mapping; Word 6/95
// text is 8-bit in the code page of the document's language.
#include "office/word/docreader.h"

#include "office/containers/compoundfile.h"
#include "office/containers/readbudget.h"
#include "office/text/charsetdecoder.h"
#include "office/word/doc6codepage.h"
#include "office/word/docfib.h"
#include "office/word/docpiecetable.h"
#include "office/word/docstorytext.h"

#include <algorithm>
#include <vector>

namespace office {

namespace {

constexpr const char* kEncrypted = "the document is encrypted (password protected)";

// Compound-file names compare without regard to case; some writers store
// "worddocument" or "1table". Returns the stored spelling, or "".
std::string FindStream(const CompoundFile& cf, const std::string& wanted)
{
    if (cf.HasStream(wanted)) return wanted;
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    };
    const std::string key = lower(wanted);
    for (const std::string& name : cf.RootNames()) {
        if (lower(name) == key) return name;
    }
    return {};
}

StoryKind KindOf(DocStory s)
{
    switch (s) {
    case DocStory::Footnotes: return StoryKind::Footnotes;
    case DocStory::Headers: return StoryKind::HeadersFooters;
    case DocStory::Comments: return StoryKind::Comments;
    case DocStory::Endnotes: return StoryKind::Endnotes;
    case DocStory::TextBoxes: return StoryKind::TextBoxes;
    case DocStory::HeaderTextBoxes: return StoryKind::HeaderTextBoxes;
    default: return StoryKind::Main;
    }
}

// Character-position range of each story, clamped to the text that the
// piece table actually holds (a FIB may claim more than is there).
struct StoryRange {
    DocStory story;
    std::size_t begin;
    std::size_t end;
};

std::vector<StoryRange> StoryRanges(const DocFib& fib, std::size_t available)
{
    std::vector<StoryRange> ranges;
    std::uint64_t cp = 0;
    for (std::size_t i = 0; i < fib.ccp.size(); ++i) {
        const auto story = static_cast<DocStory>(i);
        const std::uint64_t begin = cp;
        cp += fib.ccp[i];
        if (story == DocStory::Macros) continue;
        if (story != DocStory::Main && fib.ccp[i] == 0) continue;
        const auto b = static_cast<std::size_t>(std::min<std::uint64_t>(begin, available));
        const auto e = static_cast<std::size_t>(std::min<std::uint64_t>(cp, available));
        ranges.push_back({story, b, e});
    }
    return ranges;
}

bool BuildPieceTable(const DocFib& fib, ByteView wordDocument, ByteView clxHolder, std::uint64_t totalCp,
                     DocPieceTable& pieces, ReadError& error)
{
    const bool usePieceTable = fib.lcbClx > 0 && (!fib.word6 || fib.complex);
    if (usePieceTable) {
        if (fib.fcClx > clxHolder.size() || fib.lcbClx > clxHolder.size() - fib.fcClx) {
            error = {ReadErrorKind::Damaged, "Word piece table lies outside its stream"};
            return false;
        }
        const auto layout = !fib.word6    ? DocPieceTable::Layout::Word97
                            : fib.extChar ? DocPieceTable::Layout::Word6Wide
                                          : DocPieceTable::Layout::Word6;
        return pieces.Parse(clxHolder.subspan(fib.fcClx, fib.lcbClx), layout, error);
    }
    // Saved without a piece table: the text runs from fcMin.
    const bool compressed = !fib.extChar;
    const std::uint64_t unit = compressed ? 1 : 2;
    if (fib.fcMin > wordDocument.size()) {
        error = {ReadErrorKind::Damaged, "Word document text lies outside its stream"};
        return false;
    }
    const std::uint64_t room = (wordDocument.size() - fib.fcMin) / unit;
    pieces.SetContiguous(fib.fcMin, static_cast<std::uint32_t>(std::min<std::uint64_t>(totalCp, room)), compressed);
    return true;
}

}  // namespace

bool ReadWordBinary(ByteView bytes, WordContent& out, ReadError& error, ReadBudget* budget)
{
    out.stories.clear();
    if (!IsCompoundFile(bytes)) {
        error = {ReadErrorKind::NotThisFormat, "not a Word binary document"};
        return false;
    }
    CompoundFile cf;
    if (!cf.Open(bytes, error)) return false;
    // A password-protected Office Open XML document is a compound file
    // holding the encrypted package: it cannot be read without the password.
    if (!FindStream(cf, "EncryptionInfo").empty() || !FindStream(cf, "EncryptedPackage").empty()) {
        error = {ReadErrorKind::Encrypted, kEncrypted};
        return false;
    }
    std::vector<std::uint8_t> wordStream;
    const std::string wordName = FindStream(cf, "WordDocument");
    if (wordName.empty()) {
        error = {ReadErrorKind::NotThisFormat, "not a Word document (no WordDocument stream)"};
        return false;
    }
    if (!cf.ReadStream(wordName, wordStream, error)) return false;
    const ByteView word(wordStream.data(), wordStream.size());

    DocFib fib;
    if (!ParseDocFib(word, fib, error)) return false;
    if (fib.encrypted) {
        error = {ReadErrorKind::Encrypted, kEncrypted};
        return false;
    }

    std::vector<std::uint8_t> tableStream;
    ByteView clxHolder = word;
    if (!fib.word6) {
        const std::string tableName = FindStream(cf, fib.tableStream1 ? "1Table" : "0Table");
        if (tableName.empty()) {
            error = {ReadErrorKind::Damaged, "Word document's table stream is missing"};
            return false;
        }
        if (!cf.ReadStream(tableName, tableStream, error)) return false;
        clxHolder = ByteView(tableStream.data(), tableStream.size());
    }

    std::uint64_t totalCp = 0;
    for (std::uint32_t n : fib.ccp) {
        if (n > 0x7FFFFFFFu) {
            error = {ReadErrorKind::Damaged, "Word document header is damaged (story length)"};
            return false;
        }
        totalCp += n;
    }

    DocPieceTable pieces;
    if (!BuildPieceTable(fib, word, clxHolder, totalCp, pieces, error)) return false;
    // Every character is stored once in the WordDocument stream, so a
    // document cannot hold more characters than that stream has bytes;
    // pieces that all point at the same bytes must not multiply the text.
    const auto cpLimit = static_cast<std::uint32_t>(
        std::min<std::uint64_t>({totalCp, pieces.CpCount(), static_cast<std::uint64_t>(word.size())}));

    // The text read (two bytes a character, and 8-bit text's bytes first)
    // and its cleaned stories live at once; pieces may all point at the
    // same bytes, so this may be far more than the stream.
    BudgetHold text(budget);
    text.Add(std::uint64_t{cpLimit} * (fib.word6 && !fib.extChar ? 5 : 4), "the text of the document");

    // Word 6/95 text is 8-bit unless the file says it holds extended
    // (16-bit) characters, as some Word 95 writers do.
    if (fib.word6 && !fib.extChar) {
        std::string raw;
        if (!pieces.ReadBytes(word, cpLimit, raw, error)) return false;
        const int codePage = Word6CodePage(fib, word);
        for (const StoryRange& r : StoryRanges(fib, raw.size())) {
            std::u16string decoded;
            AppendCodePageText(std::string_view(raw).substr(r.begin, r.end - r.begin), codePage, decoded);
            out.stories.push_back({KindOf(r.story), CleanDocStoryText(decoded)});
        }
        return true;
    }

    std::u16string raw;
    if (!pieces.ReadUnicode(word, cpLimit, raw, error)) return false;
    for (const StoryRange& r : StoryRanges(fib, raw.size())) {
        out.stories.push_back(
            {KindOf(r.story), CleanDocStoryText(std::u16string_view(raw).substr(r.begin, r.end - r.begin))});
    }
    return true;
}

}  // namespace office
