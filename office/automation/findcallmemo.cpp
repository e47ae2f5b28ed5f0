// Remembered Find.Execute argument lists (see findcallmemo.h).
#include "office/automation/findcallmemo.h"

#include <cstring>
#include <string_view>

namespace office {

namespace {

// The argument as CDispArgs sees it: a variant passed by reference to a
// variant is looked through once.
inline const VARIANT* RawArg(const DISPPARAMS* params, UINT index)
{
    const VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
    return v->vt == (VT_BYREF | VT_VARIANT) ? v->pvarVal : v;
}

inline BSTR BstrOf(const VARIANT* v)
{
    if ((v->vt & VT_BYREF) == 0) return v->bstrVal;
    return v->pbstrVal != nullptr ? *v->pbstrVal : nullptr;
}

// The value of a scalar argument as bits, by-reference values looked
// through; false for a kind that is not compared (then the call is decoded
// every time).
bool ScalarBits(const VARIANT* v, std::uint64_t& bits)
{
    const bool ref = (v->vt & VT_BYREF) != 0;
    // Every by-reference member shares the union's one pointer.
    if (ref && v->plVal == nullptr) return false;
    switch (v->vt & ~VT_BYREF) {
    case VT_BOOL: bits = static_cast<std::uint16_t>(ref ? *v->pboolVal : v->boolVal); return true;
    case VT_I2: bits = static_cast<std::uint16_t>(ref ? *v->piVal : v->iVal); return true;
    case VT_I4: bits = static_cast<std::uint32_t>(ref ? *v->plVal : v->lVal); return true;
    case VT_ERROR: bits = static_cast<std::uint32_t>(ref ? *v->pscode : v->scode); return true;
    case VT_R8: {
        const double d = ref ? *v->pdblVal : v->dblVal;
        std::memcpy(&bits, &d, sizeof d);
        return true;
    }
    default: return false;
    }
}

// Which of a variant's eight value bytes a scalar of type `vt` (one that
// ScalarBits takes) fills.
std::uint64_t ValueMask(VARTYPE vt)
{
    std::size_t size = sizeof(double);
    if (vt == VT_BOOL || vt == VT_I2) size = sizeof(SHORT);
    if (vt == VT_I4 || vt == VT_ERROR) size = sizeof(LONG);
    std::uint64_t mask = 0;
    std::memset(&mask, 0xFF, size);
    return mask;
}

inline std::uint64_t ValueBytes(const VARIANT* v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v->dblVal, sizeof bits);
    return bits;
}

// Whether `n` units at `a` and `b` are the same. Keywords and clearing
// texts are short: compared in place, eight bytes at a time, rather than
// through a call.
inline bool SameUnits(const char16_t* a, const char16_t* b, std::size_t n)
{
    if (n > 64) return std::memcmp(a, b, n * sizeof(char16_t)) == 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        if (x != y) return false;
    }
    for (; i < n; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

bool Listed(const DISPPARAMS* params)
{
    return params != nullptr && params->rgvarg != nullptr && params->cArgs != 0 &&
           params->cArgs <= FindCallMemo::kMaxArgs;
}

}  // namespace

bool FindCallMemo::KeyOf(const DISPPARAMS* params, std::uint64_t& key)
{
    if (!Listed(params)) return false;
    const VARIANT* v = RawArg(params, 0);
    if (v == nullptr) return false;
    std::uint64_t first = 0;
    if ((v->vt & ~VT_BYREF) == VT_BSTR) {
        first = std::hash<std::u16string_view>{}(BstrView(BstrOf(v)));
    } else if (!ScalarBits(v, first)) {
        return false;
    }
    key = first ^ ((std::uint64_t{params->cArgs} << 16 | v->vt) * 0x9E3779B97F4A7C15u);
    return true;
}

bool FindCallMemo::Matches(const DISPPARAMS* params, const Entry& entry)
{
    // Runs for every call: it compares in argument order and stops at the
    // first difference.
    if (!Listed(params) || params->cArgs != entry.count) return false;
    const VARIANT* last = params->rgvarg + (params->cArgs - 1);
    for (UINT i = 0; i < entry.count; ++i) {
        const VARIANT* v = last - i;
        if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
        const ArgKey& key = entry.args[i];
        if (v == nullptr || v->vt != key.vt) return false;
        switch (key.kind) {
        case ArgKey::Value:
            if ((ValueBytes(v) & key.mask) != key.bits) return false;
            break;
        case ArgKey::Text: {
            const BSTR b = BstrOf(v);
            if (SysStringLen(b) != key.length) return false;
            if (!SameUnits(b, entry.texts.data() + key.offset, key.length)) return false;
            break;
        }
        case ArgKey::Reference: {
            std::uint64_t bits = 0;
            if (!ScalarBits(v, bits) || bits != key.bits) return false;
            break;
        }
        }
    }
    return true;
}

std::shared_ptr<const FindCallMemo::Entry> FindCallMemo::Find(const DISPPARAMS* params) const
{
    std::uint64_t key = 0;
    if (!KeyOf(params, key)) return nullptr;
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) return nullptr;
    for (const auto& entry : it->second) {
        if (Matches(params, *entry)) return entry;
    }
    return nullptr;
}

std::shared_ptr<const FindCallMemo::Entry> FindCallMemo::Remember(const DISPPARAMS* params,
                                                                  std::shared_ptr<const PreparedFind> call)
{
    std::uint64_t key = 0;
    if (!KeyOf(params, key)) return nullptr;
    auto entry = std::make_shared<Entry>();
    entry->count = params->cArgs;
    for (UINT i = 0; i < entry->count; ++i) {
        const VARIANT* v = RawArg(params, i);
        if (v == nullptr) return nullptr;
        ArgKey& arg = entry->args[i];
        arg.vt = v->vt;
        if ((v->vt & ~VT_BYREF) == VT_BSTR) {
            const std::u16string_view text = BstrView(BstrOf(v));
            if (text.size() > 0xFFFFFFFFu - entry->texts.size()) return nullptr;
            arg.offset = static_cast<std::uint32_t>(entry->texts.size());
            arg.length = static_cast<std::uint32_t>(text.size());
            entry->texts.append(text);
        } else if ((v->vt & VT_BYREF) == 0) {
            if (!ScalarBits(v, arg.bits)) return nullptr;
            arg.kind = ArgKey::Value;
            arg.mask = ValueMask(v->vt);
            arg.bits = ValueBytes(v) & arg.mask;
        } else {
            if (!ScalarBits(v, arg.bits)) return nullptr;
            arg.kind = ArgKey::Reference;
        }
    }
    entry->call = std::move(call);
    if (m_size >= kMaxEntries) {
        m_entries.clear();
        m_size = 0;
        m_sequence.clear();
        ++m_generation;
    }
    m_entries[key].push_back(entry);
    ++m_size;
    return entry;
}

void FindCallMemo::KeepSequence(std::vector<const Entry*> sequence, std::uint64_t generation)
{
    // A sequence that saw the memo start again may name entries it freed.
    if (generation != m_generation || sequence.empty()) return;
    m_sequence = std::move(sequence);
}

}  // namespace office
