// ICU word boundaries over one story (see wordbreaks.h).
#include "office/word/wordbreaks.h"

#include "platform/cancellation.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <limits>
#include <stdexcept>

namespace office {

WordBreaks::WordBreaks(std::u16string_view text) : m_text(text)
{
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        throw std::length_error("story too long");
    }
    UErrorCode status = U_ZERO_ERROR;
    m_iter = ubrk_open(UBRK_WORD, "en", text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        if (m_iter != nullptr) ubrk_close(m_iter);
        m_iter = nullptr;
        throw std::runtime_error("word break iterator unavailable");
    }
}

WordBreaks::~WordBreaks()
{
    if (m_iter != nullptr) ubrk_close(m_iter);
}

bool WordBreaks::IsBoundary(std::size_t offset)
{
    if (offset == 0 || offset >= m_text.size()) return true;
    return ubrk_isBoundary(m_iter, static_cast<int32_t>(offset)) != 0;
}

bool WordBreaks::HasBoundaryIn(std::size_t first, std::size_t last)
{
    if (first == 0 || last >= m_text.size()) return true;
    if (first > last) return false;
    const int32_t next = ubrk_following(m_iter, static_cast<int32_t>(first - 1));
    return next != UBRK_DONE && static_cast<std::size_t>(next) <= last;
}

std::vector<std::uint32_t> WordBreaks::AllBoundaries()
{
    std::vector<std::uint32_t> out;
    // Every step moves forward, so the loop ends within the text's length;
    // over a long story it takes seconds, so Stop is looked for on the way.
    platform::StopCheck stop;
    for (int32_t b = ubrk_first(m_iter); b != UBRK_DONE; b = ubrk_next(m_iter)) {
        stop();
        out.push_back(static_cast<std::uint32_t>(b));
    }
    return out;
}

bool WordBreaks::IsWordCharacter(std::u16string_view text, std::size_t offset)
{
    if (offset >= text.size()) return false;
    UChar32 c = text[offset];
    if (U16_IS_LEAD(text[offset]) && offset + 1 < text.size() && U16_IS_TRAIL(text[offset + 1])) {
        c = U16_GET_SUPPLEMENTARY(text[offset], text[offset + 1]);
    }
    if (u_isalnum(c)) return true;
    const int8_t type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK || c == u'_';
}

const std::vector<TextSpan>& WordBreaks::Words()
{
    if (m_wordsReady) return m_words;
    m_words.clear();
    int32_t start = ubrk_first(m_iter);
    // Every step moves forward, so the loop ends after at most one step per
    // unit of text. A stop leaves the list not ready, to be made anew.
    platform::StopCheck stop;
    for (int32_t end = ubrk_next(m_iter); end != UBRK_DONE; start = end, end = ubrk_next(m_iter)) {
        stop();
        if (ubrk_getRuleStatus(m_iter) >= UBRK_WORD_NONE_LIMIT) {
            m_words.push_back({static_cast<std::size_t>(start), static_cast<std::size_t>(end)});
        }
    }
    m_wordsReady = true;
    return m_words;
}

}  // namespace office
