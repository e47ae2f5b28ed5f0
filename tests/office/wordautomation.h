// Word's automation calls as Kestrel makes them (every argument a reference
// to a VARIANT, missing ones VT_ERROR DISP_E_PARAMNOTFOUND), over the one
// Invoke caller in support/excelfixtures.h.
#pragma once

#include "office/automation/wordapplication.h"
#include "office/word/wordfind.h"
#include "support/excelfixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace wordtest {

using excelfixtures::Arg;
using excelfixtures::Call;
using excelfixtures::CallResult;

// A property get or method call returning an object (or null); the caller
// releases it.
inline IDispatch* Get(IDispatch* from, DISPID id)
{
    return Call(from, id, DISPATCH_PROPERTYGET).TakeDispatch();
}

// Find.Execute's five switches, in the engine's order.
using Switches = office::FindOptions;

// Find.Execute with Kestrel's fifteen arguments; the value is VT_BOOL found.
inline CallResult Execute(IDispatch* find, std::u16string_view text, const Switches& s = {},
                          std::u16string_view replaceWith = u"", short replace = 0)
{
    const std::u16string what(text), with(replaceWith);
    return Call(
        find, 0x1BC, DISPATCH_METHOD,
        {Arg::Str(what), Arg::Bool(s.matchCase), Arg::Bool(s.matchWholeWord), Arg::Bool(s.matchWildcards),
         Arg::Bool(s.matchSoundsLike), Arg::Bool(s.matchAllWordForms), Arg::Bool(true), Arg::I2(2), Arg::Bool(false),
         Arg::Str(with), Arg::I2(replace), Arg::Bool(false), Arg::Bool(false), Arg::Bool(false), Arg::Bool(false)},
        true);
}

inline bool Found(const CallResult& r) { return r.value.vt == VT_BOOL && r.value.boolVal != VARIANT_FALSE; }

// Documents.Open of generation 9, 10 or 11 with Kestrel's arguments.
inline CallResult Open(IDispatch* documents, const std::string& path, int generation = 11)
{
    std::vector<Arg> a = {Arg::Str(std::u16string(path.begin(), path.end())), Arg::Bool(false), Arg::Bool(false),
                          Arg::Bool(false), Arg::Str(u""), Arg::Str(u""), Arg::Bool(false), Arg::Str(u""),
                          Arg::Str(u""), Arg::I4(5), Arg::Bool(true), Arg::Bool(true)};
    if (generation == 11) a.push_back(Arg::Bool(false));
    if (generation >= 10) a.insert(a.end(), {Arg::Bool(true), Arg::Missing(), Arg::Missing()});
    return Call(documents, generation == 11 ? 0x13 : generation == 10 ? 0x12 : 0xF, DISPATCH_METHOD, a, true);
}

inline HRESULT CloseOrQuit(IDispatch* target)
{
    return Call(target, 0x451, DISPATCH_METHOD, {Arg::Bool(false), Arg::Bool(false), Arg::Bool(false)}, true).hr;
}

// Files written for one test, removed at its end.
class TempFiles {
public:
    ~TempFiles()
    {
        for (const std::string& f : m_paths) std::remove(f.c_str());
    }

    std::string Path(const std::string& name)
    {
        m_paths.push_back(::testing::TempDir() + "varnel_word_" + std::to_string(::getpid()) + "_" + name);
        return m_paths.back();
    }
    template <class Data>
    std::string Write(const std::string& name, const Data& bytes)
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::vector<std::string> m_paths;
};

}  // namespace wordtest
