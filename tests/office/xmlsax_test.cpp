// The streaming XML wrapper: namespace-resolved names, attributes, text,
// refusal of DTDs and entity tricks, and nesting that is free but charged.
#include "office/containers/xmlsax.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// Records every event as a line of text.
class Recorder : public office::XmlSax {
public:
    using XmlSax::XmlSax;
    std::vector<std::string> events;
    std::string stopAt;
    std::string throwAt;

protected:
    void StartElement(const office::XmlName& name, const office::XmlAttributes& attrs) override
    {
        std::string e = "<" + std::string(name.ns) + "|" + std::string(name.local);
        attrs.ForEach([&](const office::XmlName& an, std::string_view v) {
            e += " " + std::string(an.ns) + "|" + std::string(an.local) + "=" + std::string(v);
        });
        events.push_back(e + "@" + std::to_string(Depth()));
        if (!stopAt.empty() && name.local == stopAt) Stop("stopped at " + stopAt);
        if (!throwAt.empty() && name.local == throwAt) throw std::runtime_error("thrown at " + throwAt);
    }
    void EndElement(const office::XmlName& name) override { events.push_back("/" + std::string(name.local)); }
    void CharacterData(std::string_view text) override
    {
        if (!events.empty() && events.back().rfind("T:", 0) == 0) events.back() += text;
        else events.push_back("T:" + std::string(text));
    }
};

TEST(XmlSax, ResolvesNamespacesWhateverThePrefix)
{
    const std::string xml = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>") +
                            "<x:document xmlns:x=\"" + kW + "\"><x:t x:space=\"preserve\" plain=\"1\">a &amp; b</x:t></x:document>";
    Recorder r;
    std::string error;
    ASSERT_TRUE(r.Parse(xml, error)) << error;
    ASSERT_EQ(r.events.size(), 5u);
    EXPECT_EQ(r.events[0], std::string("<") + kW + "|document@1");
    EXPECT_EQ(r.events[1], std::string("<") + kW + "|t " + kW + "|space=preserve |plain=1@2");
    EXPECT_EQ(r.events[2], "T:a & b");
    EXPECT_EQ(r.events[3], "/t");
    EXPECT_EQ(r.events[4], "/document");
}

TEST(XmlSax, AttributeLookupByNamespace)
{
    class Probe : public office::XmlSax {
    public:
        std::string val, missing = "unset";
    protected:
        void StartElement(const office::XmlName& name, const office::XmlAttributes& a) override
        {
            if (name.local != "sym") return;
            const char* v = a.Get(kW, "char");
            val = v != nullptr ? v : "";
            missing = a.Get("", "char") == nullptr ? "null" : "found";
        }
        void EndElement(const office::XmlName&) override {}
        void CharacterData(std::string_view) override {}
    } p;
    std::string error;
    ASSERT_TRUE(p.Parse(std::string("<w:sym xmlns:w=\"") + kW + "\" w:char=\"F04A\"/>", error)) << error;
    EXPECT_EQ(p.val, "F04A");
    EXPECT_EQ(p.missing, "null");
}

TEST(XmlSax, DecodesCharacterReferencesToUtf8)
{
    Recorder r;
    std::string error;
    ASSERT_TRUE(r.Parse("<a>&#x20AC;&#233;&lt;&gt;&quot;&apos;</a>", error)) << error;
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[1], "T:\xE2\x82\xAC\xC3\xA9<>\"'");
}

TEST(XmlSax, RefusesDoctypeAndEntityExpansion)
{
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
        "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]><lolz>&lol2;</lolz>";
    Recorder r;
    std::string error;
    EXPECT_FALSE(r.Parse(laughs, error));
    EXPECT_NE(error.find("not allowed"), std::string::npos) << error;
    EXPECT_TRUE(r.events.empty());

    Recorder ext;
    EXPECT_FALSE(ext.Parse("<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>", error));

    Recorder undeclared;
    EXPECT_FALSE(undeclared.Parse("<a>&nbsp;</a>", error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
}

// Deep nesting reads at any depth unless a cap is asked for; what the open
// elements cost is charged to the file's budget, which refuses a stack too
// deep for it with the usual "too large" reason.
TEST(XmlSax, DepthIsFreeUnlessCappedAndChargedToTheBudget)
{
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "<a>";
    deep += "inner";
    for (int i = 0; i < 20000; ++i) deep += "</a>";
    std::string error;
    Recorder r;
    ASSERT_TRUE(r.Parse(deep, error)) << error;
    EXPECT_EQ(r.events.size(), 40001u);
    EXPECT_EQ(r.events[20000], "T:inner");
    EXPECT_EQ(r.events[19999], "<|a@20000");

    office::XmlLimits capped;
    capped.maxDepth = 300;
    Recorder tooDeep(capped);
    EXPECT_FALSE(tooDeep.Parse(deep, error));
    EXPECT_NE(error.find("deeper than 300"), std::string::npos) << error;

    // 20,000 levels cost 20,000 * kBytesPerLevel (5 MB): a budget of 4 MB
    // refuses them, one of 8 MB does not, and each ends with nothing held.
    office::ReadBudget small(4u << 20);
    Recorder refused(office::XmlLimitsFor(&small));
    EXPECT_FALSE(refused.Parse(deep, error));
    EXPECT_EQ(error.rfind("too large:", 0), 0u) << error;
    EXPECT_NE(error.find("nesting"), std::string::npos) << error;
    office::ReadBudget enough(8u << 20);
    {
        Recorder fits(office::XmlLimitsFor(&enough));
        EXPECT_TRUE(fits.Parse(deep, error)) << error;
        EXPECT_GE(enough.Used(), 20000 * office::XmlLimits::kBytesPerLevel);
    }
    EXPECT_EQ(enough.Used(), 0u);
}

TEST(XmlSax, CapsInputSizeOnlyWhenAsked)
{
    office::XmlLimits lim;
    lim.maxInputBytes = 10;
    Recorder r(lim);
    std::string error;
    EXPECT_FALSE(r.Parse("<a>0123456789</a>", error));
    EXPECT_NE(error.find("too large"), std::string::npos);
    Recorder unlimited;
    EXPECT_TRUE(unlimited.Parse("<a>" + std::string(1u << 20, 'x') + "</a>", error)) << error;
}

TEST(XmlSax, MalformedAndEmptyInputFailWithReason)
{
    std::string error;
    Recorder a;
    EXPECT_FALSE(a.Parse("<a><b></a>", error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    Recorder b;
    EXPECT_FALSE(b.Parse("", error));
    Recorder c;
    EXPECT_FALSE(c.Parse("<p:a/>", error));  // unbound prefix
    Recorder d;
    EXPECT_FALSE(d.Parse("<a/>\xff", error));
}

TEST(XmlSax, StopFromCallbackEndsTheParse)
{
    Recorder r;
    r.stopAt = "b";
    std::string error;
    EXPECT_FALSE(r.Parse("<a><b/><c/></a>", error));
    EXPECT_EQ(error, "stopped at b");
    for (const auto& e : r.events) EXPECT_EQ(e.find("|c"), std::string::npos);
    // A parser object is single use.
    EXPECT_FALSE(r.Parse("<a/>", error));
}

// An exception from a callback (the stop request) leaves Parse as it is,
// from our scanner and from expat alike, and no later event is delivered.
TEST(XmlSax, ExceptionFromCallbackComesOutOfParse)
{
    for (const char* document : {"<a><b/><c/></a>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a><b/><c/></a>"}) {
        Recorder r;
        r.throwAt = "b";
        std::string error;
        try {
            r.Parse(document, error);
            ADD_FAILURE() << "no exception for " << document;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "thrown at b");
        }
        for (const auto& e : r.events) EXPECT_EQ(e.find("|c"), std::string::npos) << document;
    }
}

}  // namespace
