// Case folding for the Find engine when "match case" is off. The folded text
// is searched instead of the original, so every folded unit remembers where
// it came from: a match found in the folded text is reported, replaced and
// checked for word boundaries in the original.
//
// Folding is ICU's full case folding (so "ß" folds to "ss" and "É" to "é").
// A character may fold to several units; a match may only begin and end on
// the edges of such an expansion, so "s" never matches half of a "ß".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace office {

class FoldedText {
public:
    FoldedText() = default;
    explicit FoldedText(std::u16string_view original);

    const std::u16string& Text() const { return m_folded; }
    // Start in the original of the character that folded unit `i` belongs to.
    std::size_t OriginalStart(std::size_t i) const;
    // End in the original of the character that folded unit `i - 1` belongs
    // to, i.e. the original end of a folded range ending at `i`.
    std::size_t OriginalEnd(std::size_t i) const;
    // Whether a match may begin (or end) at folded offset `i`.
    bool IsCharacterEdge(std::size_t i) const;

private:
    std::u16string m_folded;
    // For every folded unit: the original offset of its character, with the
    // top bit set on the first unit of each character's expansion.
    std::vector<std::uint32_t> m_origin;
    std::size_t m_originalLength = 0;
};

// Folds a short string (a keyword) without keeping the offset map.
std::u16string FullCaseFold(std::u16string_view text);

}  // namespace office
