// Helpers for the built-in Excel's tests: builders for BIFF records and
// workbook streams, writers for compound files (libgsf) and zip packages
// (the hand-written zip writer, through zipfixture.h) so that tests make the
// exact workbooks they need, and the one caller for IDispatch::Invoke (Word's
// and Excel's tests) with arguments in declared order.
#pragma once

#include "platform/oleauto.h"

#include "../zipfixture.h"

#include <gsf/gsf.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace excelfixtures {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
inline void PutF64(Bytes& b, double d)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}
// UTF-16 code units, little-endian unless bigEndian, after a byte-order
// mark if bom.
inline Bytes Utf16(std::u16string_view s, bool bigEndian = false, bool bom = false)
{
    Bytes b;
    for (std::size_t i = bom ? 0 : 1; i <= s.size(); ++i) {
        const unsigned c = i == 0 ? 0xFEFFu : s[i - 1];
        Put16(b, bigEndian ? ((c & 0xFF) << 8) | (c >> 8) : c);
    }
    return b;
}
// 16-bit words in order.
inline Bytes Words(std::initializer_list<unsigned> words)
{
    Bytes b;
    for (unsigned w : words) Put16(b, w);
    return b;
}
// BIFF8 string: 8-bit when every character fits, else 16-bit. A BIFF5
// string (biff8 false) has no option byte and one byte a character.
inline void PutString8(Bytes& b, const std::u16string& s, unsigned countBytes, bool biff8 = true)
{
    if (countBytes == 1) b.push_back(static_cast<std::uint8_t>(s.size()));
    else Put16(b, static_cast<unsigned>(s.size()));
    bool wide = false;
    for (char16_t c : s) wide = wide || (biff8 && c > 0xFF);
    if (biff8) b.push_back(wide ? 1 : 0);
    for (char16_t c : s) {
        if (wide) Put16(b, c);
        else b.push_back(static_cast<std::uint8_t>(c));
    }
}

// A workbook stream under construction.
class Stream {
public:
    std::size_t Record(unsigned type, const Bytes& body)
    {
        const std::size_t at = m_bytes.size();
        Put16(m_bytes, type);
        Put16(m_bytes, static_cast<unsigned>(body.size()));
        m_bytes.insert(m_bytes.end(), body.begin(), body.end());
        return at;
    }
    void Bof(unsigned version, unsigned kind)
    {
        Bytes b = Words({version, kind, 0x0DBB, 0x07CC});
        if (version == 0x0600) b.insert(b.end(), {0, 0, 0, 0, 6, 0, 0, 0});
        Record(0x0809, b);
    }
    void Eof() { Record(0x000A, {}); }
    // BOUNDSHEET with a placeholder offset; returns where to patch it.
    std::size_t BoundSheet(const std::u16string& name, unsigned state, bool biff8 = true)
    {
        Bytes b;
        Put32(b, 0);
        b.push_back(static_cast<std::uint8_t>(state));
        b.push_back(0);
        PutString8(b, name, 1, biff8);
        return Record(0x0085, b) + 4;
    }
    void PatchOffset(std::size_t at, std::size_t value)
    {
        for (std::size_t i = 0; i < 4; ++i) m_bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void Number(unsigned row, unsigned col, double v, unsigned xf = 0)
    {
        Bytes b = Words({row, col, xf});
        PutF64(b, v);
        Record(0x0203, b);
    }
    void LabelSst(unsigned row, unsigned col, std::uint32_t index)
    {
        Record(0x00FD, Words({row, col, 0, index & 0xFFFF, index >> 16}));
    }
    // LABEL: in BIFF8 a BIFF8 string, else one byte a character (the code
    // page's bytes).
    void Label(unsigned row, unsigned col, const std::u16string& text, bool biff8 = true)
    {
        Bytes b = Words({row, col, 0});
        PutString8(b, text, 2, biff8);
        Record(0x0204, b);
    }
    // FORMULA with a number result and the given tokens.
    void Formula(unsigned row, unsigned col, double value, const Bytes& tokens)
    {
        Bytes b = Words({row, col, 0});
        PutF64(b, value);
        const Bytes rest = Words({0, 0, 0, static_cast<unsigned>(tokens.size())});  // flags, chain, size
        b.insert(b.end(), rest.begin(), rest.end());
        b.insert(b.end(), tokens.begin(), tokens.end());
        Record(0x0006, b);
    }
    // SHRFMLA for the range, with tokens whose relative references are
    // offsets from each cell of it.
    void SharedFormula(unsigned firstRow, unsigned lastRow, unsigned firstCol, unsigned lastCol, const Bytes& tokens)
    {
        Bytes b = Words({firstRow, lastRow});
        const auto cells = static_cast<std::uint8_t>((lastRow - firstRow + 1) * (lastCol - firstCol + 1));
        b.insert(b.end(), {static_cast<std::uint8_t>(firstCol), static_cast<std::uint8_t>(lastCol), 0, cells});
        Put16(b, static_cast<unsigned>(tokens.size()));
        b.insert(b.end(), tokens.begin(), tokens.end());
        Record(0x04BC, b);
    }
    std::size_t Size() const { return m_bytes.size(); }
    const Bytes& Data() const { return m_bytes; }
    Bytes& Data() { return m_bytes; }

private:
    Bytes m_bytes;
};

// A compound file with the given root streams, written by libgsf.
inline Bytes CompoundFileOf(const std::vector<std::pair<std::string, Bytes>>& streams)
{
    gsf_init();
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* ole = gsf_outfile_msole_new(memory);
    for (const auto& [name, data] : streams) {
        GsfOutput* child = gsf_outfile_new_child(ole, name.c_str(), FALSE);
        gsf_output_write(child, data.size(), data.data());
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
    Bytes out(bytes, bytes + gsf_output_size(memory));
    g_object_unref(memory);
    return out;
}

// A zip package with the given entries, deflated.
inline Bytes ZipOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::vector<ziptest::Entry> list;
    for (const auto& [name, text] : entries) list.push_back({name, text});
    return ziptest::BuildZip(list);
}

// A sheet of a BIFF5/BIFF8 workbook: BOUNDSHEET state and type (0
// worksheet, 1 macro sheet, 2 chart, 6 module), the substream's BOF kind,
// and its records.
struct BiffSheet {
    std::u16string name;
    unsigned state = 0;
    std::function<void(Stream&)> cells = {};
    unsigned type = 0;
    unsigned bofKind = 0x10;
};

// A workbook stream: globals (after the BOF and an optional FILEPASS), one
// BOUNDSHEET per sheet, then the sheets' substreams.
inline Bytes BiffStream(const std::vector<BiffSheet>& sheets, const std::function<void(Stream&)>& globals = {},
                        unsigned version = 0x0600, const Bytes* filePass = nullptr)
{
    Stream s;
    s.Bof(version, 0x0005);
    if (filePass != nullptr) s.Record(0x002F, *filePass);
    if (globals) globals(s);
    std::vector<std::size_t> patches;
    for (const auto& sheet : sheets) {
        patches.push_back(s.BoundSheet(sheet.name, sheet.state, version == 0x0600));
        s.Data()[patches.back() + 5] = static_cast<std::uint8_t>(sheet.type);
    }
    s.Eof();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        s.PatchOffset(patches[i], s.Size());
        s.Bof(version, sheets[i].bofKind);
        if (sheets[i].cells) sheets[i].cells(s);
        s.Eof();
    }
    return s.Data();
}

inline Bytes Xls(const Bytes& stream, unsigned version = 0x0600)
{
    return CompoundFileOf({{version == 0x0600 ? "Workbook" : "Book", stream}});
}

// ---- automation calls ---------------------------------------------------

// An argument value; Missing() is VT_ERROR DISP_E_PARAMNOTFOUND.
class Arg {
public:
    Arg() { VariantInit(&v); }
    static Arg Missing() { return Make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }); }
    static Arg Str(const std::u16string& s) { return Make(VT_BSTR, [&](VARIANT& v) { v.bstrVal = SysAllocStringFrom(s); }); }
    static Arg I2(short n) { return Make(VT_I2, [n](VARIANT& v) { v.iVal = n; }); }
    static Arg I4(long n) { return Make(VT_I4, [n](VARIANT& v) { v.lVal = static_cast<LONG>(n); }); }
    static Arg Bool(bool b) { return Make(VT_BOOL, [b](VARIANT& v) { v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }); }
    static Arg Disp(IDispatch* d)
    {
        if (d != nullptr) d->AddRef();
        return Make(VT_DISPATCH, [d](VARIANT& v) { v.pdispVal = d; });
    }
    Arg(const Arg& o) : Arg() { VariantCopy(&v, &o.v); }
    Arg& operator=(const Arg& o)
    {
        if (this != &o) {
            VariantClear(&v);
            VariantCopy(&v, &o.v);
        }
        return *this;
    }
    ~Arg() { VariantClear(&v); }
    VARIANT v;

private:
    template <typename Set>
    static Arg Make(VARTYPE type, Set set)
    {
        Arg a;
        a.v.vt = type;
        set(a.v);
        return a;
    }
};

struct CallResult {
    HRESULT hr = S_OK;
    VARIANT value;
    std::u16string description;
    SCODE scode = 0;
    CallResult() { VariantInit(&value); }
    CallResult(const CallResult&) = delete;
    CallResult& operator=(const CallResult&) = delete;
    CallResult(CallResult&& o) noexcept : hr(o.hr), value(o.value), description(std::move(o.description)), scode(o.scode)
    {
        VariantInit(&o.value);
    }
    ~CallResult() { VariantClear(&value); }
    // Takes the dispatch result out (caller releases it).
    IDispatch* TakeDispatch()
    {
        if (value.vt != VT_DISPATCH) return nullptr;
        IDispatch* d = value.pdispVal;
        value.vt = VT_EMPTY;
        return d;
    }
};

// Calls a member with arguments in declared order, as a COM caller does
// (reversed into rgvarg; a put gets the named DISPID_PROPERTYPUT). byRef
// passes each as a reference to a VARIANT, the way Kestrel calls Word.
inline CallResult Call(IDispatch* target, DISPID id, WORD flags, std::vector<Arg> args = {}, bool byRef = false)
{
    CallResult r;
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        VARIANT ref = it->v;  // shallow: args still owns what it points to
        if (byRef) {
            ref.vt = VT_BYREF | VT_VARIANT;
            ref.pvarVal = &it->v;
        }
        reversed.push_back(ref);
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT argErr = 0;
    r.hr = target->Invoke(id, flags, &params, &r.value, &info, &argErr);
    if (info.bstrDescription != nullptr) r.description = std::u16string(BstrView(info.bstrDescription));
    r.scode = info.scode;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return r;
}

}  // namespace excelfixtures
