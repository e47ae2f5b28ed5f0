// Word's wildcard search held to a reference: random patterns over every
// element of the syntax, searched in short random texts, against a matcher
// written here from the syntax's meaning alone. The reference works on sets
// of positions (every way a pattern can consume the text, at once), so it
// is simple enough to trust and needs no regular expressions.
#include "office/word/wildcardpattern.h"
#include "office/word/wordbreaks.h"
#include "tests/office/wordfixture.h"

#include <gtest/gtest.h>

#include <bitset>
#include <random>
#include <tuple>

namespace {

using namespace wordfix;

constexpr std::size_t kMaxText = 40;
using Positions = std::bitset<kMaxText + 1>;
constexpr int kMany = -1;  // no upper bound

struct Node {
    enum class Kind { Char, Any, Star, Class, Group, WordStart, WordEnd } kind = Kind::Char;
    char16_t ch = 0;
    std::vector<std::pair<char16_t, char16_t>> ranges;  // a class's members
    bool negated = false;
    std::vector<Node> children;  // a group's sequence
    int min = 1;
    int max = 1;
    std::u16string written;  // in Word's syntax, with its count
};

// ---- The reference ------------------------------------------------------------

class Reference {
public:
    explicit Reference(std::u16string_view text) : m_text(text)
    {
        WordBreaks breaks(text);
        for (std::size_t p = 0; p <= text.size(); ++p) {
            const bool boundary = breaks.IsBoundary(p);
            m_start[p] = boundary && WordBreaks::IsWordCharacter(text, p);
            m_end[p] = boundary && p > 0 && WordBreaks::IsWordCharacter(text, p - 1);
        }
    }

    // Where a match of `pattern` that begins at `start` may end.
    Positions Ends(const std::vector<Node>& pattern, std::size_t start) const
    {
        Positions from;
        from.set(start);
        return Sequence(pattern, from);
    }

private:
    Positions Sequence(const std::vector<Node>& seq, Positions at) const
    {
        for (const Node& n : seq) at = Repeated(n, at);
        return at;
    }

    Positions Repeated(const Node& n, Positions at) const
    {
        for (int k = 0; k < n.min; ++k) at = Once(n, at);
        Positions all = at;
        Positions frontier = at;
        for (int k = n.min; n.max == kMany || k < n.max; ++k) {
            frontier = Once(n, frontier);
            if (n.max == kMany) frontier &= ~all;  // only new places can lead further
            if (frontier.none()) break;
            all |= frontier;
        }
        return all;
    }

    Positions Once(const Node& n, const Positions& at) const
    {
        using K = Node::Kind;
        Positions out;
        const std::size_t size = m_text.size();
        for (std::size_t p = 0; p <= size; ++p) {
            if (!at[p]) continue;
            const bool one = p < size && (n.kind == K::Any || (n.kind == K::Char && m_text[p] == n.ch) ||
                                          (n.kind == K::Class && InClass(n, m_text[p])));
            if (one) out.set(p + 1);
            if ((n.kind == K::WordStart && m_start[p]) || (n.kind == K::WordEnd && m_end[p])) out.set(p);
            for (std::size_t q = p; n.kind == K::Star && q <= size; ++q) out.set(q);
            if (n.kind == K::Group) {
                Positions from;
                from.set(p);
                out |= Sequence(n.children, from);
            }
        }
        return out;
    }

    static bool InClass(const Node& n, char16_t c)
    {
        bool in = false;
        for (const auto& [lo, hi] : n.ranges) in = in || (c >= lo && c <= hi);
        return in != n.negated;
    }

    std::u16string_view m_text;
    Positions m_start;
    Positions m_end;
};

// ---- Random patterns in Word's syntax -------------------------------------------

const std::u16string kTextAlphabet = u"aab1 -.\u00E9*(";
const std::u16string kPatternChars = u"ab1 -.\u00E9*(";

void AppendChar(std::u16string& out, char16_t c, bool inClass)
{
    const std::u16string special = inClass ? u"]-!\\" : u"?*@{}[]()<>\\^!";
    if (special.find(c) != std::u16string::npos) out.push_back(u'\\');
    out.push_back(c);
}

std::u16string Write(const std::vector<Node>& seq)
{
    std::u16string out;
    for (const Node& n : seq) out += n.written;
    return out;
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    std::u16string Text()
    {
        std::u16string t;
        const std::size_t len = Pick(16);
        for (std::size_t i = 0; i < len; ++i) t.push_back(kTextAlphabet[Pick(kTextAlphabet.size())]);
        return t;
    }

    std::vector<Node> Sequence(int depth)
    {
        std::vector<Node> seq;
        const std::size_t len = 1 + Pick(depth == 0 ? 5 : 3);
        for (std::size_t i = 0; i < len; ++i) seq.push_back(Element(depth));
        return seq;
    }

private:
    std::size_t Pick(std::size_t n) { return static_cast<std::size_t>(m_rng() % n); }

    char16_t Letter() { return kPatternChars[Pick(kPatternChars.size())]; }

    Node Element(int depth)
    {
        using K = Node::Kind;
        Node n;
        const std::size_t kind = Pick(depth < 2 ? 10 : 9);
        n.kind = kind < 3 || kind == 8 ? K::Char : kind == 3 ? K::Any : kind == 4 ? K::Star : kind == 5 ? K::WordStart
                 : kind == 6 ? K::WordEnd : kind == 7 ? K::Class : K::Group;
        n.ch = kind == 8 ? u'a' : Letter();
        if (n.kind == K::Char) AppendChar(n.written, n.ch, false);
        if (kind >= 3 && kind <= 6) n.written = u"?*<>"[kind - 3];
        if (n.kind == K::Star || n.kind == K::WordStart || n.kind == K::WordEnd) return n;  // take no count
        if (n.kind == K::Class) {
            n.negated = Pick(3) == 0;
            n.written = n.negated ? u"[!" : u"[";
            for (std::size_t k = 0, members = 1 + Pick(3); k < members; ++k) {
                const char16_t a = Letter();
                const char16_t b = Pick(3) == 0 ? Letter() : a;
                n.ranges.emplace_back(std::min(a, b), std::max(a, b));
                AppendChar(n.written, std::min(a, b), true);
                if (a != b) n.written.push_back(u'-');
                if (a != b) AppendChar(n.written, std::max(a, b), true);
            }
            n.written += u"]";
        }
        if (n.kind == K::Group) n.children = Sequence(depth + 1);
        if (n.kind == K::Group) n.written = u"(" + Write(n.children) + u")";
        switch (Pick(6)) {
        case 0: n.max = kMany; break;  // @
        case 1: n.min = n.max = static_cast<int>(Pick(3)); break;  // {n}
        case 2: n.min = static_cast<int>(Pick(3)); n.max = kMany; break;  // {n,}
        case 3: n.min = static_cast<int>(Pick(2)); n.max = n.min + static_cast<int>(Pick(3)); break;  // {n,m}
        default: break;
        }
        std::string q;  // the count: @, {n}, {n,} or {n,m}
        if (n.min == 1 && n.max == kMany) q = "@";
        else if (n.max == kMany) q = "{" + std::to_string(n.min) + ",}";
        else if (n.min != 1 || n.max != 1) q = "{" + std::to_string(n.min) + (n.max != n.min ? "," + std::to_string(n.max) : "") + "}";
        n.written.append(q.begin(), q.end());
        return n;
    }

    std::mt19937 m_rng;
};

// The first match Find makes in `text`: replacing it once with a character
// the texts never hold shows where it began and ended.
bool FirstMatch(std::u16string_view text, const std::u16string& pattern, std::size_t& start, std::size_t& end)
{
    WordDocument doc = Document({std::u16string(text)});
    FindRequest r = Request(pattern, "*");
    r.replaceWith = u"#";
    r.replace = ReplaceMode::One;
    if (!ExecuteFind(doc, r)) return false;
    const std::u16string_view after = doc.Text(0);
    start = after.find(u'#');
    end = start + (text.size() + 1 - after.size());
    return start != std::u16string_view::npos;
}

TEST(WildcardReference, RandomPatternsAgreeWithTheReference)
{
    constexpr int kRounds = 8000;
    Generator gen(20241206);
    int found = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::u16string text = gen.Text();
        const std::vector<Node> nodes = gen.Sequence(0);
        const std::u16string pattern = Write(nodes);
        ASSERT_TRUE(IsValidWordWildcardPattern(pattern)) << Show(pattern);

        const Reference ref(text);
        std::size_t firstStart = text.size() + 1;
        // The first start from which a match that is not empty ends.
        for (std::size_t s = 0; s < text.size() && firstStart > text.size(); ++s) {
            if ((ref.Ends(nodes, s) >> (s + 1)).any()) firstStart = s;
        }
        std::size_t start = 0, end = 0;
        const bool hit = FirstMatch(text, pattern, start, end);
        const std::string where = "pattern \"" + Show(pattern) + "\" text \"" + Show(text) + "\"";
        ASSERT_EQ(hit, firstStart <= text.size()) << where;
        if (!hit) continue;
        ++found;
        EXPECT_EQ(start, firstStart) << where;
        ASSERT_LT(start, end) << where;
        EXPECT_TRUE(ref.Ends(nodes, start)[end]) << where << " ended at " << end;
    }
    // Both answers occur often, so neither branch went untested.
    EXPECT_GT(found, kRounds / 6);
    EXPECT_LT(found, kRounds * 5 / 6);
}

TEST(WildcardReference, StarGrowsUntilTheAnchorsHold)
{
    // The first match, or <none>.
    const std::tuple<std::u16string, const char16_t*, std::u16string> cases[] = {
        {u"The integer value is here.", u"<(int)*>", u"integer"}, {u"The integer value is here.", u"<int*>", u"integer"},
        {u"2024-05-17", u"<[0-9]*>", u"2024"}, {u"an international interview", u"<inter*>", u"international"},
        {u"bite into it", u"<i*t>", u"into it"}, {u"cat concatenate", u"<c*t>", u"cat"}, {u"concatenate", u"<c*t>", u"<none>"},
        {u"x-ray xylophone", u"<x*e>", u"x-ray xylophone"}, {u"x-ray, xylophone", u"<xy*e>", u"xylophone"},
        {u"ab ab", u"b*<a", u"b a"}, {u"one two three", u"<t*o>", u"two"},
    };
    for (const auto& [text, pattern, found] : cases) {
        std::size_t start = 0, end = 0;
        const std::u16string got = FirstMatch(text, pattern, start, end) ? text.substr(start, end - start) : u"<none>";
        EXPECT_EQ(got, found) << Show(pattern) << " in " << Show(text);
    }
}

}  // namespace
