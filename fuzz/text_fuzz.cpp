// libFuzzer target for the plain text reader (byte-order marks, UTF-8 and
// UTF-16 detection, legacy code pages through uchardet, line ends, the
// binary check): any input must end in a story or an error, without a
// crash, a hang, a sanitizer report or unbounded memory. It is also
// differential: the same bytes read from a file a few bytes a piece (so
// that characters and CR LF are cut at piece edges) must give what the
// whole bytes give, or be handed back to be read whole.
//
// The stories then go through the compared texts Find builds, in its four
// views: the quick scans over them must agree with a look at each
// character, and each view's map must run forward to the story's end.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): memory past libFuzzer's limit is memory it never saw.
#include "office/containers/filebytes.h"
#include "office/containers/readbudget.h"
#include "office/text/matchtext.h"
#include "office/word/textreader.h"
#include "platform/utf8.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// One file in memory, rewritten for every input.
const std::string& InputPath(const std::uint8_t* data, std::size_t size)
{
    static const int fd = ::memfd_create("text_fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) __builtin_trap();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) __builtin_trap();
        done += static_cast<std::size_t>(n);
    }
    return path;
}

// The compared texts of a story, held to what each character says.
void CheckComparedTexts(std::u16string_view text)
{
    std::size_t plain = text.size();
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        if (!office::IsPlainNormalCharacter(CodePointAt(text, i, len))) {
            plain = i;
            break;
        }
        i += len;
    }
    if (office::PlainNormalPrefix(text) != plain) __builtin_trap();
    for (int view = 0; view < 4; ++view) {
        const office::MatchText m(text, view >= 2, view % 2 == 1);
        const std::size_t size = m.Text().size();
        if (m.OriginalStart(size) != text.size()) __builtin_trap();
        // (Unfolded, a text of plain normal characters is its own view.)
        if (view < 2 && plain == text.size() && m.Text() != text) __builtin_trap();
        std::size_t last = 0;
        for (std::size_t a = 0; a < size; ++a) {
            if (!m.IsCharacterEdge(a)) continue;
            const std::size_t start = m.OriginalStart(a);
            if (start < last || m.OriginalEnd(a) > start) __builtin_trap();
            last = start;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WordContent content;
    office::ReadError error;
    const bool ok = office::ReadText(office::ByteView(data, size), content, error, &budget);
    if (!ok && error.ok()) __builtin_trap();
    // Every byte becomes at most one UTF-16 unit (a four-byte sequence two),
    // and no NUL reaches a story.
    std::size_t units = 0;
    for (const auto& story : content.stories) {
        units += story.text.size();
        if (story.text.find(u'\0') != std::u16string::npos) __builtin_trap();
    }
    if (ok && units > size + 16) __builtin_trap();
    for (const auto& story : content.stories) CheckComparedTexts(story.text);

    // The piece sizes follow from the input, so that a finding reproduces.
    office::FileBytesReader file;
    office::ReadError fileError;
    if (!file.Open(InputPath(data, size), fileError)) __builtin_trap();
    std::vector<std::uint8_t> head;
    if (!file.Append(head, 4 + size % 5, fileError)) __builtin_trap();
    if (file.AtEnd()) return 0;
    office::ReadBudget fileBudget(std::uint64_t{256} << 20);
    office::WordContent pieces;
    switch (office::ReadTextFile(file, head, pieces, fileError, &fileBudget, 1 + size % 13)) {
    case office::TextFileRead::Read:
        if (!ok || pieces.stories.size() != 1 || pieces.stories[0].text != content.stories.at(0).text) __builtin_trap();
        break;
    case office::TextFileRead::Failed:
        if (ok || fileError.kind != error.kind || fileError.detail != error.detail) __builtin_trap();
        break;
    case office::TextFileRead::ReadWhole: break;
    }
    if (fileBudget.Used() != 0) __builtin_trap();
    return 0;
}
