// The Find.Execute argument lists one Word application has seen, with what
// each came to. A searcher makes the same few lists over and over (the
// clearing passes, then one per keyword) and the same ones in every
// document, so a call that repeats one costs a look-up by its first
// argument and one comparison of its arguments, not a decoding.
//
// A list is kept in a form made for comparing: per argument its type and,
// for a text, where its units are kept; for a scalar passed by value, the
// bytes of the variant's eight that the value fills (`mask`), so comparing
// needs no branch on the type; for one passed by reference, its bits.
// Bounded; used by one thread at a time.
#pragma once

#include "office/word/findplancache.h"
#include "platform/oleauto.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace office {

class FindCallMemo {
public:
    static constexpr std::size_t kMaxArgs = 15;

    struct ArgKey {
        enum Kind : std::uint8_t { Text, Value, Reference };
        VARTYPE vt = VT_EMPTY;
        Kind kind = Text;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::uint64_t mask = 0;
        std::uint64_t bits = 0;
    };
    struct Entry {
        UINT count = 0;
        std::array<ArgKey, kMaxArgs> args;
        std::u16string texts;
        std::shared_ptr<const PreparedFind> call;
    };

    // The remembered list equal to `params`, or null.
    std::shared_ptr<const Entry> Find(const DISPPARAMS* params) const;
    // Remembers the list `params` as coming to `call`; null for a list that
    // is not remembered (an argument of a kind that is not compared, a
    // missing by-reference value, too many arguments).
    std::shared_ptr<const Entry> Remember(const DISPPARAMS* params, std::shared_ptr<const PreparedFind> call);
    // Whether the list as passed is the one `entry` was made of.
    static bool Matches(const DISPPARAMS* params, const Entry& entry);
    std::size_t Size() const { return m_size; }

    // The lists of the calls one document was asked, in order, as the last
    // Find object to finish kept them: a search asks every document the
    // same sequence (the clearing passes, a keyword, the passes, the next
    // keyword...), so the list at the same place is the one to compare
    // first. Null when none is known there. Only lists of the current
    // generation are returned; one stays valid until the memo next
    // remembers a list.
    const Entry* Expected(std::size_t call) const { return call < m_sequence.size() ? m_sequence[call] : nullptr; }
    // Keeps `sequence` (of lists returned by Find, Remember or Expected in
    // generation `generation`, null for a call not remembered) for Expected.
    void KeepSequence(std::vector<const Entry*> sequence, std::uint64_t generation);
    // Changes whenever the memo starts again, and its entries go.
    std::uint64_t Generation() const { return m_generation; }
    // The longest sequence kept: 256 keywords and a dozen passes each.
    static constexpr std::size_t kMaxSequence = 4096;

private:
    // Count, and the first argument's type and value (a call's find text):
    // false for a list that is not remembered.
    static bool KeyOf(const DISPPARAMS* params, std::uint64_t& key);

    // More than the searcher's 256 keywords and the clearing passes in a
    // few switch combinations; past it the memo starts again rather than
    // grow.
    static constexpr std::size_t kMaxEntries = 1024;
    std::unordered_map<std::uint64_t, std::vector<std::shared_ptr<const Entry>>> m_entries;
    std::size_t m_size = 0;
    std::uint64_t m_generation = 1;
    std::vector<const Entry*> m_sequence;  // of the current generation
};

}  // namespace office
