// Turns the element and text events of a web page's parser into Word's
// stories: which text a browser shows (not script, style or other hidden
// elements), where paragraphs, line breaks, table cells and rows end, which
// text is preformatted, and the first <title> as a story of its own.
//
// The parser may be restarted part way through a page (see
// htmlsaxparser.h): the elements open at that point stay open here,
// "detached" from the parser, and an end tag the new parser run cannot match
// closes the innermost detached element of that name, as it would have done
// without the restart. Every operation costs time independent of the
// nesting depth (amortised), so the walk is linear in the page.
#pragma once

#include "office/containers/htmlevents.h"
#include "office/word/htmltextbuilder.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace office {

class HtmlWalker final : public HtmlEventSink {
public:
    HtmlWalker();
    // Room for the text of a page of `bytes` bytes, which holds at most
    // about as many units, made once rather than grown text run by run; for
    // a page of up to kReserveUpTo bytes only: a larger one may be mostly
    // markup, and its story grows as it goes.
    void ReserveFor(std::size_t bytes);
    static constexpr std::size_t kReserveUpTo = std::size_t{1} << 20;

    // An element carrying "hidden" hides its content like a hidden element.
    void StartElement(std::string_view name, const HtmlAttributes& attributes) override;
    void EndElement() override;
    void Characters(std::string_view utf8) override;
    void UnmatchedEndTag(std::string_view name) override;
    void DetachOpenElements() override;
    // Body or title text.
    bool ReadsText() const override { return m_titleCapture > 0 || !Suppressed(); }

    // Closes what is still open and hands out the main text and the title.
    void Finish(std::u16string& body, std::u16string& title);
    // What HtmlTextBuilder::Normal says of each.
    bool BodyNormal() const { return m_bodyText.Normal(); }
    bool TitleNormal() const { return m_titleText.Normal(); }

private:
    enum class Effect : std::uint8_t { None, Visible, Hidden, TitleCapture, TitleSkip };
    struct Open {
        std::uint32_t name = 0;
        Effect effect = Effect::None;
        std::uint8_t flags = 0;
    };

    bool Suppressed() const { return m_hidden > 0 || m_titleCapture > 0 || m_titleSkip > 0; }
    std::uint32_t NameId(std::string_view name);
    // The id of a name seen before (or known), without adding it.
    bool FindId(std::string_view name, std::uint32_t& id);
    void Leave(const Open& open);
    void CloseDetachedTop();
    // Implied ends a browser gives a detached element when a new one starts
    // (a <td> ends the cell before it); the parser run does this for its own.
    void AutoCloseDetached(std::uint16_t starting);

    std::u16string m_body;
    std::u16string m_title;
    HtmlTextBuilder m_bodyText;
    HtmlTextBuilder m_titleText;

    std::vector<Open> m_live;
    std::size_t m_liveEnded = 0;  // m_live below this already ended with a detached element
    std::vector<Open> m_detached;
    // Positions in m_detached of each name, innermost last.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_detachedByName;
    std::unordered_map<std::string, std::uint32_t> m_names;  // names other than the known ones
    std::vector<std::uint16_t> m_classes;                    // what each name means, by id
    std::string m_key;                                       // reused lookup key

    int m_hidden = 0;
    int m_titleCapture = 0;
    int m_titleSkip = 0;
    int m_pre = 0;
    bool m_haveTitle = false;
    bool m_detachedRuns = false;  // a parser run after the first is reading
};

}  // namespace office
