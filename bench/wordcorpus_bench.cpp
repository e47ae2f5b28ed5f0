// Corpus check for the Word readers: runs the reader that fits each file's
// content (Word binary, Office Open XML, RTF) over every file of a folder
// and prints one line per file: ok or the error, the time taken and the
// number of characters extracted, then totals with the failures grouped by
// reason. With --dump DIR it also writes each extracted text as UTF-8 (one
// .txt per file, stories one after another) for comparison with another
// program's text conversion.
//
// With --show it prints each file's stories, control marks made visible.
//
//   bench_wordcorpus [--dump DIR] [--show] [--ext doc,docx,...] FOLDER
#include "office/containers/compoundfile.h"
#include "office/containers/filebytes.h"
#include "office/word/docreader.h"
#include "office/word/docxreader.h"
#include "office/word/rtfreader.h"
#include "platform/codepage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

// What a person would read: cell and paragraph marks become line ends.
std::string Readable(const office::WordContent& content)
{
    std::u16string all;
    for (const auto& story : content.stories) {
        for (char16_t c : story.text) {
            switch (c) {
            case 0x0D:
            case 0x07:
            case 0x0B:
            case 0x0C: all.push_back(u'\n'); break;
            case 0x09:
            case 0xA0: all.push_back(u' '); break;
            case 0x1E: all.push_back(u'-'); break;
            case 0x1F: break;
            default: all.push_back(c);
            }
        }
        all.push_back(u'\n');
    }
    return Utf16ToUtf8(all);
}

const char* KindName(office::StoryKind k)
{
    switch (k) {
    case office::StoryKind::Main: return "main";
    case office::StoryKind::Footnotes: return "footnotes";
    case office::StoryKind::HeadersFooters: return "headers";
    case office::StoryKind::Comments: return "comments";
    case office::StoryKind::Endnotes: return "endnotes";
    case office::StoryKind::TextBoxes: return "textboxes";
    case office::StoryKind::HeaderTextBoxes: return "headertextboxes";
    case office::StoryKind::Title: return "title";
    }
    return "?";
}

void Show(const office::WordContent& content)
{
    for (const auto& story : content.stories) {
        std::string line;
        for (char16_t c : story.text) {
            if (c < 0x20 || c == 0xA0) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "<%02X>", static_cast<unsigned>(c));
                line += buf;
            } else {
                line += Utf16ToUtf8(std::u16string(1, c));
            }
        }
        std::printf("    [%s] %s\n", KindName(story.kind), line.c_str());
    }
}

bool ReadAny(const std::vector<std::uint8_t>& bytes, office::WordContent& content, office::ReadError& error,
             std::string& kind)
{
    const office::ByteView view(bytes.data(), bytes.size());
    if (office::IsCompoundFile(view)) {
        kind = "doc";
        return office::ReadWordBinary(view, content, error);
    }
    if (bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K') {
        kind = "docx";
        return office::ReadDocx(view, content, error);
    }
    if (bytes.size() >= 5 && std::equal(bytes.begin(), bytes.begin() + 5, "{\\rtf")) {
        kind = "rtf";
        return office::ReadRtf(view, content, error);
    }
    kind = "?";
    error = {office::ReadErrorKind::NotThisFormat, "not a Word binary, Office Open XML or RTF file"};
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dump;
    bool show = false;
    std::set<std::string> exts = {".doc", ".dot", ".docx", ".docm", ".dotx", ".dotm", ".rtf"};
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--dump" && i + 1 < argc) {
            dump = argv[++i];
        } else if (a == "--show") {
            show = true;
        } else if (a == "--ext" && i + 1 < argc) {
            exts.clear();
            std::stringstream ss(argv[++i]);
            std::string e;
            while (std::getline(ss, e, ',')) exts.insert("." + Lower(e));
        } else {
            folder = a;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: %s [--dump DIR] [--ext doc,docx,...] FOLDER\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
        if (entry.is_regular_file() && exts.count(Lower(entry.path().extension().string())) != 0)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    if (!dump.empty()) fs::create_directories(dump, ec);

    int ok = 0;
    int failed = 0;
    double slowest = 0;
    std::string slowestName;
    std::map<std::string, std::vector<std::string>> reasons;
    for (const auto& path : files) {
        std::vector<std::uint8_t> bytes;
        office::ReadError error;
        office::WordContent content;
        std::string kind = "-";
        const auto t0 = std::chrono::steady_clock::now();
        bool good = office::ReadFileBytes(path.string(), bytes, error) && ReadAny(bytes, content, error, kind);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        std::size_t chars = 0;
        for (const auto& s : content.stories) chars += s.text.size();
        std::printf("%-5s %-4s %9.2f ms %9zu chars  %s%s%s\n", good ? "ok" : "ERROR", kind.c_str(), ms, chars,
                    path.filename().c_str(), good ? "" : "  -- ", good ? "" : error.detail.c_str());
        if (ms > slowest) {
            slowest = ms;
            slowestName = path.filename().string();
        }
        if (good) {
            ++ok;
            if (show) Show(content);
            if (!dump.empty()) {
                std::ofstream f(fs::path(dump) / (path.filename().string() + ".txt"), std::ios::binary);
                f << Readable(content);
            }
        } else {
            ++failed;
            reasons[kind + ": " + error.detail].push_back(path.filename().string());
        }
    }
    std::printf("\n%zu files: %d ok, %d failed; slowest %.1f ms (%s)\n", files.size(), ok, failed, slowest,
                slowestName.c_str());
    for (const auto& [why, names] : reasons) {
        std::printf("  %3zu  %s\n", names.size(), why.c_str());
        for (const auto& n : names) std::printf("         %s\n", n.c_str());
    }
    return 0;
}
