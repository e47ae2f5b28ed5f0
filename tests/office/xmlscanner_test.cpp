// The in-place XML scanner against expat: for well-formed documents both
// must report the same elements, attributes and text, and a document one
// refuses the other must refuse too. Hand-picked cases cover each rule;
// random mutations of a small package-like document cover the rest.
#include "office/containers/xmlscanner.h"
#include "office/containers/xmlsax.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Every event as one line; adjacent text pieces are joined, since either
// parser may split a run of text anywhere.
class Recorder : public office::XmlSax {
public:
    explicit Recorder(bool reference, const office::XmlLimits& limits = {}) : XmlSax(limits)
    {
        if (reference) UseReferenceParser();
    }
    std::string Events() const
    {
        std::string all;
        for (const auto& e : m_events) all += e + "\n";
        return all;
    }

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
    }
    void EndElement(const office::XmlName& name) override
    {
        m_events.push_back("</{" + std::string(name.ns) + "}" + std::string(name.local));
    }
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
    std::string error;
};

Outcome Parsed(const std::string& xml, bool reference)
{
    Recorder r(reference);
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
    if (fast.ok && ref.ok) {
        EXPECT_EQ(fast.events, ref.events) << "document: " << xml;
    }
    return fast;
}

constexpr const char* kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

TEST(XmlScanner, WellFormedDocumentsGiveExpatsEvents)
{
    const std::string w = kW;
    const std::vector<std::string> docs = {
        "<a/>",
        "\xEF\xBB\xBF<a/>",
        "<?xml version=\"1.0\"?><a/>",
        "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<a/>\n",
        "<!-- before --><?pi data?><a><!----><?x?></a><!-- after -->  ",
        "<w:document xmlns:w=\"" + w + "\" xmlns:r=\"urn:r\"><w:body><w:p r:id=\"1\" w:x=\"2\" y=\"3\"/></w:body></w:document>",
        "<a xmlns=\"urn:d\"><b xmlns=\"\"><c/></b><d q=\"1\"/></a>",
        "<p:a xmlns:p=\"urn:1\"><p:b xmlns:p=\"urn:2\"/><p:c/></p:a>",
        "<a xml:space=\"preserve\" xmlns:q=\"urn:&amp;q\"><q:b/></a>",
        "<a v=\"x&#9;y&#10;z\" w=\"tab\there\nline\r\nend\rx\" e=\"&lt;&gt;&amp;&quot;&apos;\" s='\"'/>",
        "<a>one &amp; two &#x20AC; &#233; &#65;</a>",
        "<a>line\r\nnext\rlast\n</a>",
        "<a><![CDATA[<not> &amp; a tag]]]]><![CDATA[>\r\n]]></a>",
        "<a>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 ] ]] ]>] x</a>",
        "<a\n  b = \"1\"\n\tc='2'  ></a\n>",
        "<a.b-c_d:e xmlns:a.b-c_d=\"urn:x\"/>",
        "<\xC3\xA9l\xC3\xA9ment attr\xC3\xA9=\"v\"/>",
    };
    for (const auto& d : docs) EXPECT_TRUE(Agree(d).ok) << d;
}

TEST(XmlScanner, MalformedDocumentsAreRefusedLikeExpat)
{
    const std::vector<std::string> docs = {
        "",
        "   ",
        "text",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "<a/>junk",
        "<a/><",
        "<p:a/>",
        "<a p:x=\"1\"/>",
        "<a x=\"1\" x=\"2\"/>",
        "<a xmlns:p=\"urn:1\" xmlns:q=\"urn:1\" p:x=\"1\" q:x=\"2\"/>",
        "<a xmlns:p=\"\"/>",
        "<a xmlns:xml=\"urn:other\"/>",
        "<a xmlns:xmlns=\"urn:x\"/>",
        "<a xmlns:6p=\"urn:x\"/>",
        "<a x=1/>",
        "<a x=\"1/>",
        "<a x=\"<\"/>",
        "<ax=\"1\"/>",
        "<a x=\"1\"y=\"2\"/>",
        "<a>&nbsp;</a>",
        "<a>&amp</a>",
        "<a>&;</a>",
        "<a>&#;</a>",
        "<a>&#x;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&#99999999999999999999;</a>",
        "<a>&#xFFFE;</a>",
        "<a>&#12a;</a>",
        "<a>\x01</a>",
        "<a>\xC3</a>",
        "<a>\xC0\x80</a>",
        "<a>\xED\xA0\x80</a>",
        "<a>\xEF\xBF\xBE</a>",
        "<a>\xF4\x90\x80\x80</a>",
        "<a>\xFF</a>",
        "<a>]]></a>",
        "<a><!-- a -- b --></a>",
        "<a><!-- a ---></a>",
        "<a><!-- open</a>",
        "<a><![CDATA[open</a>",
        "<![CDATA[x]]><a/>",
        "<a><?xml version=\"1.0\"?></a>",
        " <?xml version=\"1.0\"?><a/>",
        "<?xml?><a/>",
        "<?xml encoding=\"UTF-8\"?><a/>",
        "<?xml version=\"1.0\" standalone=\"maybe\"?><a/>",
        "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><a/>",
        "<?xml version=\"1.0\"",
        "<!DOCTYPE a><a/>",
        "<a><!DOCTYPE a></a>",
        "<a></a >x",
        "<1a/>",
        "<a><:b/></a>",
        "<a:/>",
        "<a:b:c xmlns:a=\"urn:a\"/>",
        "<a/ >",
        "</a>",
        "<a></>",
    };
    for (const auto& d : docs) {
        const Outcome o = Agree(d);
        EXPECT_FALSE(o.ok) << "accepted: " << d;
    }
}

TEST(XmlScanner, ErrorsNameTheLine)
{
    const Outcome o = Parsed("<a>\n<b>\n</c>\n</a>", false);
    ASSERT_FALSE(o.ok);
    EXPECT_NE(o.error.find("malformed XML"), std::string::npos) << o.error;
    EXPECT_NE(o.error.find("line 3"), std::string::npos) << o.error;
}

TEST(XmlScanner, LeavesOtherEncodingsToExpat)
{
    EXPECT_TRUE(office::XmlScanner::Handles("<a/>"));
    EXPECT_TRUE(office::XmlScanner::Handles("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"));
    EXPECT_FALSE(office::XmlScanner::Handles("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"));
    EXPECT_FALSE(office::XmlScanner::Handles(std::string("\xFF\xFE<\0a\0/\0>\0", 10)));
    EXPECT_FALSE(office::XmlScanner::Handles(std::string("<\0a\0/\0>\0", 8)));

    // A Latin-1 document still reads, through expat.
    const Outcome latin = Parsed("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>", false);
    ASSERT_TRUE(latin.ok) << latin.error;
    EXPECT_NE(latin.events.find("T:caf\xC3\xA9"), std::string::npos) << latin.events;
}

TEST(XmlScanner, HostileTagsStayCheap)
{
    // Thousands of attributes on one tag: the duplicate check sorts rather
    // than comparing every pair, and still finds the duplicate at the end.
    std::string many = "<a";
    for (int i = 0; i < 20000; ++i) many += " a" + std::to_string(i) + "=\"v\"";
    EXPECT_TRUE(Parsed(many + "/>", false).ok);
    EXPECT_FALSE(Parsed(many + " a17=\"w\"/>", false).ok);

    // An unclosed nest of 100,000 elements is malformed, for both.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    const Outcome o = Agree(deep);
    EXPECT_FALSE(o.ok);
}

// Nesting has no cap of its own: both parsers read a deep document alike,
// both stop at a cap when one is asked for, and both refuse a stack too deep
// for the file's budget at the same element.
TEST(XmlScanner, DeepNestingAgreesWithExpatUnderEveryLimit)
{
    std::string deep;
    for (int i = 0; i < 50000; ++i) deep += "<a x=\"" + std::to_string(i % 7) + "\">t";
    for (int i = 0; i < 50000; ++i) deep += "</a>";
    const Outcome o = Agree(deep);
    EXPECT_TRUE(o.ok) << o.error;

    struct Case {
        std::size_t maxDepth;
        std::uint64_t budget;  // 0: none
        bool ok;
        const char* error;
    };
    const std::vector<Case> cases = {
        {50000, 0, true, ""},
        {49999, 0, false, "deeper than 49999"},
        {SIZE_MAX, 50000 * office::XmlLimits::kBytesPerLevel, true, ""},
        {SIZE_MAX, 50000 * office::XmlLimits::kBytesPerLevel - 1, false, "too large"},
    };
    for (const Case& c : cases) {
        office::ReadBudget budget(c.budget);
        office::XmlLimits limits;
        limits.maxDepth = c.maxDepth;
        if (c.budget != 0) limits.budget = &budget;
        for (const bool reference : {false, true}) {
            Recorder r(reference, limits);
            std::string error;
            EXPECT_EQ(r.Parse(deep, error), c.ok) << c.maxDepth << " " << c.budget << " " << reference << " " << error;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            if (c.ok) {
                EXPECT_EQ(r.Events(), o.events);
            }
        }
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
        const Outcome fast = Parsed(doc, false);
        const Outcome ref = Parsed(doc, true);
        ASSERT_EQ(fast.ok, ref.ok) << "document: " << doc << "\nscanner: " << fast.error << "\nexpat: " << ref.error;
        if (fast.ok) {
            ASSERT_EQ(fast.events, ref.events) << "document: " << doc;
            ++accepted;
        }
    }
    // The edits leave a fair share of documents well-formed, so the events
    // were compared too, not only the refusals.
    EXPECT_GT(accepted, 1000);
}

}  // namespace
