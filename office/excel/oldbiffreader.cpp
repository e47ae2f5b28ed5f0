// Excel 2 to 4 workbook reading (see oldbiffreader.h).
//
// The stream is walked once, record by record, with a count of the open
// BOF..EOF substreams: cells are taken only at the level of the sheet being
// read, so charts embedded in a sheet and chart or macro sheets of a
// workbook contribute nothing, and every record costs time in proportion to
// its own size.
#include "office/excel/oldbiffreader.h"

#include "office/excel/biffcodepage.h"
#include "office/excel/biffrecords.h"
#include "office/excel/cellformat.h"
#include "platform/cancellation.h"

#include <vector>

namespace office {

namespace {

using biff::Record;
using biff::RecordWalker;
using biff::U16;
using biff::U32;

enum OldRecord : std::uint16_t {
    // Excel 2's cell records, with 3 bytes of cell attributes in place of
    // an XF index.
    kInteger2 = 0x0002,
    kNumber2 = 0x0003,
    kLabel2 = 0x0004,
    kBoolErr2 = 0x0005,
    kFormula2 = 0x0006,
    kString2 = 0x0007,
    kBof2 = 0x0009,
    kEof = 0x000A,
    kFormat2 = 0x001E,  // Excel 2 and 3
    kArray2 = 0x0021,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kCodePage = 0x0042,
    kXf2 = 0x0043,
    kIxfe = 0x0044,
    kBoundSheet = 0x0085,  // in an Excel 4 workbook: the sheet's name only
    kSheetHeader = 0x008F,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kFormula3 = 0x0206,
    kString = 0x0207,
    kBof3 = 0x0209,
    kArray = 0x0221,
    kXf3 = 0x0243,
    kRk = 0x027E,
    kFormula4 = 0x0406,
    kBof4 = 0x0409,
    kFormat4 = 0x041E,
    kXf4 = 0x0443,
};

// Substream types of a BOF record.
constexpr std::uint16_t kChartSheet = 0x0020;
constexpr std::uint16_t kMacroSheet = 0x0040;
constexpr std::uint16_t kWorkbookGlobals = 0x0100;

// Charts embedded in charts nest a few levels at most.
constexpr int kMaxDepth = 16;

// Formats are referred to by one byte, XF records by two: entries past
// these counts cannot be reached by any cell.
constexpr std::size_t kMaxFormats = 256;
constexpr std::size_t kMaxXfs = 65536;

bool IsBof(std::uint16_t type)
{
    return type == kBof2 || type == kBof3 || type == kBof4;
}

// The number formats and XF records of one scope: the globals of a
// workbook, or one sheet.
struct FormatTables {
    std::vector<NumberStyle> formats;    // in the order of the FORMAT records
    std::vector<std::uint8_t> xfFormat;  // the format of each XF record
    void Clear()
    {
        formats.clear();
        xfFormat.clear();
    }
};

class OldBiffParser {
public:
    OldBiffParser(ByteView stream, std::u16string sheetName, WorkbookBuilder& builder, std::size_t maxSheets)
        : m_stream(stream), m_sheetName(std::move(sheetName)), m_builder(builder), m_maxSheets(maxSheets)
    {
    }

    bool Parse(ReadError& error)
    {
        RecordWalker walker(m_stream, 0);
        Record r;
        if (!walker.Next(r) || !IsBof(r.type) || r.body.size() < 4) {
            error = {ReadErrorKind::NotThisFormat, "not a workbook of Excel 2 to 4"};
            return false;
        }
        const std::uint16_t kind = U16(r.body.data() + 2);
        m_depth = 1;
        if (kind == kWorkbookGlobals) {
            if (r.type != kBof4) {
                error = {ReadErrorKind::NotThisFormat, "workspace of Excel 3 or older (it only links to other files)"};
                return false;
            }
            m_workbook = true;
            m_globalsOpen = true;
        } else {
            OpenSheet(kind, m_sheetName.empty() ? std::u16string(u"Sheet1") : m_sheetName);
        }
        bool finished = false;
        platform::StopCheck stop(256);
        while (!finished && m_error.ok() && walker.Next(r)) {
            stop();
            finished = Handle(r, walker);
            if (m_builder.Failed()) m_error = m_builder.Error();
        }
        if (m_error.ok() && !finished) {
            m_error = {ReadErrorKind::Damaged,
                       walker.Damaged() ? "damaged workbook stream (the record at byte " +
                                              std::to_string(walker.Position()) + " runs past its end)"
                                        : std::string("damaged workbook stream (it ends before its last EOF record)")};
        }
        if (m_error.ok() && m_listedNames.size() > m_substreams) {
            m_error = {ReadErrorKind::Damaged, "damaged workbook stream (" + std::to_string(m_listedNames.size()) +
                                                   " sheets listed, " + std::to_string(m_substreams) + " found)"};
        }
        error = m_error;
        return m_error.ok();
    }

private:
    // Takes one record; true once the stream's last substream has ended.
    bool Handle(const Record& r, const RecordWalker& walker)
    {
        if (IsBof(r.type)) {
            if (!Need(r, 4)) return false;
            if (++m_depth > kMaxDepth) {
                m_error = {ReadErrorKind::Damaged, "damaged workbook stream (substreams nested too deep)"};
                return false;
            }
            // A workbook's sheets lie inside its globals (or, written by
            // some programs, after them).
            if (m_workbook && m_depth == (m_globalsOpen ? 2 : 1)) StartWorkbookSheet(U16(r.body.data() + 2));
            return false;
        }
        if (r.type == kEof) {
            if (m_depth == m_sheetDepth) CloseSheet();
            m_pendingString = false;
            if (--m_depth > 0) return false;
            if (!m_workbook) return true;
            m_globalsOpen = false;
            // More sheets may follow; anything else after the last EOF is
            // padding.
            return !IsBof(walker.PeekType());
        }
        const bool inSheet = m_sheetDepth != 0 && m_depth == m_sheetDepth;
        const bool inGlobals = m_globalsOpen && m_depth == 1;
        if (!inSheet && !inGlobals) return false;  // an embedded chart, a chart or macro sheet
        switch (r.type) {
        case kFilePass: m_error = {ReadErrorKind::Encrypted, "protected by a password"}; return false;
        case kCodePage:
            if (Need(r, 2)) m_text.SetCodePage(U16(r.body.data()));
            return false;
        case kDateMode:
            if (Need(r, 2)) m_builder.SetDate1904(U16(r.body.data()) != 0);
            return false;
        case kFormat2:
        case kFormat4: ReadFormat(r, inSheet ? m_local : m_globals); return false;
        case kXf2:
        case kXf3:
        case kXf4: ReadXf(r, inSheet ? m_local : m_globals); return false;
        case kBoundSheet:
            // Names the workbook's sheets in order; the sheet headers name
            // them again.
            if (inGlobals) {
                std::u16string name = ByteString(r, 0, 1);
                if (m_listedNames.size() >= m_maxSheets) m_error = {ReadErrorKind::TooLarge, "too many sheets"};
                if (m_error.ok()) m_listedNames.push_back(std::move(name));
            }
            return false;
        case kSheetHeader:
            // The length of the sheet's substream, then its name.
            if (inGlobals && Need(r, 5)) m_pendingName = ByteString(r, 4, 1);
            return false;
        default: break;
        }
        if (inSheet) ReadCell(r);
        return false;
    }

    bool Need(const Record& r, std::size_t size)
    {
        if (r.body.size() >= size) return true;
        if (m_error.ok())
            m_error = {ReadErrorKind::Damaged, "damaged workbook stream (record " + Hex(r.type) + " at byte " +
                                                   std::to_string(r.offset) + " is too short)"};
        return false;
    }

    // A string of 8-bit characters after a count of `countBytes` bytes at
    // `pos`; a count that runs past the record is damage.
    std::u16string ByteString(const Record& r, std::size_t pos, unsigned countBytes)
    {
        if (!Need(r, pos + countBytes)) return {};
        const std::size_t count = countBytes == 1 ? r.body[pos] : U16(r.body.data() + pos);
        if (!Need(r, pos + countBytes + count)) return {};
        return m_text.Decode(r.body.data() + pos + countBytes, count);
    }

    void OpenSheet(std::uint16_t kind, std::u16string name)
    {
        m_local.Clear();
        m_ixfe = -1;
        m_pendingString = false;
        // Chart and macro sheets are not worksheets; their records are
        // walked over.
        if (kind == kChartSheet || kind == kMacroSheet) return;
        if (m_builder.AddSheet(std::move(name), SheetVisibility::Visible)) m_sheetDepth = m_depth;
    }

    void StartWorkbookSheet(std::uint16_t kind)
    {
        ++m_substreams;
        std::u16string name = std::move(m_pendingName);
        m_pendingName.clear();
        if (name.empty() && m_substreams <= m_listedNames.size()) name = m_listedNames[m_substreams - 1];
        if (name.empty()) name = u"Sheet" + Widen(std::to_string(m_substreams));
        OpenSheet(kind, std::move(name));
    }

    void CloseSheet()
    {
        m_sheetDepth = 0;
        m_local.Clear();
    }

    static std::string Hex(std::uint16_t type)
    {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string out = "0x";
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(type >> shift) & 0xF]);
        return out;
    }

    static std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

    void ReadFormat(const Record& r, FormatTables& tables)
    {
        // Excel 4 puts two unused bytes before the format string; the
        // index of a format is its place in the list.
        const std::u16string code = ByteString(r, r.type == kFormat4 ? 2 : 0, 1);
        if (!m_error.ok()) return;
        if (tables.formats.size() < kMaxFormats) tables.formats.push_back(StyleOfFormatCode(code));
    }

    void ReadXf(const Record& r, FormatTables& tables)
    {
        // Excel 2 keeps the format index in the low 6 bits of the third
        // byte, Excel 3 and 4 in the second byte.
        if (!Need(r, 4)) return;
        const std::uint8_t format = r.type == kXf2 ? static_cast<std::uint8_t>(r.body[2] & 0x3F) : r.body[1];
        if (tables.xfFormat.size() < kMaxXfs) tables.xfFormat.push_back(format);
    }

    // A sheet uses its own formats where it has any, else the workbook's.
    const FormatTables& Xfs() const { return m_local.xfFormat.empty() ? m_globals : m_local; }
    const FormatTables& Formats() const { return m_local.formats.empty() ? m_globals : m_local; }

    NumberStyle StyleOfFormat(std::size_t format) const
    {
        const auto& formats = Formats().formats;
        return format < formats.size() ? formats[format] : NumberStyle::General;
    }

    NumberStyle StyleOfXf(std::size_t xf) const
    {
        const auto& xfs = Xfs().xfFormat;
        return xf < xfs.size() ? StyleOfFormat(xfs[xf]) : NumberStyle::General;
    }

    // Excel 2's cell attributes: the XF index (63 when an IXFE record
    // before the cell holds it), and a copy of the XF's format index that
    // serves when the XF records are missing.
    NumberStyle StyleOfAttributes(const std::uint8_t* attributes) const
    {
        long xf = attributes[0] & 0x3F;
        if (xf == 63) xf = m_ixfe;
        if (xf >= 0 && static_cast<std::size_t>(xf) < Xfs().xfFormat.size())
            return StyleOfXf(static_cast<std::size_t>(xf));
        return StyleOfFormat(attributes[1] & 0x3F);
    }

    void ReadCell(const Record& r)
    {
        const ByteView b = r.body;
        switch (r.type) {
        case kIxfe:
            if (Need(r, 2)) m_ixfe = U16(b.data());
            return;
        case kString2:
        case kString: {
            // The text result of the formula just before.
            std::u16string text = ByteString(r, 0, r.type == kString2 ? 1 : 2);
            if (m_pendingString && m_error.ok()) SetPendingText(std::move(text));
            m_pendingString = false;
            return;
        }
        case kArray2:
        case kArray: return;  // not a cell; a formula's string result may still follow
        case kInteger2:
        case kNumber2:
        case kLabel2:
        case kBoolErr2:
        case kFormula2:
        case kNumber:
        case kLabel:
        case kRString:
        case kBoolErr:
        case kRk:
        case kMulRk:
        case kFormula3:
        case kFormula4: break;
        default: return;
        }
        m_pendingString = false;
        if (!Need(r, 6)) return;
        const std::uint32_t row = U16(b.data());
        const std::uint32_t col = U16(b.data() + 2);
        switch (r.type) {
        case kInteger2:
            if (Need(r, 9)) m_builder.AddNumber(row, col, U16(b.data() + 7), StyleOfAttributes(b.data() + 4));
            break;
        case kNumber2:
            if (Need(r, 15)) m_builder.AddNumber(row, col, biff::F64(b.data() + 7), StyleOfAttributes(b.data() + 4));
            break;
        case kLabel2: {
            std::u16string text = ByteString(r, 7, 1);
            if (m_error.ok()) m_builder.AddText(row, col, std::move(text));
            break;
        }
        case kBoolErr2:
            if (Need(r, 9)) AddBoolErr(row, col, b[7], b[8]);
            break;
        case kFormula2:
            if (Need(r, 16)) AddFormula(row, col, b.data() + 7, StyleOfAttributes(b.data() + 4));
            break;
        case kNumber:
            if (Need(r, 14)) m_builder.AddNumber(row, col, biff::F64(b.data() + 6), StyleOfXf(U16(b.data() + 4)));
            break;
        case kLabel:
        case kRString: {
            // RSTRING's formatting runs follow the string and are skipped.
            std::u16string text = ByteString(r, 6, 2);
            if (m_error.ok()) m_builder.AddText(row, col, std::move(text));
            break;
        }
        case kBoolErr:
            if (Need(r, 8)) AddBoolErr(row, col, b[6], b[7]);
            break;
        case kRk:
            if (Need(r, 10))
                m_builder.AddNumber(row, col, biff::RkValue(U32(b.data() + 6)), StyleOfXf(U16(b.data() + 4)));
            break;
        case kMulRk: {
            // Row, first column, (XF, RK) pairs, last column.
            if (!Need(r, 12)) break;
            if ((b.size() - 6) % 6 != 0) {
                m_error = {ReadErrorKind::Damaged, "damaged workbook stream (record " + Hex(r.type) + " at byte " +
                                                       std::to_string(r.offset) + " has a partial entry)"};
                break;
            }
            const std::size_t pairs = (b.size() - 6) / 6;
            for (std::size_t i = 0; i < pairs && !m_builder.Failed(); ++i) {
                const std::uint8_t* p = b.data() + 4 + i * 6;
                m_builder.AddNumber(row, static_cast<std::uint32_t>(col + i), biff::RkValue(U32(p + 2)),
                                    StyleOfXf(U16(p)));
            }
            break;
        }
        case kFormula3:
        case kFormula4:
            if (Need(r, 16)) AddFormula(row, col, b.data() + 6, StyleOfXf(U16(b.data() + 4)));
            break;
        default: break;
        }
        m_ixfe = -1;
    }

    void AddBoolErr(std::uint32_t row, std::uint32_t col, std::uint8_t value, std::uint8_t isError)
    {
        if (isError != 0) m_builder.AddError(row, col, value);
        else m_builder.AddBoolean(row, col, value != 0);
    }

    // The 8-byte result of a FORMULA record: a number, or (marked by 0xFFFF
    // in its last two bytes) a text that follows in a STRING record, a
    // boolean, an error or an empty text.
    void AddFormula(std::uint32_t row, std::uint32_t col, const std::uint8_t* result, NumberStyle style)
    {
        Cell cell;
        cell.row = row;
        cell.column = col;
        cell.isFormula = true;
        const bool tagged = U16(result + 6) == 0xFFFF;
        if (!tagged) {
            cell.kind = CellKind::Number;
            cell.number = biff::F64(result);
            cell.style = style;
        } else if (result[0] == 1) {
            cell.kind = CellKind::Boolean;
            cell.number = result[2] != 0 ? 1 : 0;
        } else if (result[0] == 2) {
            cell.kind = CellKind::Error;
            cell.number = result[2];
        } else {
            cell.kind = CellKind::Text;
        }
        std::size_t position = 0;
        if (!m_builder.AddCell(cell, &position)) return;
        if (tagged && result[0] == 0) {
            m_pendingString = true;
            m_pendingPosition = position;
        }
    }

    void SetPendingText(std::u16string text)
    {
        if (text.empty()) return;  // the cell stays an empty text
        const std::uint32_t index = m_builder.AddText(std::move(text));
        if (Cell* cell = m_builder.CellAt(m_pendingPosition)) cell->text = index;
    }

    ByteView m_stream;
    std::u16string m_sheetName;
    WorkbookBuilder& m_builder;
    std::size_t m_maxSheets;
    ReadError m_error;
    biff::CodePageText m_text;

    int m_depth = 0;
    int m_sheetDepth = 0;  // the level whose cells are read, 0 outside a worksheet
    bool m_workbook = false;
    bool m_globalsOpen = false;
    std::u16string m_pendingName;
    std::vector<std::u16string> m_listedNames;
    std::size_t m_substreams = 0;

    FormatTables m_globals;
    FormatTables m_local;
    long m_ixfe = -1;
    bool m_pendingString = false;
    std::size_t m_pendingPosition = 0;
};

}  // namespace

OldBiffReader::OldBiffReader(const WorkbookLimits& limits) : m_limits(limits) {}

bool OldBiffReader::IsOldBiff(ByteView bytes)
{
    if (bytes.size() < 8) return false;
    const std::uint16_t type = U16(bytes.data());
    const std::size_t size = U16(bytes.data() + 2);
    // A BOF body holds the version, the substream type and, from Excel 3
    // on, a build number; later versions added more.
    return IsBof(type) && size >= 4 && size <= 32 && size <= bytes.size() - 4;
}

bool OldBiffReader::Read(ByteView bytes, const std::u16string& sheetName, Workbook& out, ReadError& error)
{
    WorkbookBuilder builder(m_limits);
    OldBiffParser parser(bytes, sheetName, builder, m_limits.maxSheets);
    if (!parser.Parse(error)) return false;
    out = builder.Finish();
    return true;
}

}  // namespace office
