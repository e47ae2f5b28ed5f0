// Word-by-word matching for "sounds like" and "all word forms" (see
// wordsequencematcher.h).
#include "office/word/wordsequencematcher.h"

#include "office/word/worddocument.h"
#include "office/word/wordforms.h"

#include <memory>

namespace office {

WordSequenceMatcher::WordSequenceMatcher(std::u16string_view findText, Mode mode) : m_mode(mode)
{
    WordBreaks breaks(findText);
    std::unique_ptr<WordForms> forms;
    if (mode == Mode::WordForms) forms = std::make_unique<WordForms>();
    for (const TextSpan& w : breaks.Words()) {
        m_keys.emplace_back();
        AppendWordKeys(mode, findText.substr(w.start, w.end - w.start), forms.get(), m_keys.back());
    }
}

bool WordSequenceMatcher::Next(WordDocument& doc, std::size_t story, std::size_t from, FindMatch& m)
{
    if (m_keys.empty()) return false;
    const std::size_t i = doc.Codes(story).FindSequence(m_mode, m_keys, from);
    if (i == WordCodes::npos) return false;
    const std::vector<TextSpan>& words = doc.Breaks(story).Words();
    m.start = words[i].start;
    m.end = words[i + m_keys.size() - 1].end;
    m.resume = i + m_keys.size();
    return true;
}

}  // namespace office
