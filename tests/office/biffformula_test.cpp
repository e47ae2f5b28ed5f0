// Formula text from .xls tokens: one table of hand-built token streams and
// the text Excel shows for them (constants, operators, parentheses,
// references of every class, shared formulas whose references move with
// the cell, functions, attributes, other sheets, names, add-in functions,
// BIFF5's layout), or nothing where a formula cannot be shown; then
// streams cut short and caps, which must be refused safely (random tokens
// are the fuzz target formula_fuzz's, run under the sanitizers).
#include "office/excel/biffformula.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <limits>

using namespace office;
using namespace excelfixtures;

namespace {

// Tokens in reverse Polish order, as a FORMULA record holds them.
class Rpn {
public:
    Rpn& B(std::initializer_list<unsigned> bytes)
    {
        for (unsigned v : bytes) m_b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Rpn& Int(unsigned v) { return B({0x1E, v & 0xFF, v >> 8}); }
    Rpn& Num(double v)
    {
        PutF64(B({0x1F}).m_b, v);
        return *this;
    }
    Rpn& Str(const std::u16string& s)
    {
        PutString8(B({0x17}).m_b, s, 1);
        return *this;
    }
    // A BIFF8 reference; a relative part is written without $.
    Rpn& Ref(unsigned row, unsigned col, bool rowRel = true, bool colRel = true, unsigned id = 0x24)
    {
        const unsigned c = (col & 0x3FFF) | (colRel ? 0x4000u : 0u) | (rowRel ? 0x8000u : 0u);
        return B({id, row & 0xFF, row >> 8, c & 0xFF, c >> 8});
    }
    Rpn& Area(unsigned r1, unsigned r2, unsigned c1, unsigned c2, bool rel = true, unsigned id = 0x25)
    {
        const unsigned flags = rel ? 0xC0 : 0;
        return B({id, r1 & 0xFF, r1 >> 8, r2 & 0xFF, r2 >> 8, c1, flags, c2, flags});
    }
    Rpn& Func(unsigned index) { return B({0x41, index & 0xFF, index >> 8}); }
    Rpn& FuncVar(unsigned index, unsigned count) { return B({0x42, count, index & 0xFF, index >> 8}); }
    Rpn& Attr(unsigned flags, unsigned data) { return B({0x19, flags, data & 0xFF, data >> 8}); }
    const Bytes& Get() const { return m_b; }

private:
    Bytes m_b;
};

enum : unsigned {
    kAdd = 0x03, kSub, kMul, kDiv, kPower, kConcat, kLt, kLe, kEq, kGe, kGt, kNe, kIsect, kUnion, kRange,
    kUplus, kUminus, kPercent, kParen, kMissArg,
};

std::optional<std::u16string> Decode(const Bytes& tokens, const BiffFormulaContext& context = {})
{
    return BiffFormulaDecoder(context).Decode(ByteView(tokens.data(), tokens.size()));
}

Rpn Op(unsigned op) { return Rpn().Ref(0, 0).Ref(0, 1).B({op}); }

const std::vector<std::optional<std::u16string>> kSheets = {u"Sheet2", std::nullopt, u"'My Data'"};
const std::vector<std::u16string> kNames = {u"Rate", u""};
const std::vector<std::vector<std::u16string>> kExtern = {{}, {}, {u"EDATE", u"_xlfn.COUNTIFS"}};

enum Ctx { Plain, SharedAtC5, SharedAtC10, SharedAtLastRow, Links, Biff5 };

BiffFormulaContext ContextFor(Ctx c)
{
    BiffFormulaContext context;
    context.row = c == SharedAtC10 ? 9 : c == SharedAtLastRow ? 65535 : 4;
    context.column = 2;
    if (c == Links) {
        context.sheetRefs = &kSheets;
        context.names = &kNames;
        context.externNames = &kExtern;
    } else if (c == Biff5) {
        context.biff8 = false;
        context.decode8 = [](const std::uint8_t* p, std::size_t n) {
            std::u16string out;
            for (std::size_t i = 0; i < n; ++i) out.push_back(p[i] == 0x80 ? u'€' : static_cast<char16_t>(p[i]));
            return out;
        };
    }
    return context;
}

struct Case {
    Rpn tokens;
    const char16_t* text;  // nullptr: refused
    Ctx context = Plain;
};

}  // namespace

TEST(BiffFormula, TokensGiveTheTextExcelShows)
{
    const Case cases[] = {
        {Rpn().Int(65535), u"=65535"},
        {Rpn().Num(0.1), u"=0.1"},  // 15 digits hide the binary fraction
        {Rpn().Num(1e20), u"=1E+20"}, {Rpn().Num(1.5e-12), u"=1.5E-12"},
        {Rpn().Num(123456789012345.0), u"=123456789012345"}, {Rpn().Num(2.5e15), u"=2.5E+15"},  // 16 digits
        {Rpn().Num(std::numeric_limits<double>::quiet_NaN()), nullptr},
        {Rpn().Str(u"say \"hi\""), u"=\"say \"\"hi\"\"\""}, {Rpn().Str(u"Grüße ☃"), u"=\"Grüße ☃\""},
        {Rpn().B({0x1D, 1}), u"=TRUE"}, {Rpn().B({0x1D, 0}), u"=FALSE"}, {Rpn().B({0x1C, 0x07}), u"=#DIV/0!"},
        {Rpn().B({0x1C, 0x2A}), u"=#N/A"},
        {Rpn().B({0x1C, 0x03}), nullptr},  // no such error
        {Op(kAdd), u"=A1+B1"}, {Op(kSub), u"=A1-B1"}, {Op(kMul), u"=A1*B1"}, {Op(kDiv), u"=A1/B1"},
        {Op(kPower), u"=A1^B1"}, {Op(kConcat), u"=A1&B1"}, {Op(kLt), u"=A1<B1"}, {Op(kLe), u"=A1<=B1"},
        {Op(kEq), u"=A1=B1"}, {Op(kGe), u"=A1>=B1"}, {Op(kGt), u"=A1>B1"}, {Op(kNe), u"=A1<>B1"},
        {Op(kIsect), u"=A1 B1"}, {Op(kUnion), u"=A1,B1"}, {Op(kRange), u"=A1:B1"},
        {Rpn().Ref(0, 0).B({kUminus, kPercent}), u"=-A1%"}, {Rpn().Ref(0, 0).B({kUplus}), u"=+A1"},
        // Parentheses only where the tokens have them.
        {Rpn().Ref(0, 0).Ref(0, 1).B({kAdd, kParen}).Int(2).B({kMul}), u"=(A1+B1)*2"},
        {Rpn().Ref(0, 0).Ref(0, 1).Int(2).B({kMul, kAdd}), u"=A1+B1*2"},
        {Rpn().Ref(0, 0).B({kParen, kParen, kUminus}), u"=-((A1))"},
        {Rpn().Int(2).Int(1).Int(1).B({kAdd, kParen, kUminus, kPower}), u"=2^-(1+1)"},
        // References of every class, absolute parts with $.
        {Rpn().Ref(0, 0, false, false, 0x44), u"=$A$1"}, {Rpn().Ref(1, 1, false, true, 0x64), u"=B$2"},
        {Rpn().Ref(0, 0, true, false), u"=$A1"}, {Rpn().Ref(65535, 255), u"=IV65536"}, {Rpn().Ref(0, 701), u"=ZZ1"},
        {Rpn().Ref(0, 702), u"=AAA1"}, {Rpn().Area(0, 9, 0, 1, true, 0x65), u"=A1:B10"},
        {Rpn().Area(0, 9, 0, 1, false, 0x45), u"=$A$1:$B$10"}, {Rpn().Area(0, 65535, 2, 3), u"=C:D"},
        {Rpn().Area(4, 6, 0, 255), u"=5:7"}, {Rpn().B({0x4A, 0, 0, 0, 0}).Int(1).B({kAdd}), u"=#REF!+1"},
        {Rpn().B({0x2B, 0, 0, 0, 0, 0, 0, 0, 0}), u"=#REF!"},
        // Shared formulas: relative parts are offsets from the cell, which
        // wrap around the sheet.
        {Rpn().B({0x4C, 1, 0, 0xFF, 0xC0}), u"=B6", SharedAtC5},
        {Rpn().B({0x4C, 1, 0, 0xFF, 0xC0}), u"=B11", SharedAtC10},
        {Rpn().Ref(0, 0, false, false, 0x4C), u"=$A$1", SharedAtC5},
        {Rpn().Ref(0xFFFF, 0, true, false, 0x2C), u"=$A4", SharedAtC5},
        {Rpn().B({0x2D, 0, 0, 2, 0, 0, 0x80, 1, 0x80}), u"=$A10:$B12", SharedAtC10},
        {Rpn().Ref(65535, 0, true, true, 0x2C), u"=C4", SharedAtC5},
        {Rpn().Ref(1, 0, true, true, 0x2C), u"=C1", SharedAtLastRow},
        // Functions with fixed and variable argument counts.
        {Rpn().Ref(0, 0).Int(2).Func(27), u"=ROUND(A1,2)"}, {Rpn().Func(74), u"=NOW()"},
        {Rpn().Area(0, 9, 0, 0).Ref(0, 1).FuncVar(4, 2), u"=SUM(A1:A10,B1)"},
        {Rpn().Ref(0, 0).Int(0).B({kGt}).Attr(0x02, 7).Str(u"yes").Attr(0x08, 10).Str(u"no").Attr(0x08, 3).FuncVar(1, 3),
         u"=IF(A1>0,\"yes\",\"no\")"},
        {Rpn().Ref(0, 0).Area(0, 4, 1, 2).Int(2).B({kMissArg}).FuncVar(102, 4), u"=VLOOKUP(A1,B1:C5,2,)"},
        {Rpn().Ref(0, 0).FuncVar(169, 0x81), u"=COUNTA(A1)"},  // the prompt bit is no count
        {Rpn().Func(221), u"=TODAY()"}, {Rpn().Int(1).Int(2).FuncVar(346, 2), u"=COUNTIF(1,2)"},
        {Rpn().Int(1).Func(4), nullptr},                 // SUM has no fixed count
        {Rpn().Int(1).FuncVar(400, 1), nullptr},         // not in the table
        {Rpn().Int(1).FuncVar(0x8000 | 4, 1), nullptr},  // a macro command
        {Rpn().B({0x20, 0, 0, 0, 0, 0, 0, 0}), nullptr},  // a constant array
        {Rpn().B({0x01, 0, 0, 0, 0}), nullptr},            // ptgExp alone
        {Rpn().B({0x23, 1, 0, 0, 0}), nullptr},            // a name, no table
        {Rpn().B({0x00}), nullptr},
        // Attributes: SUM, volatile, spaces, CHOOSE's jump table.
        {Rpn().Area(0, 3, 0, 0).Attr(0x10, 0), u"=SUM(A1:A4)"}, {Rpn().Attr(0x01, 0).Func(74), u"=NOW()"},
        {Rpn().Attr(0x40, 0x0200).Ref(0, 0).Attr(0x41, 0x0100).Int(1).B({kAdd}), u"=A1+1"},
        {Rpn().Ref(0, 0).Attr(0x04, 2).B({0, 0, 0, 0, 0, 0}).Str(u"x").Attr(0x08, 0).Str(u"y").Attr(0x08, 0).FuncVar(100, 3),
         u"=CHOOSE(A1,\"x\",\"y\")"},
        {Rpn().Ref(0, 0).Attr(0x04, 200).B({0, 0}), nullptr},
        {Rpn().B({0x29, 7, 0}).Ref(0, 0).Ref(1, 1).B({kRange}).FuncVar(4, 1), u"=SUM(A1:B2)"},
        {Rpn().B({0x26, 0, 0, 0, 0, 9, 0}).Area(0, 1, 0, 0), u"=A1:A2"},
        // Other sheets, names and add-in functions through the globals.
        {Rpn().B({0x5A, 0, 0, 0, 0, 0, 0x80}), u"=Sheet2!$A1", Links},
        {Rpn().B({0x3B, 2, 0, 0, 0, 4, 0, 0, 0xC0, 1, 0xC0}), u"='My Data'!A1:B5", Links},
        {Rpn().B({0x3A, 1, 0, 0, 0, 0, 0}), nullptr, Links},  // outside this workbook
        {Rpn().B({0x3A, 3, 0, 0, 0, 0, 0}), nullptr, Links},  // past the table
        {Rpn().B({0x3A, 0, 0, 0, 0, 0, 0}), nullptr},         // no table
        {Rpn().B({0x3C, 0, 0, 0, 0, 0, 0}), u"=Sheet2!#REF!", Links},
        {Rpn().Ref(0, 0).B({0x43, 1, 0, 0, 0, kMul}), u"=A1*Rate", Links},
        {Rpn().B({0x43, 2, 0, 0, 0}), nullptr, Links}, {Rpn().B({0x43, 0, 0, 0, 0}), nullptr, Links},
        {Rpn().B({0x39, 2, 0, 1, 0, 0, 0}).Ref(0, 0).Int(1).FuncVar(255, 3), u"=EDATE(A1,1)", Links},
        {Rpn().B({0x39, 2, 0, 2, 0, 0, 0}).Ref(0, 0).Int(1).FuncVar(255, 3), u"=COUNTIFS(A1,1)", Links},
        {Rpn().Int(1).Int(2).FuncVar(255, 2), nullptr, Links},  // the function slot must hold a name
        // BIFF5: the relative flags in the row, a 1-byte column, code page strings.
        {Rpn().B({0x44, 4, 0xC0, 2}), u"=C5", Biff5}, {Rpn().B({0x44, 4, 0x00, 2}), u"=$C$5", Biff5},
        {Rpn().B({0x25, 0, 0xC0, 3, 0xC0, 0, 1}), u"=A1:B4", Biff5}, {Rpn().B({0x17, 2, 0x80, 'x'}), u"=\"€x\"", Biff5},
        {Rpn().B({0x44, 4, 0xC0, 2}).Int(3).Func(27), u"=ROUND(C5,3)", Biff5},
        {Rpn().B({0x44, 4, 0xC0}), nullptr, Biff5},
        // Stacks that do not come out at one operand.
        {Rpn().Int(1).B({kAdd}), nullptr}, {Rpn().Int(1).Int(2), nullptr}, {Rpn().Int(1).FuncVar(4, 2), nullptr},
        {Rpn(), nullptr},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto text = Decode(cases[i].tokens.Get(), ContextFor(cases[i].context));
        if (cases[i].text == nullptr) {
            EXPECT_FALSE(text) << i;
        } else {
            EXPECT_EQ(text.value_or(u"<none>"), cases[i].text) << i;
        }
    }
    const std::pair<const char16_t*, const char16_t*> names[] = {
        {u"Sheet1", u"Sheet1"}, {u"Q1_2024.final", u"Q1_2024.final"}, {u"Übersicht", u"Übersicht"},
        {u"My Sheet", u"'My Sheet'"}, {u"Bob's", u"'Bob''s'"}, {u"2024", u"'2024'"}, {u"AB12", u"'AB12'"},
        {u"R1C1", u"'R1C1'"}, {u"a-b", u"'a-b'"}};
    for (const auto& [name, quoted] : names) EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(name), quoted);
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetRange(u"Jan", u"Mar"), u"Jan:Mar");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetRange(u"Jan", u"Mar 2"), u"'Jan:Mar 2'");
}

TEST(BiffFormulaHostile, CutStreamsAndCaps)
{
    Rpn full;
    full.Attr(0x01, 0).Ref(0, 0).Num(2.5).B({kMul}).Str(u"ab☃").Area(0, 3, 1, 2).FuncVar(4, 1).B({kConcat, kParen});
    full.B({0x1C, 0x2A}).FuncVar(1, 2).Attr(0x10, 0).B({kAdd});
    const Bytes& bytes = full.Get();
    EXPECT_EQ(Decode(bytes), u"=A1*2.5+SUM(IF((\"ab☃\"&SUM(B1:C4)),#N/A))");
    // A prefix may be a whole formula; it must never read past its end.
    for (auto end = bytes.begin(); end != bytes.end(); ++end)
        EXPECT_EQ(Decode(Bytes(bytes.begin(), end)).value_or(u"=").front(), u'=');
    for (const Rpn& r : {Rpn().Int(7), Rpn().Num(1.0), Rpn().Ref(1, 1), Rpn().Area(0, 1, 0, 1), Rpn().Str(u"abc")})
        for (auto end = r.Get().begin() + 1; end != r.Get().end(); ++end) EXPECT_FALSE(Decode(Bytes(r.Get().begin(), end)));
    // 1100 operands at once pass the depth cap though the text is short;
    // 1000 do not.
    for (const int n : {1100, 1000}) {
        Rpn deep;
        for (int i = 0; i < n; ++i) deep.Int(1);
        for (int i = 1; i < n; ++i) deep.B({kAdd});
        EXPECT_EQ(Decode(deep.Get()).value_or(u"").size(), n == 1000 ? 2000u : 0u);
    }
    Rpn wide, minus, nested;  // text past the cap: 40 strings of 250 characters joined
    wide.Str(std::u16string(250, u'x'));
    for (int i = 0; i < 39; ++i) wide.Str(std::u16string(250, u'y')).B({kConcat});
    EXPECT_FALSE(Decode(wide.Get()));
    minus.Int(1);  // one byte a token, a growing text: stops at the cap
    for (int i = 0; i < 60000; ++i) minus.B({kUminus});
    EXPECT_FALSE(Decode(minus.Get()));
    nested.Int(1);
    for (int i = 0; i < 3000; ++i) nested.B({kParen});
    EXPECT_EQ(Decode(nested.Get()).value_or(u"").size(), 1u + 1 + 6000);
}
