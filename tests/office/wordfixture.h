// The Word side of the office tests in one place: the readers as one
// function type, the stories of what one read, and in-memory documents
// searched with requests whose switches are written as letters.
#pragma once

#include "office/word/docreader.h"
#include "office/word/docxreader.h"
#include "office/word/htmlreader.h"
#include "office/word/rtfreader.h"
#include "office/word/textreader.h"
#include "office/word/wordfind.h"
#include "office/word/wordloader.h"
#include "tests/office/zipfixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wordfix {

using namespace office;
using Bytes = std::vector<std::uint8_t>;
using Reader = bool (*)(ByteView, WordContent&, ReadError&);

inline const Reader kDoc = [](ByteView b, WordContent& c, ReadError& e) { return ReadWordBinary(b, c, e); };
inline const Reader kDocx = [](ByteView b, WordContent& c, ReadError& e) { return ReadDocx(b, c, e); };
inline const Reader kRtf = ReadRtf;
inline const Reader kText = [](ByteView b, WordContent& c, ReadError& e) { return ReadText(b, c, e); };
inline const Reader kHtml = [](ByteView b, WordContent& c, ReadError& e) { return ReadHtml(b, c, e); };
inline const Reader kLoad = [](ByteView b, WordContent& c, ReadError& e) { return LoadWordContent(b, c, e); };
inline const Reader kLoadPage = [](ByteView b, WordContent& c, ReadError& e) {
    return LoadWordContent(b, c, e, WordFileName::WebPage);
};

inline ByteView View(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }
inline Bytes Ascii(std::string_view s) { return {s.begin(), s.end()}; }

inline WordContent ReadOk(Reader reader, ByteView bytes)
{
    WordContent c;
    ReadError error;
    EXPECT_TRUE(reader(bytes, c, error)) << error;
    return c;
}

// The first story of `kind`, or "<none>".
inline std::u16string StoryOf(const WordContent& c, StoryKind kind = StoryKind::Main)
{
    for (const Story& s : c.stories) {
        if (s.kind == kind) return s.text;
    }
    return u"<none>";
}

// Switches as letters: c match case, w whole word, * wildcards, s sounds
// like, f all word forms; r replaces every match with one space.
inline FindRequest Request(std::u16string text, std::string_view s = "")
{
    FindRequest r;
    r.findText = std::move(text);
    const auto has = [s](char c) { return s.find(c) != std::string_view::npos; };
    r.options = {has('c'), has('w'), has('*'), has('s'), has('f')};
    if (has('r')) r.replaceWith.assign(1, u' ');
    if (has('r')) r.replace = ReplaceMode::All;
    return r;
}

inline bool Find(WordDocument& doc, std::u16string text, std::string_view switches = "")
{
    return ExecuteFind(doc, Request(std::move(text), switches));
}

inline bool ReplaceAll(WordDocument& doc, std::u16string text, std::u16string with, std::string_view switches = "")
{
    FindRequest r = Request(std::move(text), switches);
    r.replaceWith = std::move(with);
    r.replace = ReplaceMode::All;
    return ExecuteFind(doc, r);
}

// A main story, then footnotes.
inline WordDocument Document(std::vector<std::u16string> stories)
{
    WordContent content;
    for (std::u16string& s : stories)
        content.stories.push_back({content.stories.empty() ? StoryKind::Main : StoryKind::Footnotes, std::move(s)});
    return WordDocument(std::move(content));
}

// Office Open XML packages whose main part is document.xml.
inline const std::string kNs =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
    "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
    "xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\"";

inline std::string Rel(const std::string& id, const std::string& type, const std::string& target, bool external = false)
{
    return "<Relationship Id=\"" + id + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" +
           type + "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}
inline std::string Rels(const std::string& inner)
{
    return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + inner +
           "</Relationships>";
}
inline std::string Part(const std::string& root, const std::string& inner)
{
    return "<w:" + root + " " + kNs + ">" + inner + "</w:" + root + ">";
}
inline std::string Body(const std::string& inner) { return Part("document", "<w:body>" + inner + "</w:body>"); }
inline std::string Para(const std::string& runs) { return "<w:p>" + runs + "</w:p>"; }
inline std::string TextRun(const std::string& text) { return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>"; }
inline Bytes Package(const std::string& document, std::vector<ziptest::Entry> more = {})
{
    more.push_back({"_rels/.rels", Rels(Rel("rId1", "officeDocument", "word/document.xml"))});
    more.push_back({"word/document.xml", document});
    return ziptest::BuildZip(more);
}

inline std::string Show(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s) out += c < 0x7F && c >= 0x20 ? std::string(1, static_cast<char>(c)) : "\\u" + std::to_string(c);
    return out;
}

}  // namespace wordfix
