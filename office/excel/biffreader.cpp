// BIFF5/7 and BIFF8 workbook reading (see biffreader.h).
#include "office/excel/biffreader.h"

#include "office/containers/compoundfile.h"
#include "office/excel/biffcodepage.h"
#include "office/excel/biffformula.h"
#include "office/excel/bifflinks.h"
#include "office/excel/biffrecords.h"
#include "office/excel/cellformat.h"
#include "office/excel/xlsdecrypt.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>

namespace office {

namespace {

using biff::Record;
using biff::RecordWalker;
using biff::U16;
using biff::U32;

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBiff5 = 0x0500;

// BOUNDSHEET's sheet types that hold cells.
constexpr std::uint8_t kSheetWorksheet = 0;
constexpr std::uint8_t kSheetMacro = 1;

// Nested BOF/EOF pairs (charts inside a sheet) deeper than this are damage.
constexpr int kMaxDepth = 16;

struct SheetEntry {
    std::uint32_t offset = 0;
    SheetVisibility visibility = SheetVisibility::Visible;
    std::uint8_t type = 0;
    std::u16string name;
};

// A formula shared by a range of cells (SHRFMLA) or an array formula
// (ARRAY), keyed by the cell whose FORMULA records it first.
struct SharedFormula {
    std::uint32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    bool array = false;
    ByteView tokens;
    // Decoded once, for the first cell that shows it: an array formula's
    // text (the same in all its cells), a shared formula's tokens made
    // ready for each cell. Decoding the tokens again for every one of
    // thousands of cells would cost the tokens' length per cell.
    bool decoded = false;
    std::uint32_t arrayText = kNoText;
    std::optional<BiffFormulaDecoder::Prepared> prepared;
};

// A record whose formula text is decoded on request, and where a sheet's
// records begin among them.
struct DeferredRecord {
    enum class Kind : std::uint8_t { Formula, Shared, Array };
    Kind kind;
    std::uint32_t row;
    std::uint32_t column;
    std::size_t offset;  // of the record's body in the stream
    std::size_t size;
};
struct DeferredSheet {
    std::size_t bookSheet;
    std::size_t sheetIndex;  // BOUNDSHEET's, as formula tokens count sheets
    std::size_t first;
};

// A cap on the shared and array formulas of one sheet; each costs bytes of
// the stream, this only stops a crafted file from growing the table forever.
constexpr std::size_t kMaxSharedPerSheet = 65536;

// The parser of one workbook stream. When formula texts are deferred it
// stays alive after the read as the workbook's FormulaTextSource: it keeps
// the stream and notes where each FORMULA, SHRFMLA and ARRAY record lies,
// and decodes them on request exactly as it would have while reading (same
// records in the same order, same shared-formula state), writing into the
// finished workbook instead of the builder, which is gone by then.
class StreamParser : public FormulaTextSource {
public:
    StreamParser(std::vector<std::uint8_t> stream, WorkbookBuilder& builder, std::u16string password, bool defer)
        : m_stream(std::move(stream)), m_builder(builder), m_password(std::move(password)), m_budget(m_stream.size()),
          m_defer(defer)
    {
    }

    bool HasDeferred() const { return !m_deferred.empty(); }

    void DecodeInto(Workbook& book) override
    {
        m_replayBook = &book;
        struct Done {
            StreamParser& parser;
            ~Done() { parser.m_replayBook = nullptr; }
        } done{*this};
        for (std::size_t k = 0; k < m_deferredSheets.size(); ++k) {
            const DeferredSheet& sheet = m_deferredSheets[k];
            const std::size_t end = k + 1 < m_deferredSheets.size() ? m_deferredSheets[k + 1].first : m_deferred.size();
            if (sheet.bookSheet >= book.sheets.size()) continue;
            m_bookSheet = sheet.bookSheet;
            m_links.SetCurrentSheet(sheet.sheetIndex);
            m_shared.clear();
            m_awaiting.reset();
            for (std::size_t i = sheet.first; i < end; ++i) {
                m_stop();
                const DeferredRecord& d = m_deferred[i];
                const ByteView b = Stream().subspan(d.offset, d.size);
                if (d.kind == DeferredRecord::Kind::Formula) {
                    m_awaiting.reset();
                    bool awaits = false;
                    SetReplayed(d.row, d.column, FormulaText(d.row, d.column, b, awaits));
                    if (!awaits) m_awaiting.reset();
                } else {
                    ReadShared(d.kind == DeferredRecord::Kind::Array, b);
                }
            }
        }
    }

    bool Parse(ReadError& error)
    {
        if (!ParseGlobals(error)) return false;
        ResolveStyles();
        PrepareFormulaContext();
        const auto starts = SubstreamStarts();
        std::size_t sheetNumber = 0;
        for (std::size_t i = 0; i < m_sheets.size(); ++i) {
            platform::ThrowIfStopRequested();
            const SheetEntry& entry = m_sheets[i];
            // The Worksheets collection holds worksheets (and dialog sheets,
            // stored alike) and Excel 4 macro sheets, whose cells a person
            // sees like a worksheet's; chart sheets and Visual Basic modules
            // are no part of it.
            if (entry.type != kSheetWorksheet && entry.type != kSheetMacro) continue;
            if (!m_builder.AddSheet(entry.name, entry.visibility)) break;
            ++sheetNumber;
            m_bookSheet = sheetNumber - 1;
            std::size_t start = entry.offset;
            if (!IsBofAt(start)) start = i < starts.size() ? starts[i] : m_stream.size();
            if (IsBofAt(start)) ParseSheet(start, i);
            if (m_budget == 0) m_builder.Fail(ReadErrorKind::Damaged, "damaged workbook stream (sheets overlap)");
            if (m_builder.Failed()) break;
        }
        if (m_builder.Failed()) {
            error = m_builder.Error();
            return false;
        }
        return true;
    }

private:
    ByteView Stream() const { return ByteView(m_stream.data(), m_stream.size()); }

    bool IsBofAt(std::size_t pos) const
    {
        return pos < m_stream.size() && m_stream.size() - pos >= 8 && U16(m_stream.data() + pos) == biff::kBof;
    }

    std::u16string ReadBiff5String(ByteView body, std::size_t pos, unsigned countBytes)
    {
        if (pos > body.size() || body.size() - pos < countBytes) return {};
        std::size_t count = countBytes == 1 ? body[pos] : U16(body.data() + pos);
        pos += countBytes;
        count = std::min(count, body.size() - pos);
        return m_text.Decode(body.data() + pos, count);
    }

    // A string field of a record: BIFF8 Unicode string or BIFF5 8-bit.
    std::u16string ReadString(ByteView body, std::size_t pos, unsigned countBytes)
    {
        if (m_version == kBiff8) {
            std::u16string out;
            biff::ReadUnicodeString(body, pos, countBytes, out);
            return out;
        }
        return ReadBiff5String(body, pos, countBytes);
    }

    std::vector<ByteView> WithContinues(const Record& first, RecordWalker& walker)
    {
        std::vector<ByteView> parts{first.body};
        Record next;
        // CONTINUE records are bounded by the stream: each consumes 4 bytes.
        while (walker.PeekType() == biff::kContinue && walker.Next(next)) {
            m_stop();
            parts.push_back(next.body);
        }
        return parts;
    }

    // Counts the CONTINUE records a sheet read through WithContinues
    // against the budget of sheet records; false when it is spent.
    bool ChargeContinues(const std::vector<ByteView>& parts)
    {
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::size_t cost = 4 + parts[i].size();
            if (cost > m_budget) {
                m_budget = 0;
                return false;
            }
            m_budget -= cost;
        }
        return true;
    }

    bool ParseGlobals(ReadError& error)
    {
        RecordWalker walker(Stream(), 0);
        Record r;
        if (!walker.Next(r)) {
            error = {ReadErrorKind::Damaged, "empty workbook stream"};
            return false;
        }
        if (r.type == biff::kBof2 || r.type == biff::kBof3 || r.type == biff::kBof4) {
            error = {ReadErrorKind::UnsupportedVersion, "workbook of Excel 4 or older"};
            return false;
        }
        if (r.type != biff::kBof || r.body.size() < 4) {
            error = {ReadErrorKind::Damaged, "workbook stream does not start with BOF"};
            return false;
        }
        const std::uint16_t version = U16(r.body.data());
        m_version = version == kBiff8 ? kBiff8 : kBiff5;
        if (version != kBiff8 && version != kBiff5 && version != 0) {
            // Excel reads BIFF7 files that carry 0x0500; a few writers put
            // other values here. Trust the stream layout over the field.
            m_version = r.body.size() >= 16 ? kBiff8 : kBiff5;
        }
        if (m_version == kBiff8) m_text.SetCodePage(1200);
        while (walker.Next(r)) {
            m_stop();
            const ByteView b = r.body;
            switch (r.type) {
            case biff::kEof: m_globalsEnd = walker.Position(); return true;
            case biff::kFilePass: {
                // The first FILEPASS keys the whole stream: the key stream
                // follows the byte position from the stream's start, so
                // everything after it is already clear once it has been
                // applied. A second one cannot key anything again, and
                // applying any key a second time would scramble what is
                // now clear (RC4 is its own inverse), so it is passed over,
                // whatever it says; that also keeps the work to one pass
                // over the stream however many a file repeats.
                if (m_decrypted) break;
                XlsDecryptor decryptor;
                if (!decryptor.Init(b, m_password, error, m_version == kBiff8)) return false;
                const std::size_t resume = walker.Position();
                decryptor.DecryptStream(m_stream);
                m_decrypted = true;
                walker = RecordWalker(Stream(), resume);
                break;
            }
            case biff::kCodePage:
                if (b.size() >= 2 && m_version != kBiff8) m_text.SetCodePage(U16(b.data()));
                break;
            case biff::kDateMode:
                if (b.size() >= 2) m_builder.SetDate1904(U16(b.data()) != 0);
                break;
            case biff::kFormat:
                if (b.size() >= 3) {
                    const std::uint16_t index = U16(b.data());
                    const auto code = ReadString(b, 2, m_version == kBiff8 ? 2 : 1);
                    m_formats[index] = StyleOfFormatCode(code);
                }
                break;
            case biff::kXf:
                if (b.size() >= 4 && m_xfFormats.size() < 65536) m_xfFormats.push_back(U16(b.data() + 2));
                break;
            case biff::kBoundSheet:
                if (b.size() >= 7 && m_sheets.size() < 65536) {
                    SheetEntry entry;
                    entry.offset = U32(b.data());
                    const std::uint8_t state = b[4] & 0x3;
                    entry.visibility = state == 1   ? SheetVisibility::Hidden
                                       : state == 2 ? SheetVisibility::VeryHidden
                                                    : SheetVisibility::Visible;
                    entry.type = b[5];
                    entry.name = ReadString(b, 6, 1);
                    m_sheets.push_back(std::move(entry));
                }
                break;
            // BIFF5 keeps these tables in a layout of its own, which is not
            // read: its formulas with names or 3-D references stay undecoded.
            case biff::kSupBook:
                if (m_version == kBiff8) m_links.AddSupBook(b);
                break;
            case biff::kExternName:
                if (m_version == kBiff8) m_links.AddExternName(b);
                break;
            case biff::kExternSheet:
                if (m_version == kBiff8) m_links.AddExternSheet(b);
                break;
            case biff::kName:
                if (m_version == kBiff8) m_links.AddName(b);
                break;
            case biff::kSst:
                ReadSst(WithContinues(r, walker));
                if (m_builder.Failed()) {
                    error = m_builder.Error();
                    return false;
                }
                break;
            default: break;
            }
        }
        if (walker.Damaged() && m_sheets.empty()) {
            error = {ReadErrorKind::Damaged, "damaged workbook stream"};
            return false;
        }
        m_globalsEnd = walker.Position();
        return true;
    }

    void ReadSst(std::vector<ByteView> parts)
    {
        if (parts.empty() || parts[0].size() < 8) return;
        const std::uint32_t unique = U32(parts[0].data() + 4);
        parts[0] = parts[0].subspan(8);
        std::size_t bytes = 0;
        for (const auto& p : parts) bytes += p.size();
        // Each string takes at least 3 bytes, so a lying count cannot make
        // the table larger than the data.
        const std::size_t count = std::min<std::size_t>(unique, bytes / 3 + 1);
        m_sst.reserve(count);
        biff::ContinuedReader reader(std::move(parts));
        std::u16string text;
        // A string may take up to 128 KB, so look at the stop request more
        // often than per record.
        platform::StopCheck stop(64);
        for (std::size_t i = 0; i < count; ++i) {
            stop();
            if (!reader.UnicodeString(text)) {
                // A string cut short still counts with what was read.
                if (!text.empty()) m_sst.push_back(m_builder.AddText(text));
                break;
            }
            m_sst.push_back(m_builder.AddText(text));
            if (m_builder.Failed()) return;
        }
    }

    // The tables formula tokens refer to, looked up as tokens need them.
    void PrepareFormulaContext()
    {
        std::vector<std::u16string> sheetNames;
        sheetNames.reserve(m_sheets.size());
        for (const auto& sheet : m_sheets) sheetNames.push_back(sheet.name);
        m_links.SetSheetNames(std::move(sheetNames));
        m_formulaContext.biff8 = m_version == kBiff8;
        m_formulaContext.links = &m_links;
        m_formulaContext.decode8 = [this](const std::uint8_t* p, std::size_t n) { return m_text.Decode(p, n); };
    }

    void ResolveStyles()
    {
        m_xfStyles.reserve(m_xfFormats.size());
        for (std::uint16_t format : m_xfFormats) {
            const auto it = m_formats.find(format);
            m_xfStyles.push_back(it != m_formats.end() ? it->second : StyleOfBuiltinFormat(format));
        }
    }

    // Where each substream after the globals begins, in stream order; used
    // when a BOUNDSHEET's offset does not point at a BOF.
    std::vector<std::size_t> SubstreamStarts()
    {
        std::vector<std::size_t> starts;
        RecordWalker walker(Stream(), m_globalsEnd);
        Record r;
        int depth = 0;
        while (walker.Next(r) && starts.size() < m_sheets.size()) {
            m_stop();
            if (r.type == biff::kBof) {
                if (depth == 0) starts.push_back(r.offset);
                if (++depth > kMaxDepth) break;
            } else if (r.type == biff::kEof && depth > 0) {
                --depth;
            }
        }
        return starts;
    }

    NumberStyle StyleOf(const std::uint8_t* cellHeader) const
    {
        const std::uint16_t xf = U16(cellHeader + 4);
        return xf < m_xfStyles.size() ? m_xfStyles[xf] : NumberStyle::General;
    }

    void ParseSheet(std::size_t start, std::size_t sheetIndex)
    {
        if (m_defer) m_deferredSheets.push_back({m_bookSheet, sheetIndex, m_deferred.size()});
        m_links.SetCurrentSheet(sheetIndex);
        m_shared.clear();
        m_awaiting.reset();
        RecordWalker walker(Stream(), start);
        Record r;
        int depth = 0;
        std::size_t pendingString = 0;
        bool pending = false;
        while (walker.Next(r) && !m_builder.Failed()) {
            m_stop();
            // Sheets of a sound file never share records, so all of them
            // together are at most the stream; BOUNDSHEETs that all point at
            // one large sheet must not make the work grow with their number.
            const std::size_t cost = 4 + r.body.size();
            if (cost > m_budget) {
                m_budget = 0;
                return;
            }
            m_budget -= cost;
            const ByteView b = r.body;
            if (r.type == biff::kBof) {
                if (++depth > kMaxDepth) return;
                continue;
            }
            if (r.type == biff::kEof) {
                if (--depth <= 0) return;
                continue;
            }
            if (depth != 1) continue;  // inside an embedded chart
            if (r.type == biff::kString) {
                if (pending) {
                    std::u16string text;
                    if (m_version == kBiff8) {
                        auto parts = WithContinues(r, walker);
                        if (!ChargeContinues(parts)) return;
                        biff::ContinuedReader reader(std::move(parts));
                        std::uint16_t count = 0;
                        std::uint8_t flags = 0;
                        if (reader.U16(count) && reader.U8(flags)) reader.Chars(count, (flags & 1) != 0, text);
                    } else {
                        text = ReadBiff5String(b, 0, 2);
                    }
                    if (Cell* cell = m_builder.CellAt(pendingString)) {
                        if (text.empty()) {
                            cell->kind = CellKind::Text;
                            cell->text = kNoText;
                        } else {
                            const std::uint32_t index = m_builder.AddText(std::move(text));
                            cell = m_builder.CellAt(pendingString);
                            if (cell != nullptr) cell->text = index;
                        }
                    }
                    pending = false;
                }
                continue;
            }
            if (b.size() < 6) continue;
            const std::uint32_t row = U16(b.data());
            const std::uint32_t col = U16(b.data() + 2);
            switch (r.type) {
            case biff::kNumber:
                if (b.size() >= 14) m_builder.AddNumber(row, col, biff::F64(b.data() + 6), StyleOf(b.data()));
                pending = false;
                break;
            case biff::kRk:
                if (b.size() >= 10) m_builder.AddNumber(row, col, biff::RkValue(U32(b.data() + 6)), StyleOf(b.data()));
                pending = false;
                break;
            case biff::kMulRk: {
                // row, first column, (xf, rk) pairs, last column
                const std::size_t pairs = (b.size() - 6) / 6;
                for (std::size_t i = 0; i < pairs && !m_builder.Failed(); ++i) {
                    const std::uint8_t* p = b.data() + 4 + i * 6;
                    const std::uint16_t xf = U16(p);
                    const NumberStyle style = xf < m_xfStyles.size() ? m_xfStyles[xf] : NumberStyle::General;
                    m_builder.AddNumber(row, static_cast<std::uint32_t>(col + i), biff::RkValue(U32(p + 2)), style);
                }
                pending = false;
                break;
            }
            case biff::kLabelSst:
                if (b.size() >= 10) {
                    const std::uint32_t index = U32(b.data() + 6);
                    if (index < m_sst.size() && m_sst[index] != kNoText && !m_builder.Failed())
                        m_builder.AddTextIndex(row, col, m_sst[index]);
                }
                pending = false;
                break;
            case biff::kLabel:
            case biff::kRString:
                m_builder.AddText(row, col, ReadString(b, 6, 2));
                pending = false;
                break;
            case biff::kBoolErr:
                if (b.size() >= 8) {
                    if (b[7] == 0) m_builder.AddBoolean(row, col, b[6] != 0);
                    else m_builder.AddError(row, col, b[6]);
                }
                pending = false;
                break;
            case biff::kFormula:
            case biff::kFormulaBiff4:
                // Some writers give a BIFF5/8 FORMULA the record number of
                // Excel 4's; the layout is this version's all the same.
                pending = false;
                if (b.size() >= 20) ReadFormula(row, col, b, pending, pendingString);
                break;
            case biff::kShrFmla:
            case biff::kArray:
                // Not a cell: a pending string result may still follow.
                if (m_defer) {
                    Defer(r.type == biff::kArray ? DeferredRecord::Kind::Array : DeferredRecord::Kind::Shared, 0, 0, b);
                } else {
                    ReadShared(r.type == biff::kArray, b);
                }
                break;
            default: break;
            }
        }
    }

    void ReadFormula(std::uint32_t row, std::uint32_t col, ByteView b, bool& pending, std::size_t& pendingString)
    {
        Cell cell;
        cell.row = row;
        cell.column = col;
        cell.isFormula = true;
        m_awaiting.reset();
        bool awaits = false;
        if (m_defer) {
            Defer(DeferredRecord::Kind::Formula, row, col, b);
        } else {
            cell.formula = FormulaText(row, col, b, awaits);
        }
        if (m_builder.Failed()) return;
        const std::uint8_t* result = b.data() + 6;
        std::size_t position = 0;
        if (U16(result + 6) != 0xFFFF) {
            cell.kind = CellKind::Number;
            cell.number = biff::F64(result);
            cell.style = StyleOf(b.data());
        } else {
            switch (result[0]) {
            case 0:  // the text follows in a STRING record
                cell.kind = CellKind::Text;
                break;
            case 1:
                cell.kind = CellKind::Boolean;
                cell.number = result[2] != 0 ? 1 : 0;
                break;
            case 2:
                cell.kind = CellKind::Error;
                cell.number = result[2];
                break;
            default:  // an empty text
                cell.kind = CellKind::Text;
                break;
            }
        }
        if (!m_builder.AddCell(cell, &position)) {
            m_awaiting.reset();
            return;
        }
        if (U16(result + 6) == 0xFFFF && result[0] == 0) {
            pendingString = position;
            pending = true;
        }
        if (awaits && m_awaiting) m_awaiting->position = position;
        else m_awaiting.reset();
    }

    // The text of a FORMULA record's own tokens. A formula that only points
    // at a shared or array formula is resolved when that record is known;
    // the first cell of the range comes before its SHRFMLA, so `awaits`
    // tells the caller to keep the cell for it.
    std::uint32_t FormulaText(std::uint32_t row, std::uint32_t col, ByteView b, bool& awaits)
    {
        constexpr std::size_t kTokens = 22;
        if (b.size() < kTokens) return kNoText;
        const std::size_t size = U16(b.data() + 20);
        if (size == 0 || size > b.size() - kTokens) return kNoText;
        const ByteView tokens = b.subspan(kTokens, size);
        if (tokens[0] != 0x01) return TextOf(tokens, row, col, false);  // not ptgExp
        if (tokens.size() < 5) return kNoText;
        const std::uint32_t masterRow = U16(tokens.data() + 1);
        const std::uint32_t masterColumn = U16(tokens.data() + 3);
        const auto it = m_shared.find(SharedKey(masterRow, masterColumn));
        if (it != m_shared.end()) return SharedText(it->second, row, col);
        m_awaiting = Awaiting{0, row, col, masterRow, masterColumn};
        awaits = true;
        return kNoText;
    }

    static std::uint64_t SharedKey(std::uint32_t row, std::uint32_t column)
    {
        return (std::uint64_t{row} << 32) | column;
    }

    void ReadShared(bool array, ByteView b)
    {
        // SHRFMLA: range, reserved byte, use count; ARRAY: range, flags and
        // 4 reserved bytes. Then both hold the token count and the tokens.
        const std::size_t header = array ? 14 : 10;
        if (b.size() < header) return;
        SharedFormula f;
        f.firstRow = U16(b.data());
        f.lastRow = U16(b.data() + 2);
        f.firstColumn = b[4];
        f.lastColumn = b[5];
        f.array = array;
        const std::size_t size = U16(b.data() + header - 2);
        if (size == 0 || size > b.size() - header) return;
        f.tokens = b.subspan(header, size);
        // The cells name the formula by the cell whose FORMULA came just
        // before this record; that is usually, not always, the range's
        // top-left cell.
        std::uint32_t keyRow = f.firstRow;
        std::uint32_t keyColumn = f.firstColumn;
        const bool owned = m_awaiting && Contains(f, m_awaiting->masterRow, m_awaiting->masterColumn);
        if (owned) {
            keyRow = m_awaiting->masterRow;
            keyColumn = m_awaiting->masterColumn;
        }
        SharedFormula* stored = &f;
        if (m_shared.size() < kMaxSharedPerSheet) {
            stored = &m_shared[SharedKey(keyRow, keyColumn)];
            *stored = std::move(f);
        }
        if (owned) {
            const Awaiting a = *m_awaiting;
            const std::uint32_t text = SharedText(*stored, a.row, a.column);
            if (m_replayBook != nullptr) {
                SetReplayed(a.row, a.column, text);
            } else if (Cell* cell = m_builder.CellAt(a.position)) {
                cell->formula = text;
            }
        }
        m_awaiting.reset();
    }

    static bool Contains(const SharedFormula& f, std::uint32_t row, std::uint32_t col)
    {
        return row >= f.firstRow && row <= f.lastRow && col >= f.firstColumn && col <= f.lastColumn;
    }

    std::uint32_t SharedText(SharedFormula& f, std::uint32_t row, std::uint32_t col)
    {
        if (!Contains(f, row, col)) return kNoText;
        // An array formula reads the same in each of its cells; a shared
        // one's relative references move with the cell.
        if (!f.decoded) {
            f.decoded = true;
            if (f.array) {
                f.arrayText = TextOf(f.tokens, f.firstRow, f.firstColumn, false);
            } else {
                BiffFormulaContext context = m_formulaContext;
                context.shared = true;
                f.prepared = BiffFormulaDecoder(context).Prepare(f.tokens);
            }
        }
        if (f.array) return f.arrayText;
        if (!f.prepared) return kNoText;
        auto text = f.prepared->TextAt(row, col);
        return text ? AddFormulaText(std::move(*text)) : kNoText;
    }

    std::uint32_t TextOf(ByteView tokens, std::uint32_t row, std::uint32_t col, bool shared)
    {
        BiffFormulaContext context = m_formulaContext;
        context.row = row;
        context.column = col;
        context.shared = shared;
        auto text = BiffFormulaDecoder(context).Decode(tokens);
        return text ? AddFormulaText(std::move(*text)) : kNoText;
    }

    std::uint32_t AddFormulaText(std::u16string text)
    {
        if (m_replayBook == nullptr) return m_builder.AddText(std::move(text));
        m_replayBudget.Charge(text.size() * sizeof(char16_t) + sizeof text, "formula texts");
        return m_replayBook->AppendText(std::move(text));
    }

    // A decoded formula for the finished workbook's cell at (row, column),
    // which holds the last record written for it: a formula whose text is
    // set by every one of its records in turn, or another kind of cell.
    void SetReplayed(std::uint32_t row, std::uint32_t column, std::uint32_t text)
    {
        auto& cells = m_replayBook->sheets[m_bookSheet].cells;
        const auto it = std::lower_bound(cells.begin(), cells.end(), std::pair{row, column},
                                         [](const Cell& c, const std::pair<std::uint32_t, std::uint32_t>& p) {
                                             return c.row != p.first ? c.row < p.first : c.column < p.second;
                                         });
        if (it != cells.end() && it->row == row && it->column == column && it->isFormula) it->formula = text;
    }

    // Notes a record whose formula is decoded on request; the record lies
    // in the stream, which the parser keeps.
    void Defer(DeferredRecord::Kind kind, std::uint32_t row, std::uint32_t column, ByteView body)
    {
        if (ReadBudget* budget = m_builder.Budget()) budget->Charge(sizeof(DeferredRecord), "formula records");
        const auto offset = static_cast<std::size_t>(body.data() - m_stream.data());
        m_deferred.push_back({kind, row, column, offset, body.size()});
    }

    std::vector<std::uint8_t> m_stream;
    WorkbookBuilder& m_builder;
    std::uint16_t m_version = kBiff8;
    std::size_t m_globalsEnd = 0;
    biff::CodePageText m_text;
    std::map<std::uint16_t, NumberStyle> m_formats;
    std::vector<std::uint16_t> m_xfFormats;
    std::vector<NumberStyle> m_xfStyles;
    std::vector<SheetEntry> m_sheets;
    std::vector<std::uint32_t> m_sst;
    std::u16string m_password;
    bool m_decrypted = false;
    std::size_t m_budget = 0;
    // Every record costs little, a FORMULA up to a formula's decoding.
    platform::StopCheck m_stop{256};

    // What formula tokens refer to.
    BiffLinks m_links;
    BiffFormulaContext m_formulaContext;
    // The current sheet's shared and array formulas, and the cell whose
    // formula waits for the one that follows it.
    struct Awaiting {
        std::size_t position;
        std::uint32_t row, column, masterRow, masterColumn;
    };
    std::map<std::uint64_t, SharedFormula> m_shared;
    std::optional<Awaiting> m_awaiting;

    // Deferred formula texts: the records in stream order, and where each
    // sheet's begin.
    bool m_defer = false;
    std::vector<DeferredRecord> m_deferred;
    std::vector<DeferredSheet> m_deferredSheets;
    // The sheet being read or decoded, as the workbook numbers it.
    std::size_t m_bookSheet = 0;
    // Set while deferred texts are decoded into a finished workbook.
    Workbook* m_replayBook = nullptr;
    ReadBudget m_replayBudget;
};

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

BiffReader::BiffReader(const WorkbookLimits& limits, bool deferFormulaTexts)
    : m_limits(limits), m_deferFormulaTexts(deferFormulaTexts)
{
}

bool BiffReader::Read(ByteView bytes, Workbook& out, ReadError& error)
{
    CompoundFile file;
    if (!file.Open(bytes, error)) return false;
    std::string streamName;
    for (const auto& name : file.RootNames()) {
        const std::string lower = Lower(name);
        if (lower == "workbook") {
            streamName = name;
            break;
        }
        if (lower == "book" && streamName.empty()) streamName = name;
    }
    if (streamName.empty()) {
        if (file.HasStream("EncryptedPackage")) error = {ReadErrorKind::Encrypted, "protected by a password"};
        else error = {ReadErrorKind::NotThisFormat, "no workbook stream in the compound file"};
        return false;
    }
    std::vector<std::uint8_t> stream;
    if (!file.ReadStream(streamName, stream, error)) return false;
    return ReadStream(std::move(stream), out, error);
}

bool BiffReader::ReadStream(std::vector<std::uint8_t> stream, Workbook& out, ReadError& error)
{
    WorkbookBuilder builder(m_limits);
    // An encrypted workbook is tried with Excel's default password only:
    // the product never asks for one.
    auto parser = std::make_shared<StreamParser>(std::move(stream), builder, std::u16string(kDefaultOfficePassword),
                                                 m_deferFormulaTexts);
    if (!parser->Parse(error)) return false;
    out = builder.Finish();
    if (parser->HasDeferred()) out.DeferFormulaTexts(std::move(parser));
    return true;
}

}  // namespace office
