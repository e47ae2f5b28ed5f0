// The built-in Word's document model (see worddocument.h).
#include "office/worddocument.h"

#include "platform/codepage.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <stdexcept>

namespace office {

namespace {

bool ShareUnit(std::u16string_view a, std::u16string_view b)
{
    return std::any_of(a.begin(), a.end(), [b](char16_t c) { return b.find(c) != std::u16string_view::npos; });
}

}  // namespace

WordDocument::WordDocument(WordContent content)
{
    m_stories.reserve(content.stories.size());
    for (Story& s : content.stories) {
        StoryState state;
        state.kind = s.kind;
        state.text = std::move(s.text);
        m_stories.push_back(std::move(state));
    }
}

WordDocument::~WordDocument() = default;

const FoldedText& WordDocument::Folded(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (!s.folded) s.folded = std::make_unique<FoldedText>(s.text);
    return *s.folded;
}

WordBreaks& WordDocument::Breaks(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (!s.breaks) s.breaks = std::make_unique<WordBreaks>(s.text);
    return *s.breaks;
}

const Utf8Story& WordDocument::Utf8(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (s.utf8) return *s.utf8;
    if (s.text.size() > 0x3FFFFFFFu) throw std::length_error("story too long");
    auto u = std::make_unique<Utf8Story>();
    u->bytes.reserve(s.text.size());
    u->unitAt.reserve(s.text.size() + 1);
    std::size_t i = 0;
    while (i < s.text.size()) {
        const std::size_t start = i;
        char32_t c = s.text[i++];
        if (U16_IS_LEAD(c) && i < s.text.size() && U16_IS_TRAIL(s.text[i])) {
            c = static_cast<char32_t>(U16_GET_SUPPLEMENTARY(c, s.text[i]));
            ++i;
        } else if (U16_IS_SURROGATE(c)) {
            c = 0xFFFD;  // a lone surrogate cannot be UTF-8
        }
        const std::size_t before = u->bytes.size();
        AppendUtf8(u->bytes, c);
        u->unitAt.insert(u->unitAt.end(), u->bytes.size() - before, static_cast<std::uint32_t>(start));
    }
    u->unitAt.push_back(static_cast<std::uint32_t>(s.text.size()));
    s.utf8 = std::move(u);
    return *s.utf8;
}

WordCodes& WordDocument::Codes(std::size_t story)
{
    StoryState& s = m_stories.at(story);
    if (!s.codes) s.codes = std::make_unique<WordCodes>(s.text, Breaks(story));
    return *s.codes;
}

void WordDocument::ApplyReplacement(std::vector<std::pair<std::size_t, std::u16string>> changes,
                                    std::u16string_view found, std::u16string_view inserted)
{
    if (changes.empty()) return;
    for (auto& [index, text] : changes) {
        StoryState& s = m_stories.at(index);
        // Derived views point into the old text: drop them first.
        s.codes.reset();
        s.breaks.reset();
        s.folded.reset();
        s.utf8.reset();
        s.text = std::move(text);
    }
    ++m_version;
    m_results.clear();
    // A new occurrence of an absent text would have to contain inserted
    // units; texts sharing none with the insertion stay absent. An empty
    // insertion joins text that was apart, so it proves nothing.
    if (inserted.empty()) {
        m_absent.clear();
    } else {
        for (auto it = m_absent.begin(); it != m_absent.end();) {
            if (ShareUnit(*it, inserted)) it = m_absent.erase(it);
            else ++it;
        }
    }
    // Every occurrence of the found text was replaced or overlapped a
    // replaced one; it can only come back through the inserted units.
    if (!found.empty() && !ShareUnit(found, inserted) && (found.size() == 1 || !inserted.empty())) {
        m_absent.emplace(found);
    }
}

bool WordDocument::IsKnownAbsent(std::u16string_view exact) const
{
    return m_absent.find(exact) != m_absent.end();
}

void WordDocument::RememberAbsent(std::u16string_view exact)
{
    if (m_absent.size() < 4096) m_absent.emplace(exact);
}

bool WordDocument::CachedResult(const std::u16string& key, bool& found) const
{
    const auto it = m_results.find(key);
    if (it == m_results.end()) return false;
    found = it->second;
    return true;
}

void WordDocument::CacheResult(std::u16string key, bool found)
{
    if (m_results.size() >= 4096) m_results.clear();
    m_results.emplace(std::move(key), found);
}

}  // namespace office
