// Word-by-word matching for "sounds like" and "all word forms" (see
// wordsequencematcher.h).
#include "office/wordsequencematcher.h"

#include "office/soundslike.h"
#include "office/matchtext.h"
#include "office/worddocument.h"
#include "platform/cancellation.h"

#include <algorithm>

namespace office {

namespace {

// A word as it is coded: NFC, without soft or optional hyphens and other
// format characters a reader does not see.
std::u16string Comparable(std::u16string_view word) { return PrepareForMatch(word, false, false); }

}  // namespace

WordSequenceMatcher::WordSequenceMatcher(std::u16string_view findText, Mode mode) : m_mode(mode), m_keyword(findText)
{
    WordBreaks breaks(m_keyword);
    for (const TextSpan& w : breaks.Words()) {
        const std::u16string word = Comparable(std::u16string_view(m_keyword).substr(w.start, w.end - w.start));
        m_words.push_back(word);
        if (mode == Mode::SoundsLike) {
            m_codes.push_back(SoundexCode(word));
        } else {
            m_keys.emplace_back();
            m_forms.Keys(word, m_keys.back());
        }
    }
}

bool WordSequenceMatcher::Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m)
{
    const std::vector<TextSpan>& words = doc.Breaks(story).Words();
    const std::u16string_view text = doc.Text(story);
    const std::size_t n = m_words.size();
    if (n == 0 || words.size() < n) return false;
    // Coding a word costs a microsecond or so: a look at the stop request
    // every thousand words keeps Stop prompt over millions of them.
    platform::StopCheck stop(1024);
    for (std::size_t i = from; i + n <= words.size(); ++i) {
        stop();
        bool all = true;
        for (std::size_t k = 0; all && k < n; ++k) {
            const TextSpan& w = words[i + k];
            all = WordMatches(k, Comparable(text.substr(w.start, w.end - w.start)));
        }
        if (all) {
            m.start = words[i].start;
            m.end = words[i + n - 1].end;
            m.resume = i + n;
            return true;
        }
    }
    return false;
}

bool WordSequenceMatcher::WordMatches(std::size_t k, std::u16string_view word)
{
    if (m_mode == Mode::SoundsLike) {
        const std::string code = SoundexCode(word);
        if (!m_codes[k].empty() || !code.empty()) return code == m_codes[k];
        return FullCaseFold(word) == FullCaseFold(m_words[k]);
    }
    m_scratch.clear();
    m_forms.Keys(word, m_scratch);
    for (const std::string& key : m_scratch) {
        if (std::find(m_keys[k].begin(), m_keys[k].end(), key) != m_keys[k].end()) return true;
    }
    return false;
}

}  // namespace office
