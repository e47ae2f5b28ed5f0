// The text Find compares: what a reader sees of a story, in one canonical
// form, with a map back to the story's own offsets.
//
// - Unicode NFC: "café" typed with a precomposed é and written as e plus a
//   combining accent are one text.
// - Ignorable format characters left out: Word's optional hyphen (0x1F),
//   the soft hyphen and every other format character (zero-width spaces and
//   joiners, direction marks, the byte-order mark) show nothing, so
//   "Hyphen-ation" with an optional hyphen is found as "Hyphenation". A
//   keyword that holds such a character itself (Word's "^-") is searched
//   in the text that keeps them.
// - Optionally full case folding (casefold.h).
//
// A character may become several units, and several characters one; a
// match may only begin and end on the edges of such a piece, so "s" never
// matches half of a "ß" and "e" never matches the e of an e plus accent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace office {

// Word's optional hyphen and Unicode's format characters (category Cf).
bool IsIgnorableFormat(char32_t c);
bool HasIgnorableFormat(std::u16string_view text);

// Whether `c` may stand anywhere in a text that stays NFC and holds nothing
// the compared texts leave out: a character of the Basic Multilingual Plane
// that NFC keeps as it is whatever its neighbours (quick check "yes",
// combining class 0) and that is no ignorable format character. A reader
// that sees only such characters in a story knows its form without a look
// at the text (Story::knownNormal).
bool IsPlainNormalCharacter(char32_t c);
// How many units from the start of `text` hold only such characters.
std::size_t PlainNormalPrefix(std::u16string_view text);

// A short text (a keyword, a cell, a word) in the form Find compares:
// NFC, ignorable format characters left out unless `keepFormat`, and case
// folded when `fold`.
std::u16string PrepareForMatch(std::u16string_view text, bool fold, bool keepFormat);

// Whether PrepareForMatch without folding would change `text`.
bool NeedsNormalizing(std::u16string_view text, bool keepFormat);

// Whether the folded compared text of `text` (PrepareForMatch with `fold`)
// is the folding of each of its units on its own, one after the other, so
// that a search may fold as it compares instead of building a folded copy
// with its map: the text is NFC, holds no surrogate and no ignorable format
// character unless `keepFormat`. False too when more than `maxWide` units
// are from U+0080 on: such a search tests each of them as a possible start.
bool FoldsUnitByUnit(std::u16string_view text, bool keepFormat, std::size_t maxWide);
// For such a text: whether the folding of the units from `at` on begins
// with `folded` and ends there on the end of a unit's folding (so "s" is no
// match in "ß"); `end` gets the unit after the last one taken.
bool FoldedStartsWith(std::u16string_view text, std::size_t at, std::u16string_view folded, std::size_t& end);

// What a caller already knows of a text, so that building its compared
// text need not check it again: that it is NFC, or NFC without ignorable
// format characters (then, unfolded, it is its own compared text).
enum class KnownForm : std::uint8_t { Unknown, Nfc, Normal };

class MatchText {
public:
    MatchText(std::u16string_view original, bool fold, bool keepFormat, KnownForm known = KnownForm::Unknown);

    std::u16string_view Text() const { return m_identity ? m_original : std::u16string_view(m_text); }

    // Where in the original the character of unit `i` starts; the
    // original's length for the end of the text.
    std::size_t OriginalStart(std::size_t i) const;
    // Where in the original a range ending at unit `i` ends: after the
    // character of unit `i - 1`, before any ignorable characters that
    // follow it. [OriginalEnd(i), OriginalStart(i)] is what lies between
    // the visible neighbours of position `i`.
    std::size_t OriginalEnd(std::size_t i) const;
    // Whether a match may begin (or end) at unit `i`.
    bool IsCharacterEdge(std::size_t i) const;

    // True when the text is the original itself (nothing to normalise,
    // nothing left out, no folding).
    bool IsIdentity() const { return m_identity; }
    // Whether the original was found (or known) to be NFC.
    bool OriginalIsNfc() const { return m_nfc; }

private:
    friend class MatchTextBuilder;

    std::u16string_view m_original;
    bool m_identity = false;
    bool m_nfc = false;
    // The text differs from the original but unit k came from unit k (case
    // folding that keeps lengths): no map is needed.
    bool m_linear = false;
    std::u16string m_text;
    // The map from units to the original, one entry per run rather than
    // per unit, so that a long text folded with a few changes of length
    // costs a few entries. A run starts at `unit`; with the top bit of
    // `origin` set its units came one for one from the original at
    // `origin` on (the second unit of a pair belonging to the first), else
    // all of them from the one character (or piece) at `origin`, the first
    // unit being its only edge. Runs cover the text from unit 0, in order.
    struct Run {
        std::uint32_t unit;
        std::uint32_t origin;
    };
    const Run& RunAt(std::size_t i) const;
    std::vector<Run> m_runs;
    // Stretches of left-out characters: (unit position, original offset
    // where the stretch begins), in increasing order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_gaps;
};

}  // namespace office
