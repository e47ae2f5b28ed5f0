// libFuzzer target for the decoder of .xls formula tokens. The first four
// bytes make up the context (byte 0: bit 0 BIFF8, bit 1 shared formula,
// bit 2 a code-page decoder for BIFF5 strings; bytes 1-2 the owning row,
// byte 3 its column); the rest are the tokens. The link tables are a
// made-up workbook's: a few sheets, one outside the workbook, defined and
// external names, some of them empty.
//
// Differential: the same tables handed over as vectors and through a
// BiffFormulaLinks object must give the same text, and a prepared formula
// must show the same text at its own cell as Decode. Every text begins with
// "=" and stays within the decoder's cap.
#include "office/excel/biffformula.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using office::BiffFormulaContext;
using office::BiffFormulaDecoder;

const std::vector<std::optional<std::u16string>>& SheetRefs()
{
    static const std::vector<std::optional<std::u16string>> refs = {u"Sheet2",
                                                                    std::nullopt,
                                                                    BiffFormulaDecoder::QuoteSheetName(u"My Data"),
                                                                    BiffFormulaDecoder::QuoteSheetRange(u"Jan", u"Mar"),
                                                                    u"#REF",
                                                                    u""};
    return refs;
}

const std::vector<std::u16string>& Names()
{
    static const std::vector<std::u16string> names = {u"Rate", u"", u"Sheet2!Total", u"_xlfn.IFERROR"};
    return names;
}

const std::vector<std::vector<std::u16string>>& ExternNames()
{
    static const std::vector<std::vector<std::u16string>> names = {
        {}, {u"EDATE"}, {u"_xlfn.COUNTIFS", u"", u"_xlfn."}, {u"NETWORKDAYS"}};
    return names;
}

// The same tables, answered one entry at a time as the reader's link
// tables do.
class Links : public office::BiffFormulaLinks {
public:
    std::optional<std::u16string> SheetRef(std::uint16_t ixti) const override
    {
        if (ixti >= SheetRefs().size()) return std::nullopt;
        return SheetRefs()[ixti];
    }
    std::u16string Name(std::uint16_t index) const override
    {
        if (index == 0 || index > Names().size()) return {};
        return Names()[index - 1u];
    }
    std::u16string ExternName(std::uint16_t ixti, std::uint16_t index) const override
    {
        if (ixti >= ExternNames().size()) return {};
        const auto& names = ExternNames()[ixti];
        if (index == 0 || index > names.size()) return {};
        return names[index - 1u];
    }
};

void CheckText(const std::optional<std::u16string>& text)
{
    if (!text) return;
    if (text->empty() || text->front() != u'=') __builtin_trap();
    if (text->size() > BiffFormulaDecoder::kMaxTextUnits + 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    BiffFormulaContext tables;
    tables.biff8 = (data[0] & 1) != 0;
    tables.shared = (data[0] & 2) != 0;
    if ((data[0] & 4) != 0) {
        // Stands in for a code page: each byte one character, 0x80 the euro.
        tables.decode8 = [](const std::uint8_t* p, std::size_t n) {
            std::u16string out;
            for (std::size_t i = 0; i < n; ++i) out.push_back(p[i] == 0x80 ? u'\u20AC' : static_cast<char16_t>(p[i]));
            return out;
        };
    }
    tables.row = static_cast<std::uint32_t>(data[1] | (data[2] << 8));
    tables.column = data[3];
    tables.sheetRefs = &SheetRefs();
    tables.names = &Names();
    tables.externNames = &ExternNames();

    BiffFormulaContext linked = tables;
    const Links links;
    linked.sheetRefs = nullptr;
    linked.names = nullptr;
    linked.externNames = nullptr;
    linked.links = &links;

    const office::ByteView tokens(data + 4, size - 4);
    const auto fromTables = BiffFormulaDecoder(tables).Decode(tokens);
    const auto fromLinks = BiffFormulaDecoder(linked).Decode(tokens);
    if (fromTables != fromLinks) __builtin_trap();
    CheckText(fromTables);

    // A shared formula is prepared once and shown at every cell it covers.
    const auto prepared = BiffFormulaDecoder(tables).Prepare(tokens);
    if (fromTables && !prepared) __builtin_trap();
    if (prepared) {
        if (prepared->TextAt(tables.row, tables.column) != fromTables) __builtin_trap();
        const std::uint32_t rows = tables.biff8 ? 65535 : 16383;
        CheckText(prepared->TextAt(0, 0));
        CheckText(prepared->TextAt(rows, 255));
        CheckText(prepared->TextAt(rows / 2, 128));
    }
    return 0;
}
