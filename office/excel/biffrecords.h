// The record layer of Excel's binary format (BIFF5/7 and BIFF8): a walker
// over the records of a workbook stream, little-endian field access that is
// checked against the record's length, and a reader for data that a record
// continues in CONTINUE records (the shared string table, long strings).
#pragma once

#include "office/text/byteview.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace office::biff {

enum RecordType : std::uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kExternSheet = 0x0017,
    kName = 0x0018,
    kExternName = 0x0023,
    kDateMode = 0x0022,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kInterfaceHdr = 0x00E1,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kRrdHead = 0x0138,
    kUsrExcl = 0x0194,
    kFileLock = 0x0195,
    kRrdInfo = 0x0196,
    kSupBook = 0x01AE,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kArray = 0x0221,
    kRk = 0x027E,
    kFormat = 0x041E,
    kFormulaBiff4 = 0x0406,
    kShrFmla = 0x04BC,
    kBof = 0x0809,
    // BOF records of Excel 2 to 4, whose files OldBiffReader reads.
    kBof2 = 0x0009,
    kBof3 = 0x0209,
    kBof4 = 0x0409,
};

struct Record {
    std::uint16_t type = 0;
    std::size_t offset = 0;  // of the record header in the stream
    ByteView body;
};

inline std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double F64(const std::uint8_t* p);
// An RK number: a 30-bit integer or the high bits of a double, optionally
// divided by 100.
double RkValue(std::uint32_t rk);

// Walks the records of a stream from an offset. Every record's length is
// checked against the bytes that remain; a record that runs past the end
// stops the walk and marks it damaged.
class RecordWalker {
public:
    RecordWalker(ByteView stream, std::size_t start);
    bool Next(Record& record);
    // The type of the next record without consuming it (0 at the end).
    std::uint16_t PeekType() const;
    bool Damaged() const { return m_damaged; }
    std::size_t Position() const { return m_pos; }

private:
    ByteView m_stream;
    std::size_t m_pos;
    bool m_damaged = false;
};

// Reads data spread over a record and the CONTINUE records after it. The
// fixed-size fields may cross a boundary as plain bytes; the characters of
// a string that cross one start the next part with a fresh option byte
// that says whether they are 8- or 16-bit.
class ContinuedReader {
public:
    explicit ContinuedReader(std::vector<ByteView> parts);
    bool U8(std::uint8_t& out);
    bool U16(std::uint16_t& out);
    bool U32(std::uint32_t& out);
    bool Skip(std::size_t count);
    // Appends `count` characters, 16-bit when `wide`.
    bool Chars(std::size_t count, bool wide, std::u16string& out);
    // Reads an unformatted or rich string as BIFF8 stores it (16-bit count,
    // option flags, optional run count and phonetic block), skipping rich
    // text runs and phonetic data.
    bool UnicodeString(std::u16string& out);
    bool AtEnd() const;

private:
    bool NextPart();
    std::vector<ByteView> m_parts;
    std::size_t m_part = 0;
    std::size_t m_pos = 0;
};

// Reads a BIFF8 string (count of `countBytes` = 1 or 2 bytes, option flags,
// characters, rich runs and phonetic data skipped) that lies within one
// record body, from `pos`, which is advanced past it.
bool ReadUnicodeString(ByteView body, std::size_t& pos, unsigned countBytes, std::u16string& out);

}  // namespace office::biff
