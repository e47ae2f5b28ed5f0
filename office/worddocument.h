// One open document of the built-in Word: its stories, in the order Find
// searches them, plus what the Find engine derives from them and keeps until
// the text changes (case-folded text, word boundaries, a UTF-8 copy for
// wildcard searches). Replacements happen here, in memory only: nothing is
// ever written back to the file.
//
// A search for spacing that the document is known not to contain costs
// nothing: the document remembers exact texts found absent, and keeps that
// knowledge across a replacement that cannot have brought them back.
#pragma once

#include "office/textfold.h"
#include "office/wordbreaks.h"
#include "office/wordcodes.h"
#include "office/wordcontent.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace office {

// A story as UTF-8, with the UTF-16 offset of every byte's character.
struct Utf8Story {
    std::string bytes;
    std::vector<std::uint32_t> unitAt;  // bytes.size() + 1 entries
};

class WordDocument {
public:
    explicit WordDocument(WordContent content);
    ~WordDocument();
    WordDocument(const WordDocument&) = delete;
    WordDocument& operator=(const WordDocument&) = delete;

    std::size_t StoryCount() const { return m_stories.size(); }
    StoryKind Kind(std::size_t story) const { return m_stories[story].kind; }
    std::u16string_view Text(std::size_t story) const { return m_stories[story].text; }

    // Derived views, built on first use and kept until the story changes.
    const FoldedText& Folded(std::size_t story);
    WordBreaks& Breaks(std::size_t story);
    const Utf8Story& Utf8(std::size_t story);
    WordCodes& Codes(std::size_t story);

    // Bumped by every change of the text.
    std::uint64_t Version() const { return m_version; }

    // Replaces the text of some stories after a replacement of every
    // occurrence of `found` (an exact text, or empty when the search was no
    // plain text) by `inserted`. Keeps what is still known to be absent.
    void ApplyReplacement(std::vector<std::pair<std::size_t, std::u16string>> changes,
                          std::u16string_view found, std::u16string_view inserted);

    // Exact texts (case and all) that no story contains.
    bool IsKnownAbsent(std::u16string_view exact) const;
    void RememberAbsent(std::u16string_view exact);

    // Results of searches that changed nothing, valid until the text changes.
    bool CachedResult(const std::u16string& key, bool& found) const;
    void CacheResult(std::u16string key, bool found);

private:
    struct StoryState {
        StoryKind kind = StoryKind::Main;
        std::u16string text;
        std::unique_ptr<FoldedText> folded;
        std::unique_ptr<WordBreaks> breaks;
        std::unique_ptr<Utf8Story> utf8;
        std::unique_ptr<WordCodes> codes;
    };

    std::vector<StoryState> m_stories;
    std::uint64_t m_version = 0;
    std::set<std::u16string, std::less<>> m_absent;
    std::map<std::u16string, bool> m_results;
};

}  // namespace office
