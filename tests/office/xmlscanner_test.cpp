// The streaming XML reader: the events of a few documents as they must
// come out (namespace-resolved names, attributes, references), then the
// in-place scanner held against expat: for well-formed documents both must
// report the same events, and a document one refuses the other must refuse
// too, hand-picked cases for each rule and random edits for the rest.
// Nesting is free unless capped and is charged to the file's budget; an
// exception from a handler ends the parse.
#include "office/containers/xmlscanner.h"
#include "office/containers/xmlsax.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using office::ReadError;
using office::ReadErrorKind;

namespace {

constexpr const char* kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// Every event as one line; adjacent text pieces are joined, since either
// parser may split a run of text anywhere.
class Recorder : public office::XmlSax {
public:
    explicit Recorder(bool reference = false, const office::XmlLimits& limits = {}) : XmlSax(limits)
    {
        if (reference) UseReferenceParser();
    }
    std::string Events() const
    {
        std::string all;
        for (const auto& e : m_events) all += e + "\n";
        return all;
    }
    std::string throwAt;

protected:
    void StartElement(const office::XmlName& name, const office::XmlAttributes& attrs) override
    {
        std::string e = "<{" + std::string(name.ns) + "}" + std::string(name.local);
        attrs.ForEach([&](const office::XmlName& an, std::string_view v) {
            e += " {" + std::string(an.ns) + "}" + std::string(an.local) + "=[" + std::string(v) + "]";
            // Get() must find what ForEach() shows.
            const char* got = attrs.Get(an.ns, an.local);
            if (got == nullptr || std::string_view(got) != v) e += "!GET";
        });
        m_events.push_back(e + "@" + std::to_string(Depth()));
        if (!throwAt.empty() && name.local == throwAt) throw std::runtime_error("thrown at " + throwAt);
    }
    void EndElement(const office::XmlName& name) override { m_events.push_back("</" + std::string(name.local)); }
    void CharacterData(std::string_view text) override
    {
        if (!m_events.empty() && m_events.back().rfind("T:", 0) == 0) m_events.back() += text;
        else m_events.push_back("T:" + std::string(text));
    }

private:
    std::vector<std::string> m_events;
};

struct Outcome {
    bool ok;
    std::string events;
    ReadError error;
};

Outcome Parsed(const std::string& xml, bool reference = false, const office::XmlLimits& limits = {})
{
    Recorder r(reference, limits);
    Outcome o;
    o.ok = r.Parse(xml, o.error);
    o.events = r.Events();
    return o;
}

// Both parsers agree on the document; returns the scanner's outcome.
Outcome Agree(const std::string& xml)
{
    const Outcome fast = Parsed(xml, false);
    const Outcome ref = Parsed(xml, true);
    EXPECT_EQ(fast.ok, ref.ok) << "document: " << xml << "\nscanner: " << fast.error << "\nexpat: " << ref.error;
    EXPECT_EQ(fast.error.kind, ref.error.kind) << "document: " << xml;
    if (fast.ok && ref.ok) {
        EXPECT_EQ(fast.events, ref.events) << "document: " << xml;
    }
    return fast;
}

TEST(XmlSax, EventsAsTheyMustComeOutAndAsExpatGivesThem)
{
    const std::string w = kW;
    const std::pair<std::string, std::string> spelledOut[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><x:document xmlns:x=\"" + w +
             "\"><x:t x:space=\"preserve\" plain=\"1\">a &amp; b</x:t></x:document>",
         "<{" + w + "}document@1\n<{" + w + "}t {" + w + "}space=[preserve] {}plain=[1]@2\nT:a & b\n</t\n</document\n"},
        {"<a xmlns=\"urn:d\"><b xmlns=\"\" q=\"1\"/></a>", "<{urn:d}a@1\n<{}b {}q=[1]@2\n</b\n</a\n"},
        {"<a>&#x20AC;&#233;&lt;&gt;&quot;&apos;</a>", "<{}a@1\nT:\xE2\x82\xAC\xC3\xA9<>\"'\n</a\n"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>", "<{}a@1\nT:caf\xC3\xA9\n</a\n"},
    };
    for (const auto& [xml, events] : spelledOut) {
        const Outcome o = Agree(xml);
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.events, events);
    }
    for (const auto& [xml, handled] : {std::pair{std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"), false},
                                       {std::string("\xFF\xFE<\0a\0/\0>\0", 10), false},
                                       {std::string("<\0a\0/\0>\0", 8), false},
                                       {std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"), true}})
        EXPECT_EQ(office::XmlScanner::Handles(xml), handled) << xml;
    // Well-formed documents with every construct the scanner reads: the
    // events expat gives.
    const std::vector<std::string> docs = {
        "<a/>", "\xEF\xBB\xBF<a/>", "<?xml version=\"1.0\"?><a/>",
        "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<a/>\n",
        "<!-- before --><?pi data?><a><!----><?x?></a><!-- after -->  ",
        "<w:document xmlns:w=\"" + w + "\" xmlns:r=\"urn:r\"><w:body><w:p r:id=\"1\" w:x=\"2\" y=\"3\"/></w:body></w:document>",
        "<a xmlns=\"urn:d\"><b xmlns=\"\"><c/></b><d q=\"1\"/></a>", "<p:a xmlns:p=\"urn:1\"><p:b xmlns:p=\"urn:2\"/><p:c/></p:a>",
        "<a xml:space=\"preserve\" xmlns:q=\"urn:&amp;q\"><q:b/></a>",
        "<a v=\"x&#9;y&#10;z\" w=\"tab\there\nline\r\nend\rx\" e=\"&lt;&gt;&amp;&quot;&apos;\" s='\"'/>",
        "<a>one &amp; two &#x20AC; &#233; &#65;</a>", "<a>line\r\nnext\rlast\n</a>",
        "<a><![CDATA[<not> &amp; a tag]]]]><![CDATA[>\r\n]]></a>", "<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 ] ]] ]>] x</a>",
        "<a\n  b = \"1\"\n\tc='2'  ></a\n>", "<a.b-c_d:e xmlns:a.b-c_d=\"urn:x\"/>", "<\xC3\xA9l\xC3\xA9ment attr\xC3\xA9=\"v\"/>",
    };
    for (const auto& d : docs) EXPECT_TRUE(Agree(d).ok) << d;
}

TEST(XmlScanner, MalformedDocumentsAreRefusedLikeExpat)
{
    const std::vector<std::string> docs = {
        "", "   ", "text", "<a>", "<a></b>", "<a><b></a></b>", "<a/><b/>", "<a/>junk", "<a/><", "<p:a/>", "<a p:x=\"1\"/>",
        "<a x=\"1\" x=\"2\"/>", "<a xmlns:p=\"urn:1\" xmlns:q=\"urn:1\" p:x=\"1\" q:x=\"2\"/>", "<a xmlns:p=\"\"/>",
        "<a xmlns:xml=\"urn:other\"/>", "<a xmlns:xmlns=\"urn:x\"/>", "<a xmlns:6p=\"urn:x\"/>", "<a x=1/>", "<a x=\"1/>",
        "<a x=\"<\"/>", "<ax=\"1\"/>", "<a x=\"1\"y=\"2\"/>", "<a>&nbsp;</a>", "<a>&amp</a>", "<a>&;</a>", "<a>&#;</a>",
        "<a>&#x;</a>", "<a>&#0;</a>", "<a>&#xD800;</a>", "<a>&#x110000;</a>", "<a>&#99999999999999999999;</a>",
        "<a>&#xFFFE;</a>", "<a>&#12a;</a>", "<a>\x01</a>", "<a>\xC3</a>", "<a>\xC0\x80</a>", "<a>\xED\xA0\x80</a>",
        "<a>\xEF\xBF\xBE</a>", "<a>\xF4\x90\x80\x80</a>", "<a>\xFF</a>", "<a/>\xff", "<a>]]></a>", "<a><!-- a -- b --></a>",
        "<a><!-- a ---></a>", "<a><!-- open</a>", "<a><![CDATA[open</a>", "<![CDATA[x]]><a/>", "<a><?xml version=\"1.0\"?></a>",
        " <?xml version=\"1.0\"?><a/>", "<?xml?><a/>", "<?xml encoding=\"UTF-8\"?><a/>",
        "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>",
        "<?xml version=\"1.0\"", "<!DOCTYPE a><a/>", "<a><!DOCTYPE a></a>", "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>",
        "<!DOCTYPE l [<!ENTITY l \"lol\"><!ENTITY l2 \"&l;&l;&l;&l;\">]><l>&l2;</l>", "<a></a >x", "<1a/>", "<a><:b/></a>",
        "<a:/>", "<a:b:c xmlns:a=\"urn:a\"/>", "<a/ >", "</a>", "<a></>",
    };
    for (const auto& d : docs) EXPECT_EQ(Agree(d).error.kind, ReadErrorKind::Damaged) << "accepted: " << d;
    // The words the log shows name the line.
    const Outcome o = Parsed("<a>\n<b>\n</c>\n</a>");
    EXPECT_NE(o.error.detail.find("line 3"), std::string::npos) << o.error;
}

// Thousands of attributes on one tag: the duplicate check sorts rather than
// comparing every pair, and still finds the duplicate at the end. Nesting
// has no cap of its own: both parsers read a deep document alike, stop at a
// cap when one is asked for, and refuse a stack too deep for the budget.
TEST(XmlScanner, ManyAttributesAndDeepNestingUnderEveryLimit)
{
    std::string many = "<a";
    for (int i = 0; i < 20000; ++i) many += " a" + std::to_string(i) + "=\"v\"";
    EXPECT_TRUE(Parsed(many + "/>").ok);
    EXPECT_EQ(Parsed(many + " a17=\"w\"/>").error.kind, ReadErrorKind::Damaged);

    std::string deep;
    for (int i = 0; i < 50000; ++i) deep += "<a x=\"" + std::to_string(i % 7) + "\">t";
    for (int i = 0; i < 50000; ++i) deep += "</a>";
    const Outcome o = Agree(deep);
    ASSERT_TRUE(o.ok) << o.error;
    const std::tuple<std::size_t, std::uint64_t, bool> cases[] = {  // depth cap, budget (0: none), read
        {50000, 0, true}, {49999, 0, false}, {SIZE_MAX, 50000 * office::XmlLimits::kBytesPerLevel, true},
        {SIZE_MAX, 50000 * office::XmlLimits::kBytesPerLevel - 1, false}};
    for (const auto& [maxDepth, bytes, ok] : cases) {
        office::ReadBudget budget(bytes);
        office::XmlLimits limits;
        limits.maxDepth = maxDepth;
        if (bytes != 0) limits.budget = &budget;
        for (const bool reference : {false, true}) {
            const Outcome r = Parsed(deep, reference, limits);
            // A cap or the budget refuses the nesting for its size.
            EXPECT_EQ(r.error.kind, ok ? ReadErrorKind::None : ReadErrorKind::TooLarge) << maxDepth << " " << reference;
            if (ok) {
                EXPECT_EQ(r.events, o.events);
            }
        }
        EXPECT_EQ(budget.Used(), 0u);
    }
    office::XmlLimits small;
    small.maxInputBytes = 10;
    EXPECT_EQ(Parsed("<a>0123456789</a>", false, small).error.kind, ReadErrorKind::TooLarge);
}

// An exception from a handler ends the parse, from our scanner and from
// expat alike, and no later event is delivered. (A stop from a handler: the
// caps on nesting above, and the readers' budgets.)
TEST(XmlScanner, ExceptionFromAHandlerEndsTheParse)
{
    for (const char* document : {"<a><b/><c/></a>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a><b/><c/></a>"}) {
        Recorder thrown;
        thrown.throwAt = "b";
        ReadError error;
        EXPECT_THROW(thrown.Parse(document, error), std::runtime_error);
        EXPECT_EQ(thrown.Events().find("}c"), std::string::npos) << document;
    }
}

// Random single-byte edits of a document with every construct the
// scanner reads: whatever the edit, both parsers must agree.
TEST(XmlScanner, RandomEditsAgreeWithExpat)
{
    const std::string base = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + "<w:document xmlns:w=\"" +
                             kW + "\" xmlns=\"urn:d\"><w:body><w:p w:rsid=\"00A1\">" +
                             "<w:r><w:t xml:space=\"preserve\">a &amp; b &#233;</w:t></w:r><!-- c -->" +
                             "<x y='1' w:z=\"2\"/><![CDATA[d]]><?p i?></w:p></w:body></w:document>";
    const std::string alphabet = "<>/=\"'&;#:!?-[]x w\n\r\t0A\xC3\xA9";
    std::mt19937 rng(20261206);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string doc = base;
        const int edits = 1 + static_cast<int>(rng() % 3);
        for (int e = 0; e < edits && !doc.empty(); ++e) {
            const std::size_t at = rng() % doc.size();
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
            case 0: doc[at] = c; break;
            case 1: doc.insert(doc.begin() + static_cast<std::ptrdiff_t>(at), c); break;
            default: doc.erase(at, 1); break;
            }
        }
        accepted += Agree(doc).ok ? 1 : 0;
        if (HasFailure()) break;
    }
    // A fair share of edited documents stay well-formed, so the events were
    // compared too, not only the refusals.
    EXPECT_GT(accepted, 1000);
}

}  // namespace
