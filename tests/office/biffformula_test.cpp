// Formula text from .xls tokens: hand-built token streams for every token
// kind the decoder reads, the text Excel shows for operators, parentheses,
// references and functions; shared formulas whose references move with the
// cell; damaged and hostile streams, which must be refused; and a workbook
// read from a compound file whose formula cell Range.Find finds by text.
#include "office/excel/biffformula.h"
#include "office/excel/biffreader.h"
#include "office/excel/rangefind.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace office;
using namespace excelfixtures;

namespace {

// Tokens in reverse Polish order, as a FORMULA record holds them.
class Rpn {
public:
    Rpn& Byte(unsigned v)
    {
        m_b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Rpn& Op(unsigned id) { return Byte(id); }
    Rpn& Int(unsigned v)
    {
        Byte(0x1E);
        Put16(m_b, v);
        return *this;
    }
    Rpn& Num(double v)
    {
        Byte(0x1F);
        PutF64(m_b, v);
        return *this;
    }
    Rpn& Str(const std::u16string& s)
    {
        Byte(0x17);
        PutString8(m_b, s, 1);
        return *this;
    }
    // BIFF8 reference; rel flags make the part relative (written without $).
    Rpn& Ref(unsigned row, unsigned col, bool rowRel = true, bool colRel = true, unsigned id = 0x24)
    {
        Byte(id);
        Put16(m_b, row);
        Put16(m_b, Col(col, rowRel, colRel));
        return *this;
    }
    Rpn& Area(unsigned r1, unsigned r2, unsigned c1, unsigned c2, bool rel = true, unsigned id = 0x25)
    {
        Byte(id);
        Put16(m_b, r1);
        Put16(m_b, r2);
        Put16(m_b, Col(c1, rel, rel));
        Put16(m_b, Col(c2, rel, rel));
        return *this;
    }
    Rpn& Func(unsigned index, unsigned id = 0x41)
    {
        Byte(id);
        Put16(m_b, index);
        return *this;
    }
    Rpn& FuncVar(unsigned index, unsigned count, unsigned id = 0x42)
    {
        Byte(id);
        Byte(count);
        Put16(m_b, index);
        return *this;
    }
    Rpn& Attr(unsigned flags, unsigned data)
    {
        Byte(0x19);
        Byte(flags);
        Put16(m_b, data);
        return *this;
    }
    Rpn& U16(unsigned v)
    {
        Put16(m_b, v);
        return *this;
    }
    Rpn& Raw(const Bytes& b)
    {
        m_b.insert(m_b.end(), b.begin(), b.end());
        return *this;
    }
    const Bytes& Get() const { return m_b; }

private:
    static unsigned Col(unsigned col, bool rowRel, bool colRel)
    {
        return (col & 0x3FFF) | (colRel ? 0x4000u : 0u) | (rowRel ? 0x8000u : 0u);
    }
    Bytes m_b;
};

enum : unsigned {
    kAdd = 0x03, kSub, kMul, kDiv, kPower, kConcat, kLt, kLe, kEq, kGe, kGt, kNe, kIsect, kUnion, kRange,
    kUplus, kUminus, kPercent, kParen, kMissArg,
};

std::optional<std::u16string> Decode(const Bytes& tokens, BiffFormulaContext context = {})
{
    return BiffFormulaDecoder(context).Decode(ByteView(tokens.data(), tokens.size()));
}

std::u16string Text(const Rpn& rpn, BiffFormulaContext context = {})
{
    auto text = Decode(rpn.Get(), context);
    return text ? *text : u"<none>";
}

}  // namespace

TEST(BiffFormulaConstants, NumbersStringsBooleansErrors)
{
    EXPECT_EQ(Text(Rpn().Int(0)), u"=0");
    EXPECT_EQ(Text(Rpn().Int(65535)), u"=65535");
    EXPECT_EQ(Text(Rpn().Num(0.5)), u"=0.5");
    EXPECT_EQ(Text(Rpn().Num(1234.25)), u"=1234.25");
    EXPECT_EQ(Text(Rpn().Num(0.1)), u"=0.1");  // 15 digits hide the binary fraction
    EXPECT_EQ(Text(Rpn().Num(1e20)), u"=1E+20");
    EXPECT_EQ(Text(Rpn().Num(1.5e-12)), u"=1.5E-12");
    EXPECT_EQ(Text(Rpn().Num(123456789012345.0)), u"=123456789012345");
    EXPECT_EQ(Text(Rpn().Num(0.000125)), u"=0.000125");
    EXPECT_EQ(Text(Rpn().Str(u"say \"hi\"")), u"=\"say \"\"hi\"\"\"");
    EXPECT_EQ(Text(Rpn().Str(u"Grüße ☃")), u"=\"Grüße ☃\"");  // 16-bit characters
    EXPECT_EQ(Text(Rpn().Str(u"")), u"=\"\"");
    EXPECT_EQ(Text(Rpn().Byte(0x1D).Byte(1)), u"=TRUE");
    EXPECT_EQ(Text(Rpn().Byte(0x1D).Byte(0)), u"=FALSE");
    EXPECT_EQ(Text(Rpn().Byte(0x1C).Byte(0x07)), u"=#DIV/0!");
    EXPECT_EQ(Text(Rpn().Byte(0x1C).Byte(0x2A)), u"=#N/A");
    // An error code Excel does not have, and a number that is no number.
    EXPECT_FALSE(Decode(Rpn().Byte(0x1C).Byte(0x03).Get()));
    EXPECT_FALSE(Decode(Rpn().Num(std::numeric_limits<double>::quiet_NaN()).Get()));
}

TEST(BiffFormulaOperators, EveryOperatorWritesItsSign)
{
    const std::pair<unsigned, const char16_t*> ops[] = {
        {kAdd, u"=A1+B1"},  {kSub, u"=A1-B1"},  {kMul, u"=A1*B1"}, {kDiv, u"=A1/B1"},  {kPower, u"=A1^B1"},
        {kConcat, u"=A1&B1"}, {kLt, u"=A1<B1"}, {kLe, u"=A1<=B1"}, {kEq, u"=A1=B1"},  {kGe, u"=A1>=B1"},
        {kGt, u"=A1>B1"},   {kNe, u"=A1<>B1"}, {kIsect, u"=A1 B1"}, {kUnion, u"=A1,B1"}, {kRange, u"=A1:B1"},
    };
    for (const auto& [op, text] : ops) EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(op)), text) << op;
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kUminus).Op(kPercent)), u"=-A1%");
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kUplus)), u"=+A1");
}

TEST(BiffFormulaOperators, ParenthesesOnlyWhereTheTokensHaveThem)
{
    // (A1+B1)*2: Excel keeps the typed parentheses as a token.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kAdd).Op(kParen).Int(2).Op(kMul)), u"=(A1+B1)*2");
    // A1+B1*2 and A1*B1+2: the order of the tokens carries precedence.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Int(2).Op(kMul).Op(kAdd)), u"=A1+B1*2");
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Ref(0, 1).Op(kMul).Int(2).Op(kAdd)), u"=A1*B1+2");
    // Redundant parentheses stay, as typed.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Op(kParen).Op(kParen).Op(kUminus)), u"=-((A1))");
    // 2^-(1+1)
    EXPECT_EQ(Text(Rpn().Int(2).Int(1).Int(1).Op(kAdd).Op(kParen).Op(kUminus).Op(kPower)), u"=2^-(1+1)");
}

TEST(BiffFormulaReferences, DollarsForAbsolutePartsInEveryClass)
{
    for (unsigned id : {0x24u, 0x44u, 0x64u}) {
        EXPECT_EQ(Text(Rpn().Ref(0, 0, true, true, id)), u"=A1") << id;
        EXPECT_EQ(Text(Rpn().Ref(0, 0, false, false, id)), u"=$A$1") << id;
        EXPECT_EQ(Text(Rpn().Ref(1, 1, false, true, id)), u"=B$2") << id;
        EXPECT_EQ(Text(Rpn().Ref(0, 0, true, false, id)), u"=$A1") << id;
    }
    EXPECT_EQ(Text(Rpn().Ref(65535, 255)), u"=IV65536");
    EXPECT_EQ(Text(Rpn().Ref(9, 26)), u"=AA10");
    EXPECT_EQ(Text(Rpn().Ref(0, 701)), u"=ZZ1");
    EXPECT_EQ(Text(Rpn().Ref(0, 702)), u"=AAA1");
    for (unsigned id : {0x25u, 0x45u, 0x65u}) EXPECT_EQ(Text(Rpn().Area(0, 9, 0, 1, true, id)), u"=A1:B10");
    EXPECT_EQ(Text(Rpn().Area(0, 9, 0, 1, false)), u"=$A$1:$B$10");
    EXPECT_EQ(Text(Rpn().Area(0, 65535, 2, 3)), u"=C:D");        // whole columns
    EXPECT_EQ(Text(Rpn().Area(0, 65535, 2, 2, false)), u"=$C:$C");
    EXPECT_EQ(Text(Rpn().Area(4, 6, 0, 255)), u"=5:7");          // whole rows
    // Deleted references.
    EXPECT_EQ(Text(Rpn().Byte(0x4A).Raw({0, 0, 0, 0}).Int(1).Op(kAdd)), u"=#REF!+1");
    EXPECT_EQ(Text(Rpn().Byte(0x2B).Raw(Bytes(8, 0))), u"=#REF!");
}

TEST(BiffFormulaReferences, SharedFormulaReferencesMoveWithTheCell)
{
    // In a shared formula a relative part is an offset from the cell: here
    // one row down and one column left (0xFF), the absolute parts fixed.
    Rpn rel;
    rel.Byte(0x4C).U16(1).U16(0xFF | 0x4000 | 0x8000);
    BiffFormulaContext at;
    at.row = 4;     // C5
    at.column = 2;
    EXPECT_EQ(Text(rel, at), u"=B6");
    at.row = 9;     // C10
    EXPECT_EQ(Text(rel, at), u"=B11");
    // $A$1 in a shared formula names A1 wherever it is used.
    EXPECT_EQ(Text(Rpn().Ref(0, 0, false, false, 0x4C), at), u"=$A$1");
    // Relative row, absolute column: $A then the row offset (-1 = 0xFFFF).
    EXPECT_EQ(Text(Rpn().Ref(0xFFFF, 0, true, false, 0x2C), at), u"=$A9");
    // An area: rows 0..+2 relative to the cell, columns absolute A:B.
    Rpn area;
    area.Byte(0x2D).U16(0).U16(2).U16(0 | 0x8000).U16(1 | 0x8000);
    EXPECT_EQ(Text(area, at), u"=$A10:$B12");
    // Offsets wrap around the sheet as in Excel.
    at.row = 65535;
    EXPECT_EQ(Text(Rpn().Ref(1, 0, true, true, 0x2C), at), u"=C1");
}

TEST(BiffFormulaFunctions, FixedAndVariableArgumentCounts)
{
    // ROUND(A1,2) through ptgFunc: the table knows it takes two.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Int(2).Func(27)), u"=ROUND(A1,2)");
    EXPECT_EQ(Text(Rpn().Func(74)), u"=NOW()");
    EXPECT_EQ(Text(Rpn().Area(0, 9, 0, 0).Ref(0, 1).FuncVar(4, 2)), u"=SUM(A1:A10,B1)");
    // IF(A1>0,"yes","no") as Excel writes it, with its jump attributes.
    Rpn ifs;
    ifs.Ref(0, 0).Int(0).Op(kGt).Attr(0x02, 7).Str(u"yes").Attr(0x08, 10).Str(u"no").Attr(0x08, 3).FuncVar(1, 3);
    EXPECT_EQ(Text(ifs), u"=IF(A1>0,\"yes\",\"no\")");
    // A missing argument: VLOOKUP(A1,B1:C5,2,)
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Area(0, 4, 1, 2).Int(2).Op(kMissArg).FuncVar(102, 4)),
              u"=VLOOKUP(A1,B1:C5,2,)");
    EXPECT_EQ(Text(Rpn().Str(u"a").Str(u"b").FuncVar(336, 2)), u"=CONCATENATE(\"a\",\"b\")");
    // The prompt bit of the count is not part of it.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).FuncVar(169, 0x81)), u"=COUNTA(A1)");
    // The first 41 functions of Excel's table are all known.
    for (unsigned index = 0; index <= 40; ++index)
        EXPECT_TRUE(BiffFormulaDecoder::FunctionName(static_cast<std::uint16_t>(index))) << index;
    EXPECT_EQ(BiffFormulaDecoder::FunctionName(221), u"TODAY");
    EXPECT_EQ(BiffFormulaDecoder::FunctionName(101), u"HLOOKUP");
    EXPECT_EQ(BiffFormulaDecoder::FunctionName(345), u"SUMIF");
    EXPECT_EQ(BiffFormulaDecoder::FunctionName(346), u"COUNTIF");
}

TEST(BiffFormulaFunctions, WhatCannotBeShownIsRefused)
{
    EXPECT_FALSE(Decode(Rpn().Int(1).Func(4).Get()));          // SUM has no fixed count
    EXPECT_FALSE(Decode(Rpn().Int(1).FuncVar(400, 1).Get()));  // not in the table
    EXPECT_FALSE(Decode(Rpn().Int(1).FuncVar(0x8000 | 4, 1).Get()));  // macro command
    EXPECT_FALSE(Decode(Rpn().Byte(0x20).Raw(Bytes(7, 0)).Get()));     // constant array
    EXPECT_FALSE(Decode(Rpn().Byte(0x01).Raw({0, 0, 0, 0}).Get()));    // ptgExp alone
    EXPECT_FALSE(Decode(Rpn().Byte(0x23).Raw({1, 0, 0, 0}).Get()));    // a name, no table
    EXPECT_FALSE(Decode(Rpn().Byte(0x3A).Raw({0, 0, 0, 0, 0, 0}).Get()));  // 3-D, no table
    EXPECT_FALSE(Decode(Rpn().Byte(0x18).Raw({0, 0, 0, 0}).Get()));
    EXPECT_FALSE(Decode(Rpn().Byte(0x00).Get()));
}

TEST(BiffFormulaAttributes, SumVolatileChooseAndSpaces)
{
    EXPECT_EQ(Text(Rpn().Area(0, 3, 0, 0).Attr(0x10, 0)), u"=SUM(A1:A4)");
    EXPECT_EQ(Text(Rpn().Attr(0x01, 0).Func(74)), u"=NOW()");
    EXPECT_EQ(Text(Rpn().Attr(0x40, 0x0200).Ref(0, 0).Attr(0x41, 0x0100).Int(1).Op(kAdd)), u"=A1+1");
    // CHOOSE(A1,"x","y"): the jump table (count + 1 offsets) is skipped.
    Rpn choose;
    choose.Ref(0, 0).Attr(0x04, 2).Raw({0, 0, 0, 0, 0, 0}).Str(u"x").Attr(0x08, 0).Str(u"y").Attr(0x08, 0);
    choose.FuncVar(100, 3);
    EXPECT_EQ(Text(choose), u"=CHOOSE(A1,\"x\",\"y\")");
    // A jump table that runs past the tokens.
    EXPECT_FALSE(Decode(Rpn().Ref(0, 0).Attr(0x04, 200).Raw({0, 0}).Get()));
    // Recalculation hints before a reference's own tokens.
    EXPECT_EQ(Text(Rpn().Byte(0x29).Raw({7, 0}).Ref(0, 0).Ref(1, 1).Op(kRange).FuncVar(4, 1)), u"=SUM(A1:B2)");
    EXPECT_EQ(Text(Rpn().Byte(0x26).Raw({0, 0, 0, 0, 9, 0}).Area(0, 1, 0, 0)), u"=A1:A2");
}

TEST(BiffFormulaContext, OtherSheetsNamesAndAddInFunctions)
{
    const std::vector<std::optional<std::u16string>> sheets = {u"Sheet2", std::nullopt,
                                                               BiffFormulaDecoder::QuoteSheetName(u"My Data")};
    const std::vector<std::u16string> names = {u"Rate", u""};
    const std::vector<std::vector<std::u16string>> extern_ = {{}, {}, {u"EDATE", u"_xlfn.COUNTIFS"}};
    BiffFormulaContext context;
    context.sheetRefs = &sheets;
    context.names = &names;
    context.externNames = &extern_;
    Rpn ref3d;
    ref3d.Byte(0x5A).Raw({0, 0, 0, 0, 0, 0x80});  // ixti 0, A1 row-relative, column absolute
    EXPECT_EQ(Text(ref3d, context), u"=Sheet2!$A1");
    Rpn area3d;
    area3d.Byte(0x3B).Raw({2, 0, 0, 0, 4, 0, 0, 0xC0, 1, 0xC0});
    EXPECT_EQ(Text(area3d, context), u"='My Data'!A1:B5");
    // An EXTERNSHEET entry outside this workbook, and one past the table.
    EXPECT_FALSE(Decode(Rpn().Byte(0x3A).Raw({1, 0, 0, 0, 0, 0}).Get(), context));
    EXPECT_FALSE(Decode(Rpn().Byte(0x3A).Raw({3, 0, 0, 0, 0, 0}).Get(), context));
    EXPECT_EQ(Text(Rpn().Byte(0x3C).Raw({0, 0, 0, 0, 0, 0}), context), u"=Sheet2!#REF!");
    // Defined names are 1-based; an unreadable one refuses the formula.
    EXPECT_EQ(Text(Rpn().Ref(0, 0).Byte(0x43).Raw({1, 0, 0, 0}).Op(kMul), context), u"=A1*Rate");
    EXPECT_FALSE(Decode(Rpn().Byte(0x43).Raw({2, 0, 0, 0}).Get(), context));
    EXPECT_FALSE(Decode(Rpn().Byte(0x43).Raw({0, 0, 0, 0}).Get(), context));
    // EDATE(A1,1) from the Analysis add-in: the name is the first operand.
    Rpn edate;
    edate.Byte(0x39).Raw({2, 0, 1, 0, 0, 0}).Ref(0, 0).Int(1).FuncVar(255, 3);
    EXPECT_EQ(Text(edate, context), u"=EDATE(A1,1)");
    // A function newer than the format is stored under "_xlfn." and shown
    // without it.
    Rpn countifs;
    countifs.Byte(0x39).Raw({2, 0, 2, 0, 0, 0}).Ref(0, 0).Int(1).FuncVar(255, 3);
    EXPECT_EQ(Text(countifs, context), u"=COUNTIFS(A1,1)");
    // The function slot must hold a name, not an expression.
    EXPECT_FALSE(Decode(Rpn().Int(1).Int(2).FuncVar(255, 2).Get(), context));
}

TEST(BiffFormulaContext, SheetNamesAreQuotedWhereExcelQuotesThem)
{
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"Sheet1"), u"Sheet1");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"Q1_2024.final"), u"Q1_2024.final");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"Übersicht"), u"Übersicht");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"My Sheet"), u"'My Sheet'");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"Bob's"), u"'Bob''s'");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"2024"), u"'2024'");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"AB12"), u"'AB12'");  // reads as a cell
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"R1C1"), u"'R1C1'");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetName(u"a-b"), u"'a-b'");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetRange(u"Jan", u"Mar"), u"Jan:Mar");
    EXPECT_EQ(BiffFormulaDecoder::QuoteSheetRange(u"Jan", u"Mar 2"), u"'Jan:Mar 2'");
}

TEST(BiffFormulaBiff5, ShorterReferencesAndCodePageStrings)
{
    BiffFormulaContext context;
    context.biff8 = false;
    context.decode8 = [](const std::uint8_t* p, std::size_t n) {
        std::u16string out;
        for (std::size_t i = 0; i < n; ++i) out.push_back(p[i] == 0x80 ? u'€' : static_cast<char16_t>(p[i]));
        return out;
    };
    // Reference: row with the relative flags in its top bits, 1-byte column.
    EXPECT_EQ(Text(Rpn().Byte(0x44).Raw({4, 0xC0, 2}), context), u"=C5");
    EXPECT_EQ(Text(Rpn().Byte(0x44).Raw({4, 0x00, 2}), context), u"=$C$5");
    EXPECT_EQ(Text(Rpn().Byte(0x25).Raw({0, 0xC0, 3, 0xC0, 0, 1}), context), u"=A1:B4");
    EXPECT_EQ(Text(Rpn().Byte(0x17).Raw({2, 0x80, 'x'}), context), u"=\"€x\"");
    EXPECT_EQ(Text(Rpn().Byte(0x44).Raw({4, 0xC0, 2}).Int(3).Func(27), context), u"=ROUND(C5,3)");
    // A BIFF8-sized reference is cut short by the BIFF5 layout's end.
    EXPECT_FALSE(Decode(Rpn().Byte(0x44).Raw({4, 0xC0}).Get(), context));
}

TEST(BiffFormulaHostile, TruncatedStreamsAreRefusedAtEveryLength)
{
    Rpn full;
    full.Attr(0x01, 0).Ref(0, 0).Num(2.5).Op(kMul).Str(u"ab☃").Area(0, 3, 1, 2).FuncVar(4, 1).Op(kConcat);
    full.Op(kParen).Byte(0x1C).Byte(0x2A).FuncVar(1, 2).Attr(0x10, 0).Op(kAdd);
    const Bytes& bytes = full.Get();
    EXPECT_EQ(Decode(bytes), u"=A1*2.5+SUM(IF((\"ab☃\"&SUM(B1:C4)),#N/A))");
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        const auto text = Decode(cut);
        // A prefix may happen to be a whole formula (it ends after a
        // complete operand); it must never read past its end.
        if (text) {
            EXPECT_EQ(text->front(), u'=');
        }
    }
    // Cut inside a fixed-size operand: always refused.
    for (const Rpn& r : {Rpn().Int(7), Rpn().Num(1.0), Rpn().Ref(1, 1), Rpn().Area(0, 1, 0, 1), Rpn().Str(u"abc")}) {
        const Bytes& b = r.Get();
        for (std::size_t n = 1; n < b.size(); ++n)
            EXPECT_FALSE(Decode(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n))));
    }
}

TEST(BiffFormulaHostile, StackAndSizeCapsHold)
{
    EXPECT_FALSE(Decode(Rpn().Int(1).Op(kAdd).Get()));          // operator without operands
    EXPECT_FALSE(Decode(Rpn().Int(1).Int(2).Get()));            // operands left over
    EXPECT_FALSE(Decode(Rpn().Int(1).FuncVar(4, 2).Get()));     // more arguments than operands
    EXPECT_FALSE(Decode(Bytes{}));
    // 1100 operands on the stack at once exceed the depth cap, although
    // the text (1+1+...) would be short enough.
    Rpn deep;
    for (int i = 0; i < 1100; ++i) deep.Int(1);
    for (int i = 0; i < 1099; ++i) deep.Op(kAdd);
    EXPECT_FALSE(Decode(deep.Get()));
    Rpn fits;
    for (int i = 0; i < 1000; ++i) fits.Int(1);
    for (int i = 0; i < 999; ++i) fits.Op(kAdd);
    ASSERT_TRUE(Decode(fits.Get()));
    EXPECT_EQ(Decode(fits.Get())->size(), 1u + 1000 + 999);
    // Text past the cap: 40 strings of 250 characters joined.
    Rpn wide;
    wide.Str(std::u16string(250, u'x'));
    for (int i = 0; i < 39; ++i) wide.Str(std::u16string(250, u'y')).Op(kConcat);
    EXPECT_FALSE(Decode(wide.Get()));
    // A long chain of unary minus (each one byte) stops at the cap instead
    // of costing time per token on a growing text.
    Rpn minus;
    minus.Int(1);
    for (int i = 0; i < 60000; ++i) minus.Op(kUminus);
    EXPECT_FALSE(Decode(minus.Get()));
    Rpn nested;
    nested.Int(1);
    for (int i = 0; i < 3000; ++i) nested.Op(kParen);
    ASSERT_TRUE(Decode(nested.Get()));
    EXPECT_EQ(Decode(nested.Get())->size(), 1u + 1 + 6000);
}

TEST(BiffFormulaHostile, RandomBytesNeverCrash)
{
    std::mt19937 rng(20240611);
    std::size_t decoded = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b(1 + rng() % 40);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 0x20 : rng());
        BiffFormulaContext context;
        context.biff8 = rng() % 4 != 0;
        context.row = rng() % 65536;
        context.column = rng() % 256;
        const auto text = Decode(b, context);
        if (text) {
            ++decoded;
            EXPECT_EQ(text->front(), u'=');
            EXPECT_LE(text->size(), BiffFormulaDecoder::kMaxTextUnits + 1);
        }
    }
    // Some short random streams are real formulas; the mix reaches them.
    EXPECT_GT(decoded, 0u);
}

TEST(BiffFormulaReader, FormulaCellIsFoundByItsTextThroughRangeFind)
{
    Stream s;
    s.Bof(0x0600, 0x0005);
    const std::size_t at = s.BoundSheet(u"Calc", 0);
    s.Eof();
    s.PatchOffset(at, s.Size());
    s.Bof(0x0600, 0x0010);
    s.Number(0, 0, 3);
    s.Number(0, 1, 4);
    // C1 =ROUND(A1*B1,2)
    s.Formula(0, 2, 12, Rpn().Ref(0, 0).Ref(0, 1).Op(kMul).Int(2).Func(27).Get());
    // C2:C3 share =A2+$B$1 (stored as a ptgRefN offset and absolute B1).
    // The relative column is an offset too: -2 (0xFE) from column C is A.
    Rpn shared;
    shared.Byte(0x4C).U16(0).U16(0xFE | 0xC000).Byte(0x4C).U16(0).U16(1).Op(kAdd);
    const Bytes exp = Rpn().Byte(0x01).Raw({1, 0, 2, 0}).Get();
    s.Formula(1, 2, 0, exp);
    s.SharedFormula(1, 2, 2, 2, shared.Get());
    s.Formula(2, 2, 0, exp);
    s.Eof();
    const Bytes file = CompoundFileOf({{"Workbook", s.Data()}});
    Workbook book;
    std::string error;
    ASSERT_TRUE(BiffReader().Read(ByteView(file.data(), file.size()), book, error)) << error;
    std::u16string c1, c2, c3;
    for (const Cell& c : book.sheets.at(0).cells) {
        if (c.column != 2) continue;
        ASSERT_TRUE(c.isFormula);
        ASSERT_NE(c.formula, kNoText) << c.row;
        (c.row == 0 ? c1 : c.row == 1 ? c2 : c3) = book.Text(c.formula);
    }
    EXPECT_EQ(c1, u"=ROUND(A1*B1,2)");
    EXPECT_EQ(c2, u"=A2+$B$1");
    EXPECT_EQ(c3, u"=A3+$B$1");
    RangeFinder finder(std::make_shared<Workbook>(std::move(book)));
    RangeFindOptions options;
    options.what = u"round(a1";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{0, 2}));
    options.what = u"A3+$B";
    EXPECT_EQ(finder.Find(0, CellArea{}, options), (CellPos{2, 2}));
    // Looking in values only, formula text is not matched.
    options.lookIn = FindLookIn::Values;
    EXPECT_FALSE(finder.Find(0, CellArea{}, options));
}
