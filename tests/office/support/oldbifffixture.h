// A record writer for the workbooks of Excel 2, 3 and 4, so that tests
// build exactly the stream they need: worksheet files of each version and
// Excel 4 workbooks whose sheets follow a header record inside the globals.
// Each method writes the record in the layout of the writer's version.
#pragma once

#include "support/excelfixtures.h"

#include <functional>
#include <string>

namespace excelfixtures {

class OldBiffWriter {
public:
    // `version` is 2, 3 or 4.
    explicit OldBiffWriter(int version) : m_version(version) {}

    std::size_t Record(unsigned type, const Bytes& body) { return m_stream.Record(type, body); }

    // BOF of a substream: 0x0010 worksheet, 0x0020 chart, 0x0040 macro
    // sheet, 0x0100 the globals of an Excel 4 workbook.
    void Bof(unsigned kind)
    {
        Bytes b = Words({0, kind});
        if (m_version > 2) Put16(b, 0x15F2);
        Record(m_version == 2 ? 0x0009 : m_version == 3 ? 0x0209 : 0x0409, b);
    }
    void Eof() { Record(0x000A, {}); }

    void CodePage(unsigned codePage) { Record(0x0042, Words({codePage})); }
    void DateMode1904() { Record(0x0022, Words({1})); }
    // A number format; its index is its place among the FORMAT records.
    void Format(const std::string& code)
    {
        Bytes b;
        if (m_version == 4) Put16(b, 0);
        PutBytes(b, code, 1);
        Record(m_version == 4 ? 0x041E : 0x001E, b);
    }
    // An XF record that uses format `format`.
    void Xf(unsigned format)
    {
        if (m_version == 2) {
            Record(0x0043, {0, 0, static_cast<std::uint8_t>(format & 0x3F), 0});
            return;
        }
        Bytes b = {0, static_cast<std::uint8_t>(format), 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        b.resize(m_version == 4 ? 16 : 12, 0);
        Record(m_version == 3 ? 0x0243 : 0x0443, b);
    }
    void Ixfe(unsigned xf) { Record(0x0044, Words({xf})); }

    // The start of a cell record: position and XF (Excel 2: the three
    // attribute bytes, with the XF index, or 63 for one in an IXFE record
    // written before, and a copy of the format index).
    Bytes Cell(unsigned row, unsigned col, unsigned xf, unsigned format = 0) const
    {
        Bytes b = Words({row, col});
        if (m_version == 2) {
            b.push_back(static_cast<std::uint8_t>(xf > 62 ? 63 : xf));
            b.push_back(static_cast<std::uint8_t>(format & 0x3F));
            b.push_back(0);
        } else {
            Put16(b, xf);
        }
        return b;
    }

    void Number(unsigned row, unsigned col, double v, unsigned xf = 0, unsigned format = 0)
    {
        Bytes b = Cell(row, col, xf, format);
        PutF64(b, v);
        Record(m_version == 2 ? 0x0003 : 0x0203, b);
    }
    // A whole number as Excel 2 (INTEGER) or Excel 3 and 4 (RK) store it.
    void Integer(unsigned row, unsigned col, unsigned v, unsigned xf = 0)
    {
        Bytes b = Cell(row, col, xf);
        if (m_version == 2) {
            Put16(b, v);
            Record(0x0002, b);
        } else {
            Put32(b, (v << 2) | 2u);
            Record(0x027E, b);
        }
    }
    // Text in the file's code page, given as its bytes.
    void Label(unsigned row, unsigned col, const std::string& bytes, unsigned xf = 0)
    {
        Bytes b = Cell(row, col, xf);
        PutBytes(b, bytes, m_version == 2 ? 1 : 2);
        Record(m_version == 2 ? 0x0004 : 0x0204, b);
    }
    void BoolErr(unsigned row, unsigned col, unsigned value, bool isError)
    {
        Bytes b = Cell(row, col, 0);
        b.push_back(static_cast<std::uint8_t>(value));
        b.push_back(isError ? 1 : 0);
        Record(m_version == 2 ? 0x0005 : 0x0205, b);
    }
    // A formula whose result is `result`, 8 bytes (TaggedResult, or a
    // number's bytes). Its tokens (=1+1) are not what the reader shows.
    void Formula(unsigned row, unsigned col, const Bytes& result, unsigned xf = 0, unsigned format = 0)
    {
        Bytes b = Cell(row, col, xf, format);
        b.insert(b.end(), result.begin(), result.end());
        const Bytes tokens = {0x1E, 1, 0, 0x1E, 1, 0, 0x03};
        if (m_version == 2) {
            b.push_back(0);  // option flags
            b.push_back(static_cast<std::uint8_t>(tokens.size()));
        } else {
            Put16(b, 0);
            Put16(b, static_cast<unsigned>(tokens.size()));
        }
        b.insert(b.end(), tokens.begin(), tokens.end());
        Record(m_version == 2 ? 0x0006 : m_version == 3 ? 0x0206 : 0x0406, b);
    }
    // The text result of the formula just written.
    void String(const std::string& bytes)
    {
        Bytes b;
        PutBytes(b, bytes, m_version == 2 ? 1 : 2);
        Record(m_version == 2 ? 0x0007 : 0x0207, b);
    }

    // 0 text (a STRING record follows), 1 boolean, 2 error.
    static Bytes TaggedResult(unsigned kind, unsigned value = 0)
    {
        return {static_cast<std::uint8_t>(kind), 0, static_cast<std::uint8_t>(value), 0, 0, 0, 0xFF, 0xFF};
    }

    // Excel 4 workbook globals: the list of sheet names, and the header
    // that comes right before a sheet's substream.
    void BoundSheet(const std::string& name)
    {
        Bytes b;
        PutBytes(b, name, 1);
        Record(0x0085, b);
    }
    std::size_t SheetHeader(const std::string& name)
    {
        Bytes b;
        Put32(b, 0);  // the substream's length, patched by EndSheet
        PutBytes(b, name, 1);
        const std::size_t at = Record(0x008F, b) + 4;
        m_sheetStart = Size();
        return at;
    }
    void PatchSheetLength(std::size_t at) { m_stream.PatchOffset(at, Size() - m_sheetStart); }

    std::size_t Size() const { return m_stream.Size(); }
    const Bytes& Data() const { return m_stream.Data(); }
    Bytes& Data() { return m_stream.Data(); }

    static void PutBytes(Bytes& b, const std::string& bytes, unsigned countBytes)
    {
        if (countBytes == 1) b.push_back(static_cast<std::uint8_t>(bytes.size()));
        else Put16(b, static_cast<unsigned>(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
    }

private:
    int m_version;
    Stream m_stream;
    std::size_t m_sheetStart = 0;
};

// A file of one substream of `kind` (a worksheet unless told) with the
// records `body` writes.
inline Bytes OneSheet(int version, const std::function<void(OldBiffWriter&)>& body, unsigned kind = 0x0010)
{
    OldBiffWriter w(version);
    w.Bof(kind);
    if (body) body(w);
    w.Eof();
    return w.Data();
}

}  // namespace excelfixtures
