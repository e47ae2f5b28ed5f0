// Word codes of one story (see wordcodes.h).
//
// Per mode, a story keeps: for every word, the id of its text (a "form":
// equal texts share one, so each distinct text is coded once); for every
// form, the ids of its keys; and, once every word is coded, for every key
// the sorted positions of the words that carry it. Ids and positions are 32
// bits; the key and form dictionaries are open-addressing tables over them,
// with the distinct texts side by side in one buffer (comparing a word with
// its first occurrence in the story instead would miss the cache on nearly
// every word). All of it grows with the number of words and distinct words
// of the story, never with the number of keywords.
#include "office/word/wordcodes.h"

#include "office/text/casefold.h"
#include "office/text/matchtext.h"
#include "platform/cancellation.h"

#include "office/word/soundslike.h"
#include "office/word/wordforms.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>

namespace office {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
// Ids and positions are 32 bits, with kNone kept free.
constexpr std::size_t kMaxCount = kNone - 1;

std::uint32_t Hash(std::string_view bytes)
{
    const std::size_t h = std::hash<std::string_view>{}(bytes);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::string_view Bytes(std::u16string_view s)
{
    return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

// Open addressing from a hash to an id; the owner keeps what the ids stand
// for and says how to read an entry's bytes back. Kept at most half full.
class IdSlots {
public:
    template <class BytesOf>
    std::uint32_t Find(std::string_view s, std::uint32_t h, const BytesOf& bytesOf) const
    {
        if (m_slots.empty()) return kNone;
        const std::size_t mask = m_slots.size() - 1;
        // At most half full, so an empty slot ends every probe.
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const std::uint64_t slot = m_slots[i];
            if (slot == 0) return kNone;
            const std::uint32_t id = static_cast<std::uint32_t>(slot) - 1;
            if (static_cast<std::uint32_t>(slot >> 32) == h && bytesOf(id) == s) return id;
        }
    }

    void Insert(std::uint32_t h, std::uint32_t id)
    {
        if ((m_count + 1) * 2 > m_slots.size()) Grow();
        Place(m_slots, (static_cast<std::uint64_t>(h) << 32) | (static_cast<std::uint64_t>(id) + 1));
        ++m_count;
    }

    void Release()
    {
        std::vector<std::uint64_t>().swap(m_slots);
        m_count = 0;
    }

private:
    static void Place(std::vector<std::uint64_t>& slots, std::uint64_t slot)
    {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = static_cast<std::uint32_t>(slot >> 32) & mask;
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }

    void Grow()
    {
        std::vector<std::uint64_t> bigger(m_slots.empty() ? 1024 : m_slots.size() * 2, 0);
        for (std::uint64_t slot : m_slots) {
            if (slot != 0) Place(bigger, slot);
        }
        m_slots.swap(bigger);
    }

    std::vector<std::uint64_t> m_slots;
    std::size_t m_count = 0;
};

}  // namespace

void AppendWordKeys(WordCodeMode mode, std::u16string_view typed, WordForms* forms, std::vector<std::string>& keys)
{
    // Coded as a reader sees it: NFC, without soft or optional hyphens and
    // other format characters.
    const std::u16string normalized = PrepareForMatch(typed, false, false);
    const std::u16string_view word = normalized;
    if (mode == WordCodeMode::SoundsLike) {
        // A word with a Soundex code matches only words with the same code;
        // a word without one (digits, other scripts) only words without one
        // and the same case-folded text. The first byte keeps the two kinds
        // of key apart.
        const std::string code = SoundexCode(word);
        if (!code.empty()) {
            keys.push_back('\x01' + code);
            return;
        }
        const std::u16string folded = FullCaseFold(word);
        std::string key(1, '\x02');
        key.append(Bytes(folded));
        keys.push_back(std::move(key));
        return;
    }
    if (forms == nullptr) return;
    const std::size_t first = keys.size();
    forms->Keys(word, keys);
    // A word listed under its own lemma ("lay" under "lay" and "lie") would
    // repeat a key.
    for (std::size_t i = first + 1; i < keys.size();) {
        if (std::find(keys.begin() + static_cast<std::ptrdiff_t>(first), keys.begin() + static_cast<std::ptrdiff_t>(i),
                      keys[i]) != keys.begin() + static_cast<std::ptrdiff_t>(i)) {
            keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

// The codes of one story in one mode.
class WordCodes::Table {
public:
    Table(WordCodeMode mode, std::u16string_view text, const std::vector<TextSpan>& words)
        : m_mode(mode), m_text(text), m_words(words)
    {
        if (words.size() > kMaxCount) throw std::length_error("too many words to code");
        if (mode == WordCodeMode::WordForms) m_forms = std::make_unique<WordForms>();
        m_formBegin.push_back(0);
        m_formKeyBegin.push_back(0);
        m_keyBegin.push_back(0);
    }

    std::size_t Find(const std::vector<std::vector<std::string>>& keywordKeys, std::size_t from)
    {
        const std::size_t n = keywordKeys.size();
        if (n == 0 || from > m_words.size() || m_words.size() - from < n) return npos;
        if (!m_indexed && !m_scanned) {
            m_scanned = true;
            return Scan(keywordKeys, from);
        }
        if (!m_indexed) BuildIndex();
        return Lookup(keywordKeys, from);
    }

private:
    std::u16string_view WordText(std::size_t i) const
    {
        const TextSpan& w = m_words[i];
        return m_text.substr(w.start, w.end - w.start);
    }

    std::string_view FormBytes(std::uint32_t form) const
    {
        const std::u16string_view all(m_formText);
        return Bytes(all.substr(m_formBegin[form], m_formBegin[form + 1] - m_formBegin[form]));
    }

    std::string_view KeyBytes(std::uint32_t key) const
    {
        return std::string_view(m_keyBytes).substr(m_keyBegin[key], m_keyBegin[key + 1] - m_keyBegin[key]);
    }

    std::uint32_t FindKey(std::string_view key) const
    {
        return m_keyIndex.Find(key, Hash(key), [this](std::uint32_t id) { return KeyBytes(id); });
    }

    std::uint32_t InternKey(std::string_view key)
    {
        const std::uint32_t h = Hash(key);
        std::uint32_t id = m_keyIndex.Find(key, h, [this](std::uint32_t k) { return KeyBytes(k); });
        if (id != kNone) return id;
        const std::size_t count = m_keyBegin.size() - 1;
        if (count >= kMaxCount || m_keyBytes.size() + key.size() > kMaxCount) {
            throw std::length_error("too many word codes");
        }
        id = static_cast<std::uint32_t>(count);
        m_keyBytes.append(key);
        m_keyBegin.push_back(static_cast<std::uint32_t>(m_keyBytes.size()));
        m_keyIndex.Insert(h, id);
        return id;
    }

    // The form of word `i`, coding its text the first time it is seen.
    std::uint32_t FormOf(std::size_t i)
    {
        const std::u16string_view word = WordText(i);
        const std::string_view bytes = Bytes(word);
        const std::uint32_t h = Hash(bytes);
        std::uint32_t form = m_formIndex.Find(bytes, h, [this](std::uint32_t f) { return FormBytes(f); });
        if (form != kNone) return form;
        form = static_cast<std::uint32_t>(m_formBegin.size() - 1);
        // Distinct texts are at most the story's text.
        m_formText.append(word);
        m_formBegin.push_back(static_cast<std::uint32_t>(m_formText.size()));
        m_formIndex.Insert(h, form);
        m_scratch.clear();
        AppendWordKeys(m_mode, word, m_forms.get(), m_scratch);
        for (const std::string& key : m_scratch) m_formKeys.push_back(InternKey(key));
        if (m_formKeys.size() > kMaxCount) throw std::length_error("too many word codes");
        m_formKeyBegin.push_back(static_cast<std::uint32_t>(m_formKeys.size()));
        return form;
    }

    // Codes words up to (not including) `end`.
    void CodeUpTo(std::size_t end)
    {
        end = std::min(end, m_words.size());
        if (m_wordForm.size() >= end) return;
        if (m_wordForm.capacity() < m_words.size()) m_wordForm.reserve(m_words.size());
        for (std::size_t i = m_wordForm.size(); i < end; ++i) {
            m_stop();
            m_wordForm.push_back(FormOf(i));
        }
    }

    bool FormHasKey(std::uint32_t form, const std::vector<std::uint32_t>& keys) const
    {
        for (std::uint32_t k = m_formKeyBegin[form]; k < m_formKeyBegin[form + 1]; ++k) {
            if (std::find(keys.begin(), keys.end(), m_formKeys[k]) != keys.end()) return true;
        }
        return false;
    }

    // The keyword's keys as ids: interned when `intern`, else only those the
    // story has (a key it lacks matches nothing). False when a keyword word
    // is left with no key, so the keyword cannot match.
    bool KeywordIds(const std::vector<std::vector<std::string>>& keywordKeys, bool intern,
                    std::vector<std::vector<std::uint32_t>>& ids)
    {
        ids.assign(keywordKeys.size(), {});
        for (std::size_t k = 0; k < keywordKeys.size(); ++k) {
            for (const std::string& key : keywordKeys[k]) {
                const std::uint32_t id = intern ? InternKey(key) : FindKey(key);
                if (id != kNone && std::find(ids[k].begin(), ids[k].end(), id) == ids[k].end()) ids[k].push_back(id);
            }
            if (ids[k].empty()) return false;
        }
        return true;
    }

    bool MatchesAt(std::size_t i, const std::vector<std::vector<std::uint32_t>>& ids, std::size_t skip) const
    {
        for (std::size_t k = 0; k < ids.size(); ++k) {
            if (k != skip && !FormHasKey(m_wordForm[i + k], ids[k])) return false;
        }
        return true;
    }

    // Word by word from `from`, coding only what it reads. The keyword's
    // keys are interned so that words coded later still meet them; this
    // happens once per table, which bounds what keywords add to it.
    std::size_t Scan(const std::vector<std::vector<std::string>>& keywordKeys, std::size_t from)
    {
        std::vector<std::vector<std::uint32_t>> ids;
        if (KeywordIds(keywordKeys, true, ids)) {
            const std::size_t n = ids.size();
            for (std::size_t i = from; i + n <= m_words.size(); ++i) {
                m_stop();
                CodeUpTo(i + n);
                if (MatchesAt(i, ids, n)) return i;
            }
        }
        // The index waits for a second keyword: a single one never needs it.
        return npos;
    }

    void BuildIndex()
    {
        CodeUpTo(m_words.size());
        const std::size_t keys = m_keyBegin.size() - 1;
        m_postBegin.assign(keys + 1, 0);
        for (std::uint32_t form : m_wordForm) {
            m_stop();
            for (std::uint32_t k = m_formKeyBegin[form]; k < m_formKeyBegin[form + 1]; ++k) {
                ++m_postBegin[m_formKeys[k] + 1];
            }
        }
        std::size_t total = 0;
        for (std::size_t k = 1; k <= keys; ++k) {
            total += m_postBegin[k];
            if (total > kMaxCount) throw std::length_error("too many word codes");
            m_postBegin[k] = static_cast<std::uint32_t>(total);
        }
        m_posts.resize(total);
        std::vector<std::uint32_t> next(m_postBegin.begin(), m_postBegin.end() - 1);
        for (std::size_t i = 0; i < m_wordForm.size(); ++i) {
            m_stop();
            const std::uint32_t form = m_wordForm[i];
            for (std::uint32_t k = m_formKeyBegin[form]; k < m_formKeyBegin[form + 1]; ++k) {
                m_posts[next[m_formKeys[k]]++] = static_cast<std::uint32_t>(i);
            }
        }
        // Every word is coded: the form dictionary has done its work.
        m_formIndex.Release();
        std::u16string().swap(m_formText);
        std::vector<std::uint32_t>().swap(m_formBegin);
        m_indexed = true;
    }

    // Candidates are the positions of the keyword word whose keys are
    // rarest in the story, in ascending order; each is checked against the
    // other keyword words. The work is bounded by those positions.
    std::size_t Lookup(const std::vector<std::vector<std::string>>& keywordKeys, std::size_t from)
    {
        std::vector<std::vector<std::uint32_t>> ids;
        if (!KeywordIds(keywordKeys, false, ids)) return npos;
        const std::size_t n = ids.size();
        std::size_t anchor = 0;
        std::size_t fewest = std::numeric_limits<std::size_t>::max();
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t count = 0;
            for (std::uint32_t key : ids[k]) count += m_postBegin[key + 1] - m_postBegin[key];
            if (count < fewest) {
                fewest = count;
                anchor = k;
            }
        }
        struct Cursor {
            const std::uint32_t* at;
            const std::uint32_t* end;
        };
        std::vector<Cursor> cursors;
        for (std::uint32_t key : ids[anchor]) {
            const std::uint32_t* first = m_posts.data() + m_postBegin[key];
            const std::uint32_t* last = m_posts.data() + m_postBegin[key + 1];
            cursors.push_back({std::lower_bound(first, last, from + anchor), last});
        }
        // Every round advances at least one cursor, so the loop ends after
        // at most as many rounds as the anchor's keys have positions.
        for (;;) {
            m_stop();
            std::size_t q = npos;
            for (const Cursor& c : cursors) {
                if (c.at != c.end) q = std::min<std::size_t>(q, *c.at);
            }
            if (q == npos) return npos;
            for (Cursor& c : cursors) {
                if (c.at != c.end && *c.at == q) ++c.at;
            }
            const std::size_t i = q - anchor;
            if (i + n > m_words.size()) return npos;
            if (MatchesAt(i, ids, anchor)) return i;
        }
    }

    WordCodeMode m_mode;
    std::u16string_view m_text;
    const std::vector<TextSpan>& m_words;
    std::unique_ptr<WordForms> m_forms;
    std::vector<std::string> m_scratch;

    std::vector<std::uint32_t> m_wordForm;      // per coded word: its form
    IdSlots m_formIndex;                        // word text -> form, while coding
    std::u16string m_formText;                  // the forms' texts, one after another
    std::vector<std::uint32_t> m_formBegin;     // per form: its text in m_formText
    std::vector<std::uint32_t> m_formKeyBegin;  // per form: its keys in m_formKeys
    std::vector<std::uint32_t> m_formKeys;
    IdSlots m_keyIndex;  // key bytes -> key
    std::string m_keyBytes;
    std::vector<std::uint32_t> m_keyBegin;   // per key: its bytes in m_keyBytes
    std::vector<std::uint32_t> m_postBegin;  // per key: its positions in m_posts
    std::vector<std::uint32_t> m_posts;
    bool m_scanned = false;
    bool m_indexed = false;
    // Coding a word costs a microsecond or so; Stop is looked for every
    // thousand steps.
    platform::StopCheck m_stop{1024};
};

WordCodes::WordCodes(std::u16string_view text, WordBreaks& breaks) : m_text(text), m_breaks(breaks) {}

WordCodes::~WordCodes() = default;

std::size_t WordCodes::FindSequence(WordCodeMode mode, const std::vector<std::vector<std::string>>& keywordKeys,
                                    std::size_t from)
{
    std::unique_ptr<Table>& table = m_tables[mode == WordCodeMode::SoundsLike ? 0 : 1];
    if (!table) table = std::make_unique<Table>(mode, m_text, m_breaks.Words());
    try {
        return table->Find(keywordKeys, from);
    } catch (...) {
        // Out of memory half way through coding a word leaves the table
        // inconsistent; the next search starts a new one.
        table.reset();
        throw;
    }
}

}  // namespace office
