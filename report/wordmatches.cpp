// The match report of a document, text file or web page (see
// wordmatches.h). The steps are the search's own: the file read by the
// loader Documents.Open uses, under one memory budget; before every
// keyword the spacing passes of the search when it clears spacing; then
// the keyword through FindOccurrences, the walk behind Find.Execute.
#include "report/wordmatches.h"

#include "office/word/wordfind.h"
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "report/snippet.h"

#include <algorithm>
#include <map>

namespace report {

namespace {

const char* StoryName(office::StoryKind kind)
{
    switch (kind) {
    case office::StoryKind::Main: return "Main text";
    case office::StoryKind::Footnotes: return "Footnote";
    case office::StoryKind::HeadersFooters: return "Header/footer";
    case office::StoryKind::Comments: return "Comment";
    case office::StoryKind::Endnotes: return "Endnote";
    case office::StoryKind::TextBoxes: return "Text box";
    case office::StoryKind::HeaderTextBoxes: return "Header text box";
    case office::StoryKind::Title: return "Title";
    }
    return "Text";
}

// Where each story's paragraphs end, found once per story and only as far
// into it as a hit lies, so that numbering hits near the start of a long
// story costs little.
class ParagraphIndex {
public:
    explicit ParagraphIndex(office::WordDocument& document) : m_document(document) {}

    std::size_t Number(std::size_t story, std::size_t offset)
    {
        Scan& scan = m_scans[story];
        const std::u16string_view text = m_document.Text(story);
        const std::size_t target = std::min(offset, text.size());
        while (scan.done < target) {
            // A stretch at a time, with a look at the stop request between.
            const std::size_t stop = std::min(target, scan.done + kStretch);
            for (std::size_t i = scan.done; i < stop; ++i) {
                if (IsParagraphEnd(text[i])) scan.ends.push_back(i);
            }
            scan.done = stop;
            platform::ThrowIfStopRequested();
        }
        return static_cast<std::size_t>(std::lower_bound(scan.ends.begin(), scan.ends.end(), offset) -
                                        scan.ends.begin()) +
               1;
    }

private:
    static constexpr std::size_t kStretch = 1 << 16;
    struct Scan {
        std::size_t done = 0;  // units looked at
        std::vector<std::size_t> ends;
    };
    office::WordDocument& m_document;
    std::map<std::size_t, Scan> m_scans;
};

void ClearSpacing(office::WordDocument& document)
{
    // Tabs become spaces, then eleven halvings bring any run of up to 2048
    // spaces down to one: the search's passes, with its arguments.
    office::FindRequest request;
    request.options.matchCase = true;
    request.replaceWith = u" ";
    request.replace = office::ReplaceMode::All;
    request.findText = u"^t";
    office::ExecuteFind(document, request);
    request.findText = u"  ";
    for (int pass = 0; pass < 11; ++pass) office::ExecuteFind(document, request);
}

}  // namespace

MatchReport WordFileMatches(const std::string& path, const std::vector<std::u16string>& keywords,
                            const _FindedConditions& conditions, std::size_t maxHits)
{
    MatchReport report;
    std::shared_ptr<office::WordDocument> loaded;
    office::ReadError error;
    try {
        if (!path.empty()) loaded = office::ReadWordDocument(path, error);
    } catch (const platform::OperationCancelled&) {
        throw;
    } catch (const std::exception& e) {
        error.detail = e.what();
    }
    if (!loaded) {
        platform::ThrowIfStopRequested();
        report.error = path.empty() ? "no file name" : error.detail;
        return report;
    }
    office::WordDocument& document = *loaded;
    ParagraphIndex paragraphs(document);
    report.opened = true;
    for (const std::u16string& keyword : keywords) {
        platform::ThrowIfStopRequested();
        if (conditions.ClearSeriesSpace != 0) ClearSpacing(document);
        office::FindRequest request;
        request.findText = keyword;
        request.options = {conditions.MatchCase != 0, conditions.MatchWholeWord != 0, conditions.MatchWildcards != 0,
                           conditions.MatchSoundsLike != 0, conditions.MatchAllWordForms != 0};
        const std::vector<office::FoundRange> found = office::FindOccurrences(document, request, maxHits);
        KeywordMatches entry;
        entry.found = !found.empty();
        for (std::size_t k = 0; k < found.size() && k < maxHits; ++k) {
            const office::FoundRange& f = found[k];
            const std::u16string_view story = document.Text(f.story);
            const TextSpan16 para = ParagraphAround(story, f.start, f.end, kSnippetWidth + 1);
            const Snippet snippet =
                MakeSnippet(story.substr(para.begin, para.end - para.begin), f.start - para.begin, f.end - para.begin);
            MatchHit hit;
            hit.place = std::string(StoryName(document.Kind(f.story))) + ", paragraph " +
                        std::to_string(paragraphs.Number(f.story, f.start));
            hit.snippet = snippet.text;
            hit.hitStart = snippet.hitStart;
            hit.hitEnd = snippet.hitEnd;
            entry.hits.push_back(std::move(hit));
        }
        report.keywords.push_back(std::move(entry));
    }
    return report;
}

}  // namespace report
