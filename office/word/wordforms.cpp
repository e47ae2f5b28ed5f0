// English word forms: Snowball stems plus irregular forms (see wordforms.h).
#include "office/word/wordforms.h"

#include "office/text/casefold.h"
#include "platform/codepage.h"

#include <libstemmer.h>

#include <algorithm>
#include <climits>
#include <map>
#include <sstream>

#ifndef VARNEL_STEMMER_SONAME
#error "the build names the stemmer library to open (VARNEL_STEMMER_SONAME)"
#endif

namespace office {

namespace {

// Each line: a lemma, then its irregular forms. Regular inflections (-s,
// -ed, -ing, ...) are left to the stemmer.
constexpr const char* kIrregular[] = {
    "be am is are was were been being",
    "have has had having",
    "do does did done doing",
    "go goes went gone going",
    "sit sat sitting",
    "run ran running",
    "come came",
    "become became",
    "begin began begun",
    "bite bit bitten",
    "blow blew blown",
    "break broke broken",
    "bring brought",
    "build built",
    "buy bought",
    "catch caught",
    "choose chose chosen",
    "cut cutting",
    "deal dealt",
    "dig dug",
    "draw drew drawn",
    "dream dreamt",
    "drink drank drunk",
    "drive drove driven",
    "eat ate eaten",
    "fall fell fallen",
    "feed fed",
    "feel felt",
    "fight fought",
    "find found",
    "fly flew flown flies",
    "forget forgot forgotten",
    "forgive forgave forgiven",
    "freeze froze frozen",
    "get got gotten getting",
    "give gave given",
    "grow grew grown",
    "hang hung",
    "hear heard",
    "hide hid hidden",
    "hold held",
    "keep kept",
    "know knew known",
    "lay laid",
    "lead led",
    "leave left",
    "lend lent",
    "lie lay lain lying",
    "lose lost",
    "make made",
    "mean meant",
    "meet met",
    "pay paid",
    "ride rode ridden",
    "ring rang rung",
    "rise rose risen",
    "say said",
    "see saw seen",
    "seek sought",
    "sell sold",
    "send sent",
    "shake shook shaken",
    "shine shone",
    "shoot shot",
    "show shown",
    "sing sang sung",
    "sink sank sunk",
    "sleep slept",
    "slide slid",
    "speak spoke spoken",
    "spend spent",
    "stand stood",
    "steal stole stolen",
    "stick stuck",
    "sting stung",
    "strike struck",
    "swear swore sworn",
    "swim swam swum swimming",
    "take took taken",
    "teach taught",
    "tear tore torn",
    "tell told",
    "think thought",
    "throw threw thrown",
    "understand understood",
    "wake woke woken",
    "wear wore worn",
    "weep wept",
    "win won winning",
    "write wrote written",
    "arise arose arisen",
    "bear bore borne born",
    "beat beaten",
    "bend bent",
    "bind bound",
    "bleed bled",
    "breed bred",
    "burn burnt",
    "fling flung",
    "forbid forbade forbidden",
    "grind ground",
    "kneel knelt",
    "leap leapt",
    "learn learnt",
    "light lit",
    "shrink shrank shrunk",
    "slay slew slain",
    "smell smelt",
    "spell spelt",
    "spin spun",
    "spring sprang sprung",
    "stride strode stridden",
    "string strung",
    "strive strove striven",
    "swing swung",
    "tread trod trodden",
    "weave wove woven",
    "wind wound",
    "wring wrung",
    "man men",
    "woman women",
    "child children",
    "person people",
    "mouse mice",
    "louse lice",
    "goose geese",
    "tooth teeth",
    "foot feet",
    "ox oxen",
    "die dice",
    "leaf leaves",
    "knife knives",
    "wife wives",
    "life lives",
    "half halves",
    "wolf wolves",
    "shelf shelves",
    "thief thieves",
    "calf calves",
    "criterion criteria",
    "phenomenon phenomena",
    "analysis analyses",
    "crisis crises",
    "thesis theses",
    "datum data",
    "medium media",
    "index indices",
    "appendix appendices",
    "cactus cacti",
    "fungus fungi",
    "nucleus nuclei",
    "radius radii",
    "good better best",
    "bad worse worst",
    "far farther further farthest furthest",
    "little less least",
    "many more most",
    "much more most",
};

// Irregular form (lower case, UTF-8) -> its lemmas. Built once; read-only
// afterwards, so searches on several threads may share it.
const std::multimap<std::string, std::string>& IrregularTable()
{
    static const std::multimap<std::string, std::string> table = [] {
        std::multimap<std::string, std::string> t;
        for (const char* line : kIrregular) {
            std::istringstream words(line);
            std::string lemma;
            words >> lemma;
            std::string form;
            while (words >> form) t.emplace(form, lemma);
        }
        return t;
    }();
    return table;
}

// The stemmer's functions, as pointers of the same names, looked up once.
struct StemmerFunctions {
    decltype(&::sb_stemmer_new) sb_stemmer_new = nullptr;
    decltype(&::sb_stemmer_delete) sb_stemmer_delete = nullptr;
    decltype(&::sb_stemmer_stem) sb_stemmer_stem = nullptr;
    decltype(&::sb_stemmer_length) sb_stemmer_length = nullptr;
};

// Null when the library or one of its functions is missing.
const StemmerFunctions* Stemmer()
{
    static const StemmerFunctions* const functions = []() -> const StemmerFunctions* {
        static StemmerFunctions f;
        platform::LazyLibrary& library = StemmerLibrary();
        const bool all = library.Look(f.sb_stemmer_new, "sb_stemmer_new") &&
                         library.Look(f.sb_stemmer_delete, "sb_stemmer_delete") &&
                         library.Look(f.sb_stemmer_stem, "sb_stemmer_stem") &&
                         library.Look(f.sb_stemmer_length, "sb_stemmer_length");
        return all ? &f : nullptr;
    }();
    return functions;
}

}  // namespace

platform::LazyLibrary& StemmerLibrary()
{
    static platform::LazyLibrary library(VARNEL_STEMMER_SONAME);
    return library;
}

WordForms::WordForms()
{
    if (const StemmerFunctions* f = Stemmer()) m_stemmer = f->sb_stemmer_new("english", "UTF_8");
}

WordForms::~WordForms()
{
    if (m_stemmer != nullptr) Stemmer()->sb_stemmer_delete(m_stemmer);
}

std::string WordForms::Stem(const std::string& lowerUtf8)
{
    if (m_stemmer == nullptr || lowerUtf8.size() > 1024) return lowerUtf8;
    // (A stemmer was made, so the functions are there.)
    const StemmerFunctions& f = *Stemmer();
    const sb_symbol* stemmed = f.sb_stemmer_stem(m_stemmer, reinterpret_cast<const sb_symbol*>(lowerUtf8.data()),
                                                 static_cast<int>(lowerUtf8.size()));
    if (stemmed == nullptr) return lowerUtf8;  // out of memory: compare the word itself
    const int n = f.sb_stemmer_length(m_stemmer);
    if (n <= 0) return lowerUtf8;
    return std::string(reinterpret_cast<const char*>(stemmed), static_cast<std::size_t>(n));
}

void WordForms::Keys(std::u16string_view word, std::vector<std::string>& keys)
{
    const std::string lower = Utf16ToUtf8(FullCaseFold(word));
    keys.push_back(Stem(lower));
    const auto& table = IrregularTable();
    const auto range = table.equal_range(lower);
    for (auto it = range.first; it != range.second; ++it) keys.push_back(Stem(it->second));
}

bool WordForms::SameWord(std::u16string_view a, std::u16string_view b)
{
    std::vector<std::string> ka;
    std::vector<std::string> kb;
    Keys(a, ka);
    Keys(b, kb);
    for (const std::string& x : ka) {
        if (std::find(kb.begin(), kb.end(), x) != kb.end()) return true;
    }
    return false;
}

}  // namespace office
