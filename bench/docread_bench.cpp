// Speed of the Word readers: opening and extracting a document of about
// 1 MB in each format (.doc, .docx, .rtf), from the file on disk to the
// finished stories. The documents are made once with LibreOffice
// (soffice) from generated text and kept in $TMPDIR/varnel-docread-bench;
// without soffice the benchmarks say so and skip.
#include "office/containers/filebytes.h"
#include "office/word/docreader.h"
#include "office/word/docxreader.h"
#include "office/word/rtfreader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path BenchDir()
{
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp != nullptr ? tmp : "/tmp") / "varnel-docread-bench";
}

// Text that compresses like prose: words drawn from a small vocabulary by a
// fixed pseudo-random sequence, in paragraphs of a few sentences, with a
// table every so often.
void WriteSource(const fs::path& path, int paragraphs)
{
    static const char* const kWords[] = {
        "the",     "search",   "finds",     "documents", "by",       "their",     "content",  "and",     "lists",
        "every",   "file",     "where",     "a",         "keyword",  "occurs",    "with",     "its",     "match",
        "degree",  "folder",   "Word",      "Excel",     "report",   "quarterly", "budget",   "meeting", "minutes",
        "project", "schedule", "invoice",   "customer",  "contract", "delivery",  "north",    "south",   "east",
        "west",    "office",   "paragraph", "table",     "column",   "number",    "value",    "total",   "summary",
        "review",  "draft",    "final",     "version",   "approved", "pending",   "analysis", "market",  "growth",
        "quality", "service",  "support",   "training",  "policy",   "security"};
    constexpr std::size_t kCount = sizeof kWords / sizeof kWords[0];
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % kCount;
    };
    std::ofstream out(path);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" office:version=\"1.2\" "
           "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text>\n";
    for (int p = 0; p < paragraphs; ++p) {
        if (p % 50 == 49) {
            out << "<table:table><table:table-column table:number-columns-repeated=\"3\"/>";
            for (int r = 0; r < 3; ++r) {
                out << "<table:table-row>";
                for (int c = 0; c < 3; ++c)
                    out << "<table:table-cell><text:p>" << kWords[next()] << ' ' << next()
                        << "</text:p></table:table-cell>";
                out << "</table:table-row>";
            }
            out << "</table:table>\n";
            continue;
        }
        out << "<text:p>";
        const std::size_t words = 40 + next();
        for (std::size_t w = 0; w < words; ++w) {
            out << kWords[next()];
            out << ((w % 12 == 11) ? ". " : " ");
        }
        out << "</text:p>\n";
    }
    out << "</office:text></office:body></office:document>\n";
}

// Makes (once) a document of the given format of roughly 1 MB.
std::string Document(const std::string& format, int paragraphs)
{
    const fs::path dir = BenchDir();
    const fs::path doc = dir / ("bench-" + std::to_string(paragraphs) + "." + format);
    if (fs::exists(doc)) return doc.string();
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path src = dir / ("bench-" + std::to_string(paragraphs) + ".fodt");
    WriteSource(src, paragraphs);
    const std::string cmd = "soffice -env:UserInstallation=file://" + (dir / "profile").string() +
                            " --headless --convert-to " + format + " --outdir '" + dir.string() + "' '" + src.string() +
                            "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 || !fs::exists(doc)) return {};
    return doc.string();
}

using Reader = bool (*)(office::ByteView, office::WordContent&, office::ReadError&);

void OpenAndExtract(benchmark::State& state, const std::string& format, int paragraphs, Reader read)
{
    const std::string path = Document(format, paragraphs);
    if (path.empty()) {
        state.SkipWithError("could not make the document (is soffice installed?)");
        return;
    }
    std::size_t chars = 0;
    std::size_t fileSize = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        office::ReadError error;
        office::WordContent content;
        if (!office::ReadFileBytes(path, bytes, error) || !read({bytes.data(), bytes.size()}, content, error)) {
            state.SkipWithError(error.detail.c_str());
            return;
        }
        fileSize = bytes.size();
        chars = 0;
        for (const auto& s : content.stories) chars += s.text.size();
        benchmark::DoNotOptimize(content);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileSize));
    state.counters["file_KB"] = static_cast<double>(fileSize) / 1024.0;
    state.counters["chars"] = static_cast<double>(chars);
}

// Paragraph counts chosen so each file comes out near 1 MB: .doc stores
// the text as UTF-16, .docx compresses it, .rtf is plain text with markup.
// Without a budget of the file's own: the readers' cost alone.
bool ReadDoc(office::ByteView b, office::WordContent& c, office::ReadError& e)
{
    return office::ReadWordBinary(b, c, e, nullptr);
}

void BM_Doc1MB(benchmark::State& s)
{
    OpenAndExtract(s, "doc", 1000, ReadDoc);
}
void BM_Docx1MB(benchmark::State& s)
{
    OpenAndExtract(s, "docx", 9000, office::ReadDocx);
}
void BM_Rtf1MB(benchmark::State& s)
{
    OpenAndExtract(s, "rtf", 1500, office::ReadRtf);
}

BENCHMARK(BM_Doc1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Docx1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rtf1MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
