// BIFF formula tokens back to formula text (see biffformula.h).
//
// The tokens are read once, front to back. Each token that yields text
// becomes a node of a small tree (an operand is a leaf, an operator or a
// function call owns the nodes it takes from the operand stack); the tree
// is written out once at the end without recursion. Building strings on the
// stack instead would copy a deeply nested formula's text once per token.
#include "office/excel/biffformula.h"

#include "office/excel/workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace office {

namespace {

// A built-in function: its index in Excel's function table, and the number
// of arguments when it always takes the same number (-1 when it takes a
// varying number; ptgFunc, which states no count, needs a fixed one).
struct FunctionInfo {
    std::uint16_t index;
    std::int8_t args;
    const char* name;
};

// Sorted by index.
// clang-format off
constexpr FunctionInfo kFunctions[] = {
    {0, -1, "COUNT"}, {1, -1, "IF"}, {2, 1, "ISNA"}, {3, 1, "ISERROR"}, {4, -1, "SUM"},
    {5, -1, "AVERAGE"}, {6, -1, "MIN"}, {7, -1, "MAX"}, {8, -1, "ROW"}, {9, -1, "COLUMN"},
    {10, 0, "NA"}, {11, -1, "NPV"}, {12, -1, "STDEV"}, {13, -1, "DOLLAR"}, {14, -1, "FIXED"},
    {15, 1, "SIN"}, {16, 1, "COS"}, {17, 1, "TAN"}, {18, 1, "ATAN"}, {19, 0, "PI"},
    {20, 1, "SQRT"}, {21, 1, "EXP"}, {22, 1, "LN"}, {23, 1, "LOG10"}, {24, 1, "ABS"},
    {25, 1, "INT"}, {26, 1, "SIGN"}, {27, 2, "ROUND"}, {28, -1, "LOOKUP"}, {29, -1, "INDEX"},
    {30, 2, "REPT"}, {31, 3, "MID"}, {32, 1, "LEN"}, {33, 1, "VALUE"}, {34, 0, "TRUE"},
    {35, 0, "FALSE"}, {36, -1, "AND"}, {37, -1, "OR"}, {38, 1, "NOT"}, {39, 2, "MOD"},
    {40, 3, "DCOUNT"}, {41, 3, "DSUM"}, {42, 3, "DAVERAGE"}, {43, 3, "DMIN"}, {44, 3, "DMAX"},
    {45, 3, "DSTDEV"}, {46, -1, "VAR"}, {47, 3, "DVAR"}, {48, 2, "TEXT"}, {49, -1, "LINEST"},
    {50, -1, "TREND"}, {51, -1, "LOGEST"}, {52, -1, "GROWTH"}, {56, -1, "PV"}, {57, -1, "FV"},
    {58, -1, "NPER"}, {59, -1, "PMT"}, {60, -1, "RATE"}, {61, 3, "MIRR"}, {62, -1, "IRR"},
    {63, 0, "RAND"}, {64, -1, "MATCH"}, {65, 3, "DATE"}, {66, 3, "TIME"}, {67, 1, "DAY"},
    {68, 1, "MONTH"}, {69, 1, "YEAR"}, {70, -1, "WEEKDAY"}, {71, 1, "HOUR"}, {72, 1, "MINUTE"},
    {73, 1, "SECOND"}, {74, 0, "NOW"}, {75, 1, "AREAS"}, {76, 1, "ROWS"}, {77, 1, "COLUMNS"},
    {78, -1, "OFFSET"}, {82, -1, "SEARCH"}, {83, 1, "TRANSPOSE"}, {86, 1, "TYPE"}, {97, 2, "ATAN2"},
    {98, 1, "ASIN"}, {99, 1, "ACOS"}, {100, -1, "CHOOSE"}, {101, -1, "HLOOKUP"}, {102, -1, "VLOOKUP"},
    {105, 1, "ISREF"}, {109, -1, "LOG"}, {111, 1, "CHAR"}, {112, 1, "LOWER"}, {113, 1, "UPPER"},
    {114, 1, "PROPER"}, {115, -1, "LEFT"}, {116, -1, "RIGHT"}, {117, 2, "EXACT"}, {118, 1, "TRIM"},
    {119, 4, "REPLACE"}, {120, -1, "SUBSTITUTE"}, {121, 1, "CODE"}, {124, -1, "FIND"}, {125, -1, "CELL"},
    {126, 1, "ISERR"}, {127, 1, "ISTEXT"}, {128, 1, "ISNUMBER"}, {129, 1, "ISBLANK"}, {130, 1, "T"},
    {131, 1, "N"}, {140, 1, "DATEVALUE"}, {141, 1, "TIMEVALUE"}, {142, 3, "SLN"}, {143, 4, "SYD"},
    {144, -1, "DDB"}, {148, -1, "INDIRECT"}, {162, 1, "CLEAN"}, {163, 1, "MDETERM"}, {164, 1, "MINVERSE"},
    {165, 2, "MMULT"}, {167, -1, "IPMT"}, {168, -1, "PPMT"}, {169, -1, "COUNTA"}, {183, -1, "PRODUCT"},
    {184, 1, "FACT"}, {189, 3, "DPRODUCT"}, {190, 1, "ISNONTEXT"}, {193, -1, "STDEVP"}, {194, -1, "VARP"},
    {195, 3, "DSTDEVP"}, {196, 3, "DVARP"}, {197, -1, "TRUNC"}, {198, 1, "ISLOGICAL"}, {199, 3, "DCOUNTA"},
    {212, 2, "ROUNDUP"}, {213, 2, "ROUNDDOWN"}, {216, -1, "RANK"}, {219, -1, "ADDRESS"}, {220, -1, "DAYS360"},
    {221, 0, "TODAY"}, {222, -1, "VDB"}, {227, -1, "MEDIAN"}, {228, -1, "SUMPRODUCT"}, {229, 1, "SINH"},
    {230, 1, "COSH"}, {231, 1, "TANH"}, {232, 1, "ASINH"}, {233, 1, "ACOSH"}, {234, 1, "ATANH"},
    {235, 3, "DGET"}, {244, 1, "INFO"}, {247, -1, "DB"}, {252, 2, "FREQUENCY"}, {261, 1, "ERROR.TYPE"},
    {269, -1, "AVEDEV"}, {270, -1, "BETADIST"}, {271, 1, "GAMMALN"}, {272, -1, "BETAINV"}, {273, 4, "BINOMDIST"},
    {274, 2, "CHIDIST"}, {275, 2, "CHIINV"}, {276, 2, "COMBIN"}, {277, 3, "CONFIDENCE"}, {278, 3, "CRITBINOM"},
    {279, 1, "EVEN"}, {280, 3, "EXPONDIST"}, {281, 3, "FDIST"}, {282, 3, "FINV"}, {283, 1, "FISHER"},
    {284, 1, "FISHERINV"}, {285, 2, "FLOOR"}, {286, 4, "GAMMADIST"}, {287, 3, "GAMMAINV"}, {288, 2, "CEILING"},
    {289, 4, "HYPGEOMDIST"}, {290, 3, "LOGNORMDIST"}, {291, 3, "LOGINV"}, {292, 3, "NEGBINOMDIST"},
    {293, 4, "NORMDIST"}, {294, 1, "NORMSDIST"}, {295, 3, "NORMINV"}, {296, 1, "NORMSINV"},
    {297, 3, "STANDARDIZE"}, {298, 1, "ODD"}, {299, 2, "PERMUT"}, {300, 3, "POISSON"}, {301, 3, "TDIST"},
    {302, 4, "WEIBULL"}, {303, 2, "SUMXMY2"}, {304, 2, "SUMX2MY2"}, {305, 2, "SUMX2PY2"}, {306, 2, "CHITEST"},
    {307, 2, "CORREL"}, {308, 2, "COVAR"}, {309, 3, "FORECAST"}, {310, 2, "FTEST"}, {311, 2, "INTERCEPT"},
    {312, 2, "PEARSON"}, {313, 2, "RSQ"}, {314, 2, "STEYX"}, {315, 2, "SLOPE"}, {316, 4, "TTEST"},
    {317, -1, "PROB"}, {318, -1, "DEVSQ"}, {319, -1, "GEOMEAN"}, {320, -1, "HARMEAN"}, {321, -1, "SUMSQ"},
    {322, -1, "KURT"}, {323, -1, "SKEW"}, {324, -1, "ZTEST"}, {325, 2, "LARGE"}, {326, 2, "SMALL"},
    {327, 2, "QUARTILE"}, {328, 2, "PERCENTILE"}, {329, -1, "PERCENTRANK"}, {330, -1, "MODE"},
    {331, 2, "TRIMMEAN"}, {332, 2, "TINV"}, {336, -1, "CONCATENATE"}, {337, 2, "POWER"}, {342, 1, "RADIANS"},
    {343, 1, "DEGREES"}, {344, -1, "SUBTOTAL"}, {345, -1, "SUMIF"}, {346, 2, "COUNTIF"}, {347, 1, "COUNTBLANK"},
    {350, 4, "ISPMT"}, {351, 3, "DATEDIF"}, {354, -1, "ROMAN"}, {358, -1, "GETPIVOTDATA"}, {359, -1, "HYPERLINK"},
    {361, -1, "AVERAGEA"}, {362, -1, "MAXA"}, {363, -1, "MINA"}, {364, -1, "STDEVPA"}, {365, -1, "VARPA"},
    {366, -1, "STDEVA"}, {367, -1, "VARA"},
};
// clang-format on

// The function index that calls a function named by its first argument (an
// add-in's or a macro's).
constexpr std::uint16_t kExternalFunction = 255;

const FunctionInfo* FindFunction(std::uint16_t index)
{
    const auto* end = std::end(kFunctions);
    const auto* it = std::lower_bound(std::begin(kFunctions), end, index,
                                      [](const FunctionInfo& f, std::uint16_t i) { return f.index < i; });
    return it != end && it->index == index ? it : nullptr;
}

std::u16string Ascii(const char* s)
{
    std::u16string out;
    for (; *s != '\0'; ++s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return out;
}

// A number as the formula bar writes it: up to 15 significant digits,
// plainly while that stays short, else as "1.5E+20".
std::optional<std::u16string> NumberText(double value)
{
    if (!std::isfinite(value)) return std::nullopt;
    if (value == 0) return u"0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    // buf is "d.ddddddddddddddde[+-]x..."
    std::string digits;
    const char* p = buf;
    for (; *p != '\0' && *p != 'e'; ++p)
        if (*p != '.') digits.push_back(*p);
    if (*p != 'e') return std::nullopt;
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent >= 15 || exponent < -9) {
        out += digits[0];
        if (count > 1) out += "." + digits.substr(1);
        const int magnitude = std::abs(exponent);
        out += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    } else {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return Ascii(out.c_str());
}

using RefEnd = BiffFormulaDecoder::RefEnd;
using Prepared = BiffFormulaDecoder::Prepared;

constexpr std::uint32_t kNoReference = 0xFFFFFFFFu;

// The formula's text as a tree: a node writes its lead, the reference that
// moves with the cell if it holds one, its kids' texts joined by its
// separator, then its tail. Separators and tails are always literals; the
// kids of all nodes lie in one array. Formulas come by the hundred
// thousand, so a node costs one allocation at most.
struct Node {
    std::u16string lead;
    std::u16string_view sep;
    std::u16string_view tail;
    std::uint32_t firstKid = 0;
    std::uint32_t kidCount = 0;
    std::uint32_t reference = kNoReference;
    bool isName = false;  // a defined or external name, which may name a function
};

// No cell reference is written shorter than "A1".
constexpr std::size_t kShortestReference = 2;

class TreeBuilder {
public:
    // Each node takes at least one byte of the tokens.
    explicit TreeBuilder(std::size_t tokenBytes)
    {
        m_nodes.reserve(std::min(tokenBytes, BiffFormulaDecoder::kMaxNodes));
    }

    bool Leaf(std::u16string text, bool isName = false)
    {
        Node node;
        node.isName = isName;
        m_units += text.size();
        node.lead = std::move(text);
        return Push(std::move(node), 0);
    }

    // A leaf whose reference (an index into the decoding's references) is
    // written for each cell after `lead`.
    bool Moving(std::u16string lead, std::uint32_t reference)
    {
        Node node;
        m_units += lead.size();
        ++m_references;
        node.lead = std::move(lead);
        node.reference = reference;
        return Push(std::move(node), 0);
    }

    // Takes the top `count` operands (in their written order) as kids.
    bool Combine(std::u16string lead, std::size_t count, std::u16string_view sep, std::u16string_view tail)
    {
        if (count > m_stack.size()) return false;
        Node node;
        m_units += lead.size() + tail.size() + (count > 1 ? (count - 1) * sep.size() : 0);
        node.firstKid = static_cast<std::uint32_t>(m_kids.size());
        node.kidCount = static_cast<std::uint32_t>(count);
        m_kids.insert(m_kids.end(), m_stack.end() - static_cast<std::ptrdiff_t>(count), m_stack.end());
        node.lead = std::move(lead);
        node.sep = sep;
        node.tail = tail;
        return Push(std::move(node), count);
    }

    // Calls a function named by the first of `count` operands, which must
    // be a plain name.
    bool CallNamed(std::size_t count)
    {
        if (count == 0 || count > m_stack.size()) return false;
        const std::uint32_t nameNode = m_stack[m_stack.size() - count];
        const Node& name = m_nodes[nameNode];
        if (!name.isName) return false;
        std::u16string lead = name.lead + u"(";
        // Drop the name from the stack; the rest become the arguments. Its
        // text moves into the call's lead.
        m_units -= name.lead.size();
        m_stack.erase(m_stack.end() - static_cast<std::ptrdiff_t>(count));
        return Combine(std::move(lead), count - 1, u",", u")");
    }

    // The text with the places of the moving references, which are taken
    // out of `references` in the order they are written.
    std::optional<Prepared> Finish(const std::vector<Prepared::Reference>& references) const
    {
        if (m_stack.size() != 1) return std::nullopt;
        Prepared out;
        out.text = u"=";
        out.text.reserve(m_units + 1);
        out.references.reserve(m_references);
        const auto enter = [&](const Node& node) {
            out.text += node.lead;
            if (node.reference == kNoReference) return;
            out.references.push_back(references[node.reference]);
            out.references.back().at = out.text.size();
        };
        struct Frame {
            std::uint32_t node;
            std::size_t next;
        };
        std::vector<Frame> frames;
        const std::uint32_t root = m_stack.back();
        frames.push_back({root, 0});
        enter(m_nodes[root]);
        // Each node is some other node's kid at most once, so this visits
        // every node once and ends.
        while (!frames.empty()) {
            const std::uint32_t id = frames.back().node;
            const std::size_t next = frames.back().next;
            const Node& node = m_nodes[id];
            if (next < node.kidCount) {
                if (next > 0) out.text += node.sep;
                frames.back().next = next + 1;
                const std::uint32_t kid = m_kids[node.firstKid + next];
                enter(m_nodes[kid]);
                frames.push_back({kid, 0});
            } else {
                out.text += node.tail;
                frames.pop_back();
            }
        }
        return out;
    }

private:
    bool Push(Node node, std::size_t taken)
    {
        // Every node's own text ends up in the formula once (a called
        // name's in the call's lead), so what the nodes made so far hold
        // is a floor under any cell's text: past the cap, no cell shows
        // it. This also bounds the work of one formula by the cap.
        if (m_units + m_references * kShortestReference > BiffFormulaDecoder::kMaxTextUnits) return false;
        if (m_nodes.size() >= BiffFormulaDecoder::kMaxNodes) return false;
        m_stack.resize(m_stack.size() - taken);
        if (m_stack.size() >= BiffFormulaDecoder::kMaxStack) return false;
        m_stack.push_back(static_cast<std::uint32_t>(m_nodes.size()));
        m_nodes.push_back(std::move(node));
        return true;
    }

    std::vector<Node> m_nodes;
    std::vector<std::uint32_t> m_kids;
    std::vector<std::uint32_t> m_stack;
    std::size_t m_units = 0;       // of the nodes' own texts, without moving references
    std::size_t m_references = 0;  // moving references
};

std::uint32_t RowLimit(bool biff8)
{
    return biff8 ? 65536u : 16384u;
}

// In a shared formula a relative row or column is an offset from the
// owning cell, wrapping around the sheet as Excel's does; the column
// offset is the low byte, as a .xls sheet has 256 columns.
void Resolve(RefEnd& end, std::uint32_t row, std::uint32_t column, bool biff8)
{
    if (end.rowRelative) end.row = (row + end.row) % RowLimit(biff8);
    if (end.columnRelative) end.column = (column + (end.column & 0xFFu)) & 0xFFu;
}

std::u16string AreaText(const RefEnd& first, const RefEnd& last, bool biff8)
{
    const std::uint32_t lastColumn = 255;
    // Whole rows and whole columns are written without the other part.
    if (first.column == 0 && last.column == lastColumn) {
        auto row = [](const RefEnd& e) {
            return (e.rowRelative ? u"" : u"$") + Ascii(std::to_string(e.row + 1).c_str());
        };
        return row(first) + u":" + row(last);
    }
    if (first.row == 0 && last.row == RowLimit(biff8) - 1) {
        auto col = [](const RefEnd& e) {
            std::u16string name = BiffFormulaDecoder::CellName(0, e.column, true, e.columnRelative);
            name.pop_back();  // the row "1"
            return name;
        };
        return col(first) + u":" + col(last);
    }
    return BiffFormulaDecoder::CellName(first.row, first.column, first.rowRelative, first.columnRelative) + u":" +
           BiffFormulaDecoder::CellName(last.row, last.column, last.rowRelative, last.columnRelative);
}

std::u16string ReferenceText(const Prepared::Reference& reference, std::uint32_t row, std::uint32_t column, bool biff8)
{
    RefEnd first = reference.first;
    Resolve(first, row, column, biff8);
    if (!reference.area)
        return BiffFormulaDecoder::CellName(first.row, first.column, first.rowRelative, first.columnRelative);
    RefEnd last = reference.last;
    Resolve(last, row, column, biff8);
    return AreaText(first, last, biff8);
}

// Bounded reading of the token bytes.
class TokenBytes {
public:
    explicit TokenBytes(ByteView bytes) : m_bytes(bytes) {}
    bool AtEnd() const { return m_pos >= m_bytes.size(); }
    bool Has(std::size_t n) const { return m_pos <= m_bytes.size() && m_bytes.size() - m_pos >= n; }
    // Each reader is called only after Has() said the bytes are there.
    std::uint8_t U8() { return m_bytes[m_pos++]; }
    std::uint16_t U16()
    {
        const auto v = static_cast<std::uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    double F64()
    {
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | m_bytes[m_pos + static_cast<std::size_t>(i)];
        m_pos += 8;
        double v = 0;
        static_assert(sizeof v == sizeof bits);
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    const std::uint8_t* Here() const { return m_bytes.data() + m_pos; }
    bool Skip(std::size_t n)
    {
        if (!Has(n)) return false;
        m_pos += n;
        return true;
    }

private:
    ByteView m_bytes;
    std::size_t m_pos = 0;
};

// Token ids (the base id; operand tokens add 0x20 or 0x40 for their class).
// clang-format off
enum : std::uint8_t {
    kPtgExp = 0x01, kPtgAdd = 0x03, kPtgSub, kPtgMul, kPtgDiv, kPtgPower, kPtgConcat, kPtgLt, kPtgLe, kPtgEq,
    kPtgGe, kPtgGt, kPtgNe, kPtgIsect, kPtgUnion, kPtgRange, kPtgUplus, kPtgUminus, kPtgPercent, kPtgParen,
    kPtgMissArg, kPtgStr, kPtgAttr = 0x19, kPtgErr = 0x1C, kPtgBool, kPtgInt, kPtgNum,
    kPtgFunc = 0x21, kPtgFuncVar, kPtgName, kPtgRef, kPtgArea, kPtgMemArea, kPtgMemErr, kPtgMemNoMem,
    kPtgMemFunc, kPtgRefErr, kPtgAreaErr, kPtgRefN, kPtgAreaN, kPtgMemAreaN, kPtgMemNoMemN,
    kPtgNameX = 0x39, kPtgRef3d, kPtgArea3d, kPtgRefErr3d, kPtgAreaErr3d,
};
// clang-format on

class Decoding {
public:
    explicit Decoding(const BiffFormulaContext& context, ByteView tokens)
        : m_context(context), m_in(tokens), m_tree(tokens.size())
    {
    }

    std::optional<Prepared> Run()
    {
        // Every token consumes at least its id byte, so this ends.
        while (!m_in.AtEnd()) {
            if (!Token(m_in.U8())) return std::nullopt;
        }
        auto prepared = m_tree.Finish(m_references);
        if (prepared) prepared->biff8 = m_context.biff8;
        return prepared;
    }

private:
    bool ReadRefEnd(RefEnd& end)
    {
        if (m_context.biff8) {
            if (!m_in.Has(4)) return false;
            end.row = m_in.U16();
            const std::uint16_t col = m_in.U16();
            end.column = col & 0x3FFFu;
            end.columnRelative = (col & 0x4000u) != 0;
            end.rowRelative = (col & 0x8000u) != 0;
        } else {
            if (!m_in.Has(3)) return false;
            const std::uint16_t row = m_in.U16();
            end.row = row & 0x3FFFu;
            end.columnRelative = (row & 0x4000u) != 0;
            end.rowRelative = (row & 0x8000u) != 0;
            end.column = m_in.U8();
        }
        return true;
    }

    // An area stores both rows before both columns.
    bool ReadArea(RefEnd& first, RefEnd& last)
    {
        if (m_context.biff8) {
            if (!m_in.Has(8)) return false;
            first.row = m_in.U16();
            last.row = m_in.U16();
            for (RefEnd* end : {&first, &last}) {
                const std::uint16_t col = m_in.U16();
                end->column = col & 0x3FFFu;
                end->columnRelative = (col & 0x4000u) != 0;
                end->rowRelative = (col & 0x8000u) != 0;
            }
        } else {
            if (!m_in.Has(6)) return false;
            for (RefEnd* end : {&first, &last}) {
                const std::uint16_t row = m_in.U16();
                end->row = row & 0x3FFFu;
                end->columnRelative = (row & 0x4000u) != 0;
                end->rowRelative = (row & 0x8000u) != 0;
            }
            first.column = m_in.U8();
            last.column = m_in.U8();
        }
        return true;
    }

    // A reference after `lead`: written now when it stays put, or left to
    // each cell when `moves` and it has a relative part.
    bool Reference(std::u16string lead, bool moves, bool area, const RefEnd& first, const RefEnd& last = {})
    {
        const bool relative = first.rowRelative || first.columnRelative ||
                              (area && (last.rowRelative || last.columnRelative));
        if (!moves || !relative) {
            if (!area)
                return m_tree.Leaf(lead + BiffFormulaDecoder::CellName(first.row, first.column, first.rowRelative,
                                                                       first.columnRelative));
            return m_tree.Leaf(lead + AreaText(first, last, m_context.biff8));
        }
        m_references.push_back({0, area, first, last});
        return m_tree.Moving(std::move(lead), static_cast<std::uint32_t>(m_references.size() - 1));
    }

    std::optional<std::u16string> SheetPrefix(std::uint16_t ixti) const
    {
        if (m_context.links != nullptr) {
            auto prefix = m_context.links->SheetRef(ixti);
            if (prefix) *prefix += u"!";
            return prefix;
        }
        if (m_context.sheetRefs == nullptr || ixti >= m_context.sheetRefs->size()) return std::nullopt;
        const auto& prefix = (*m_context.sheetRefs)[ixti];
        if (!prefix) return std::nullopt;
        return *prefix + u"!";
    }

    std::u16string DefinedName(std::uint16_t index) const
    {
        if (m_context.links != nullptr) return m_context.links->Name(index);
        if (m_context.names == nullptr || index == 0 || index > m_context.names->size()) return {};
        return (*m_context.names)[index - 1u];
    }

    std::u16string ExternalName(std::uint16_t ixti, std::uint16_t index) const
    {
        if (m_context.links != nullptr) return m_context.links->ExternName(ixti, index);
        const auto* names = m_context.externNames;
        if (names == nullptr || ixti >= names->size() || index == 0 || index > (*names)[ixti].size()) return {};
        return (*names)[ixti][index - 1u];
    }

    bool Binary(const char16_t* op) { return m_tree.Combine(u"", 2, op, u""); }

    bool Function(std::uint16_t index, std::size_t count)
    {
        if (index == kExternalFunction) return m_tree.CallNamed(count);
        const FunctionInfo* f = FindFunction(index);
        if (f == nullptr) return false;
        return m_tree.Combine(Ascii(f->name) + u"(", count, u",", u")");
    }

    bool String()
    {
        if (!m_in.Has(1)) return false;
        const std::size_t count = m_in.U8();
        std::u16string text;
        if (m_context.biff8) {
            if (!m_in.Has(1)) return false;
            const bool wide = (m_in.U8() & 1) != 0;
            if (!m_in.Has(count * (wide ? 2 : 1))) return false;
            for (std::size_t i = 0; i < count; ++i)
                text.push_back(wide ? static_cast<char16_t>(m_in.U16()) : m_in.U8());
        } else {
            if (!m_in.Has(count)) return false;
            if (m_context.decode8) text = m_context.decode8(m_in.Here(), count);
            else
                for (std::size_t i = 0; i < count; ++i) text.push_back(m_in.Here()[i]);
            m_in.Skip(count);
        }
        std::u16string quoted = u"\"";
        for (char16_t c : text) {
            if (c == u'"') quoted += u'"';
            quoted += c;
        }
        quoted += u'"';
        return m_tree.Leaf(std::move(quoted));
    }

    bool Attr()
    {
        if (!m_in.Has(3)) return false;
        const std::uint8_t flags = m_in.U8();
        const std::uint16_t data = m_in.U16();
        // CHOOSE's jump table: one offset per choice and one past the end.
        if ((flags & 0x04) != 0 && !m_in.Skip((std::size_t{data} + 1) * 2)) return false;
        // SUM of one operand written as an attribute; the others (volatile,
        // IF and CHOOSE jumps, spacing) do not change the text we write.
        if ((flags & 0x10) != 0) return m_tree.Combine(u"SUM(", 1, u"", u")");
        return true;
    }

    bool Token(std::uint8_t id)
    {
        switch (id) {
        case kPtgAdd: return Binary(u"+");
        case kPtgSub: return Binary(u"-");
        case kPtgMul: return Binary(u"*");
        case kPtgDiv: return Binary(u"/");
        case kPtgPower: return Binary(u"^");
        case kPtgConcat: return Binary(u"&");
        case kPtgLt: return Binary(u"<");
        case kPtgLe: return Binary(u"<=");
        case kPtgEq: return Binary(u"=");
        case kPtgGe: return Binary(u">=");
        case kPtgGt: return Binary(u">");
        case kPtgNe: return Binary(u"<>");
        case kPtgIsect: return Binary(u" ");
        case kPtgUnion: return Binary(u",");
        case kPtgRange: return Binary(u":");
        case kPtgUplus: return m_tree.Combine(u"+", 1, u"", u"");
        case kPtgUminus: return m_tree.Combine(u"-", 1, u"", u"");
        case kPtgPercent: return m_tree.Combine(u"", 1, u"", u"%");
        case kPtgParen: return m_tree.Combine(u"(", 1, u"", u")");
        case kPtgMissArg: return m_tree.Leaf(u"");
        case kPtgStr: return String();
        case kPtgAttr: return Attr();
        case kPtgErr: {
            if (!m_in.Has(1)) return false;
            const std::u16string_view text = ErrorText(m_in.U8());
            return !text.empty() && m_tree.Leaf(std::u16string(text));
        }
        case kPtgBool:
            if (!m_in.Has(1)) return false;
            return m_tree.Leaf(m_in.U8() != 0 ? u"TRUE" : u"FALSE");
        case kPtgInt:
            if (!m_in.Has(2)) return false;
            return m_tree.Leaf(Ascii(std::to_string(m_in.U16()).c_str()));
        case kPtgNum: {
            if (!m_in.Has(8)) return false;
            auto text = NumberText(m_in.F64());
            return text && m_tree.Leaf(std::move(*text));
        }
        default: break;
        }
        // Operand tokens come in three classes (reference, value, array)
        // that write alike.
        if (id < 0x20 || id > 0x7F) return false;
        return Operand(static_cast<std::uint8_t>((id & 0x1Fu) | 0x20u));
    }

    bool Operand(std::uint8_t base)
    {
        switch (base) {
        case kPtgFunc: {
            if (!m_in.Has(2)) return false;
            const FunctionInfo* f = FindFunction(m_in.U16());
            // Without a stated count only a function of fixed arity reads.
            if (f == nullptr || f->args < 0) return false;
            return Function(f->index, static_cast<std::size_t>(f->args));
        }
        case kPtgFuncVar: {
            if (!m_in.Has(3)) return false;
            const std::size_t count = m_in.U8() & 0x7Fu;
            const std::uint16_t tab = m_in.U16();
            if ((tab & 0x8000u) != 0) return false;  // a macro command
            return Function(tab, count);
        }
        case kPtgName: {
            if (!m_context.biff8 || !m_in.Has(4)) return false;
            const std::uint16_t index = m_in.U16();
            m_in.Skip(2);
            std::u16string name = DefinedName(index);
            return !name.empty() && m_tree.Leaf(std::move(name), true);
        }
        case kPtgNameX: {
            if (!m_context.biff8 || !m_in.Has(6)) return false;
            const std::uint16_t ixti = m_in.U16();
            const std::uint16_t index = m_in.U16();
            m_in.Skip(2);
            std::u16string name = ExternalName(ixti, index);
            // Functions newer than the file format are stored as add-in
            // names with this prefix; the formula bar shows them without.
            constexpr std::u16string_view kNewFunction = u"_xlfn.";
            if (std::u16string_view(name).substr(0, kNewFunction.size()) == kNewFunction)
                name.erase(0, kNewFunction.size());
            return !name.empty() && m_tree.Leaf(std::move(name), true);
        }
        // The N forms are offsets from the cell that shows the formula.
        case kPtgRef:
        case kPtgRefN: {
            RefEnd end;
            if (!ReadRefEnd(end)) return false;
            return Reference(u"", base == kPtgRefN, false, end);
        }
        case kPtgArea:
        case kPtgAreaN: {
            RefEnd first, last;
            if (!ReadArea(first, last)) return false;
            return Reference(u"", base == kPtgAreaN, true, first, last);
        }
        case kPtgRefErr: return m_in.Skip(m_context.biff8 ? 4 : 3) && m_tree.Leaf(u"#REF!");
        case kPtgAreaErr: return m_in.Skip(m_context.biff8 ? 8 : 6) && m_tree.Leaf(u"#REF!");
        case kPtgRef3d:
        case kPtgArea3d:
        case kPtgRefErr3d:
        case kPtgAreaErr3d: return Reference3d(base);
        // Hints for recalculation that precede the tokens of the reference
        // they describe; those tokens follow and are read as usual.
        case kPtgMemArea:
        case kPtgMemErr:
        case kPtgMemNoMem: return m_in.Skip(6);
        case kPtgMemFunc:
        case kPtgMemAreaN:
        case kPtgMemNoMemN: return m_in.Skip(2);
        default: return false;  // constant arrays and anything unknown
        }
    }

    bool Reference3d(std::uint8_t base)
    {
        if (!m_context.biff8 || !m_in.Has(2)) return false;
        const auto prefix = SheetPrefix(m_in.U16());
        if (!prefix) return false;
        // In a shared formula the relative parts are offsets, as in ptgRefN.
        switch (base) {
        case kPtgRef3d: {
            RefEnd end;
            if (!ReadRefEnd(end)) return false;
            return Reference(std::move(*prefix), m_context.shared, false, end);
        }
        case kPtgArea3d: {
            RefEnd first, last;
            if (!ReadArea(first, last)) return false;
            return Reference(std::move(*prefix), m_context.shared, true, first, last);
        }
        case kPtgRefErr3d: return m_in.Skip(4) && m_tree.Leaf(*prefix + u"#REF!");
        default: return m_in.Skip(8) && m_tree.Leaf(*prefix + u"#REF!");
        }
    }

    const BiffFormulaContext& m_context;
    TokenBytes m_in;
    TreeBuilder m_tree;
    std::vector<Prepared::Reference> m_references;  // that move, in token order
};

bool NeedsQuotes(const std::u16string& name)
{
    if (name.empty()) return true;
    if (name[0] >= u'0' && name[0] <= u'9') return true;
    for (char16_t c : name) {
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c > 0x7F;
        const bool plain = letter || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.';
        if (!plain) return true;
    }
    // Letters then digits ("AB12") would read as a cell; so would R1C1
    // forms, which Excel also quotes ("R1C1", "R", "C").
    std::size_t i = 0;
    while (i < name.size() && ((name[i] >= u'A' && name[i] <= u'Z') || (name[i] >= u'a' && name[i] <= u'z'))) ++i;
    std::size_t j = i;
    while (j < name.size() && name[j] >= u'0' && name[j] <= u'9') ++j;
    if (i > 0 && i <= 3 && j > i && j == name.size()) return true;
    std::u16string upper;
    for (char16_t c : name) upper.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    if (upper == u"R" || upper == u"C") return true;
    if (upper[0] == u'R' || upper[0] == u'C') {
        std::size_t k = 1;
        while (k < upper.size() && upper[k] >= u'0' && upper[k] <= u'9') ++k;
        if (k == upper.size()) return true;
        if (upper[0] == u'R' && upper[k] == u'C') {
            ++k;
            while (k < upper.size() && upper[k] >= u'0' && upper[k] <= u'9') ++k;
            if (k == upper.size()) return true;
        }
    }
    return false;
}

std::u16string Quoted(const std::u16string& text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\'') out += u'\'';
        out += c;
    }
    return out;
}

}  // namespace

BiffFormulaDecoder::BiffFormulaDecoder(const BiffFormulaContext& context) : m_context(context) {}

std::optional<std::u16string> BiffFormulaDecoder::Decode(ByteView tokens) const
{
    const auto prepared = Prepare(tokens);
    if (!prepared) return std::nullopt;
    return prepared->TextAt(m_context.row, m_context.column);
}

std::optional<BiffFormulaDecoder::Prepared> BiffFormulaDecoder::Prepare(ByteView tokens) const
{
    if (tokens.empty()) return std::nullopt;
    return Decoding(m_context, tokens).Run();
}

std::optional<std::u16string> BiffFormulaDecoder::Prepared::TextAt(std::uint32_t row, std::uint32_t column) const
{
    std::u16string out;
    out.reserve(text.size() + references.size() * 8);
    std::size_t from = 0;
    for (const Reference& reference : references) {
        out.append(text, from, reference.at - from);
        from = reference.at;
        out += ReferenceText(reference, row, column, biff8);
        if (out.size() > kMaxTextUnits + 1) return std::nullopt;
    }
    out.append(text, from, std::u16string::npos);
    // The text past the "=" is what the cap is on.
    if (out.size() > kMaxTextUnits + 1) return std::nullopt;
    return out;
}

std::u16string BiffFormulaDecoder::CellName(std::uint32_t row, std::uint32_t column, bool rowRelative,
                                            bool columnRelative)
{
    std::u16string letters;
    // Bijective base 26: A..Z, AA..ZZ, AAA...; a column fits in 3 letters.
    std::uint32_t n = column + 1;
    while (n > 0 && letters.size() < 4) {
        const std::uint32_t rem = (n - 1) % 26;
        letters.insert(letters.begin(), static_cast<char16_t>(u'A' + rem));
        n = (n - 1) / 26;
    }
    std::u16string out;
    if (!columnRelative) out += u'$';
    out += letters;
    if (!rowRelative) out += u'$';
    out += Ascii(std::to_string(std::uint64_t{row} + 1).c_str());
    return out;
}

std::u16string BiffFormulaDecoder::QuoteSheetName(const std::u16string& name)
{
    return NeedsQuotes(name) ? u"'" + Quoted(name) + u"'" : name;
}

std::u16string BiffFormulaDecoder::QuoteSheetRange(const std::u16string& first, const std::u16string& last)
{
    if (NeedsQuotes(first) || NeedsQuotes(last)) return u"'" + Quoted(first) + u":" + Quoted(last) + u"'";
    return first + u":" + last;
}

std::optional<std::u16string> BiffFormulaDecoder::FunctionName(std::uint16_t index)
{
    const FunctionInfo* f = FindFunction(index);
    if (f == nullptr) return std::nullopt;
    return Ascii(f->name);
}

}  // namespace office
