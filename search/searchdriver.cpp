// The search driver of the three generations (see searchdriver.h).
//
// Decisions the Windows program left open, made here:
// - A file is searched with the application of the mask it was found
//   through: the Excel mask goes to the workbook search, every other mask
//   to Word. So REPORT.XLS and Book.xlsx (found through *.xls) reach Excel,
//   and a file is never handed to an application this run did not start.
// - A failing Visible, DisplayAlerts or Quit is absorbed; the other
//   application's quit, the releases and the return still happen.
// - A path that does not fit the 260-byte record is not searched and gets
//   a log line of its own, instead of being cut to a different file's name.
// - A folder that cannot be read (no permission, gone since the work list
//   was made) gets a log line with its path, once, like a file that cannot
//   be searched: a silent skip would read as "nothing found there".
// - Symbolic links among the files are not followed, as links to folders
//   are not: a link inside a searched folder cannot pull in a file from
//   elsewhere.
// - Stop also sets the process's stop request, which ends a call into the
//   built-in Word or Excel in the middle of a file. The file abandoned so
//   gets no line: it was not found unreadable, the user stopped the search.
// - With more than one thread, the built-in Office's read-ahead service is
//   told before each file which files come next (the same listing the walk
//   then goes through, the same skips), so that it parses them on another
//   core. The calls, their order and every line stay as with one thread.
#include "search/searchdriver.h"

#include "kestrel/officefind.h"
#include "platform/cancellation.h"
#include "platform/fileapi.h"
#include "platform/olethread.h"
#include "platform/readahead.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"
#include "search/walklisting.h"

#include <algorithm>
#include <cstring>

namespace {

CFileFilter g_fileFilter;

template <class TWord, class TExcel>
struct Generation {
    using Word = TWord;
    using Excel = TExcel;
    int (OfficeFind::*searchWord)(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions,
                                  TWord&);
    int (OfficeFind::*searchExcel)(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions,
                                   TExcel&);
};

// Stop was pressed: the running flag is cleared, and with it the stop
// request is set. Either alone ends the walk, so that a request never
// leaves the driver running on with every file failing in silence.
bool StopWanted()
{
    return g_bRunning == 0 || platform::IsSearchStopRequested();
}

template <class F>
void Absorb(F&& call)
{
    try {
        call();
    } catch (CException* e) {
        e->Delete();
    }
}

template <class G>
class Driver {
public:
    explicit Driver(const G& generation) : m_gen(generation) {}
    ~Driver()
    {
        if (m_readAhead != nullptr) m_readAhead->Stop();
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    void Run(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions)
    {
        CoInitialize(nullptr);
        if (Start(versions)) {
            // The other cores read the coming files ahead; with one thread
            // (or no service) the walk is exactly the plain one.
            const unsigned threads = platform::SearchThreads();
            m_readAhead = threads > 1 ? platform::ReadAheadService() : nullptr;
            if (m_readAhead != nullptr) m_readAhead->Start(std::min(threads - 1, kFilesAhead));
            Walk(folders, patterns);
            if (m_readAhead != nullptr) m_readAhead->Stop();
            m_readAhead = nullptr;
        }
        m_excel.ReleaseDispatch();
        m_word.ReleaseDispatch();
    }

private:
    // Starts the applications this run needs; false when one cannot start.
    bool Start(const _OfficeVersions& versions)
    {
        const bool needWord = (g_bWordFile != 0 || g_bTextFile != 0 || g_bHtmFile != 0) && versions.nWord != 0;
        if (needWord) {
            if (!m_word.CreateDispatch("Word.Application")) {
                LogString(IDS_WORD_START_FAILED);
                return false;
            }
            m_wordStarted = true;
            Absorb([this] { m_word.SetVisible(false); });
        }
        const bool needExcel = g_bExcelFile != 0 && versions.nExcel != 0;
        if (needExcel) {
            if (!m_excel.CreateDispatch("Excel.Application")) {
                // A Word started above is released without being told to quit.
                LogString(IDS_EXCEL_START_FAILED);
                return false;
            }
            m_excelStarted = true;
            Absorb([this] { m_excel.SetVisible(false); });
        }
        return true;
    }

    void Quit()
    {
        if (m_wordStarted) {
            Absorb([this] {
                COleVariant no(false);
                m_word.Quit(&no, &no, &no);
            });
        }
        if (m_excelStarted) {
            Absorb([this] { m_excel.SetDisplayAlerts(false); });
            Absorb([this] { m_excel.Quit(); });
        }
    }

    void Walk(CFolderWorkList& folders, const CPatternList& patterns)
    {
        CWalkListing listing(folders, patterns);
        std::size_t index = 0;
        for (const _FolderPath& folder : folders) {
            if (StopWanted()) {
                Quit();
                return;
            }
            g_strStatusText.Set(folder.szPath);
            for (std::size_t p = 0; p < patterns.size(); ++p) {
                const MaskOutcome outcome = SearchMask(listing, listing.Take(index, p));
                if (outcome == MaskOutcome::Stopped) {
                    Quit();
                    return;
                }
                if (outcome == MaskOutcome::FolderUnreadable) {
                    LogFileLine(folder.szPath, IDS_FOLDER_UNREADABLE);
                    break;  // the other masks would meet the same folder
                }
            }
            ++index;
        }
        Quit();
    }

    enum class MaskOutcome { Done, Stopped, FolderUnreadable };

    // Searches the files of one mask.
    MaskOutcome SearchMask(CWalkListing& listing, const ListedMask& mask)
    {
        const std::int32_t kind = listing.Kind(mask);
        g_resultFileInfo.nFileKind = kind;
        if (mask.unreadable) return MaskOutcome::FolderUnreadable;
        for (std::size_t i = 0; i < mask.files.size(); ++i) {
            if (StopWanted()) return MaskOutcome::Stopped;
            const ListedFile& file = mask.files[i];
            if (file.link) continue;  // a link, to a file or a folder
            if (!Wanted(file)) continue;
            if (m_readAhead != nullptr && WillOpen(file, kind) && !HintCovers(file.path)) HintFrom(listing, mask, i);
            SearchFile(file.path, file.name, kind);
        }
        return MaskOutcome::Done;
    }

    // Whether the front end's file filter, if any, lets the file through.
    // Asked once per listed file: the walk and the hints ask again.
    static bool Wanted(const ListedFile& file)
    {
        if (!g_fileFilter || file.path.size() < file.name.size()) return true;
        if (file.wanted < 0)
            file.wanted = g_fileFilter(file.path.substr(0, file.path.size() - file.name.size()), file.name) ? 1 : 0;
        return file.wanted != 0;
    }

    // Whether SearchFile hands the file to an application (a folder named
    // like a file is handed over too, but there is nothing to read ahead).
    bool WillOpen(const ListedFile& file, std::int32_t kind) const
    {
        if (file.link || file.directory || !Wanted(file)) return false;
        if (!file.name.empty() && file.name[0] == '~') return false;
        if (file.path.size() >= sizeof g_resultFileInfo.szFilePath) return false;
        return kind == FILE_KIND_EXCEL ? m_excelStarted : m_wordStarted;
    }

    // Whether the last hint still names `path` next and was given fewer
    // than half a window of files ago. The service is told again only
    // then: a hint of the whole window for every file cost a search of ten
    // thousand small text files a tenth of its time, under the lock the
    // helpers take for their next job (bench/textweb_compare.sh).
    bool HintCovers(const std::string& path)
    {
        ++m_hintAt;
        return m_hintAt < m_coming.size() && m_hintAt < kFilesAhead / 2 && m_coming[m_hintAt].path == path;
    }

    // Tells the read-ahead service which files come: the one about to be
    // searched, then the next ones the walk will open.
    void HintFrom(CWalkListing& listing, const ListedMask& mask, std::size_t index)
    {
        // The list is kept from one file to the next: its paths are
        // assigned into the room they had, with no allocation per file.
        const auto next =
            listing.Following(mask, index, kFilesAhead,
                              [this](const ListedFile& file, std::int32_t kind) { return WillOpen(file, kind); });
        m_coming.resize(next.size() + 1);
        m_coming[0].path = mask.files[index].path;
        m_coming[0].workbook = listing.Kind(mask) == FILE_KIND_EXCEL;
        for (std::size_t i = 0; i < next.size(); ++i) {
            m_coming[i + 1].path = next[i].file->path;
            m_coming[i + 1].workbook = next[i].kind == FILE_KIND_EXCEL;
        }
        m_readAhead->Hint(m_coming);
        m_hintAt = 0;
    }

    void SearchFile(const std::string& path, const std::string& name, std::int32_t kind)
    {
        std::memset(g_resultFileInfo.szFileName, 0, sizeof g_resultFileInfo.szFileName);
        std::memset(g_resultFileInfo.szFilePath, 0, sizeof g_resultFileInfo.szFilePath);
        std::memset(g_resultFileInfo.nKeywordFound, 0, sizeof g_resultFileInfo.nKeywordFound);
        if (!name.empty() && name[0] == '~') return;  // an Office owner file
        if (path.size() >= sizeof g_resultFileInfo.szFilePath) {
            LogFileLine(path, IDS_PATH_TOO_LONG);
            return;
        }
        std::memcpy(g_resultFileInfo.szFilePath, path.data(), path.size());
        std::memcpy(g_resultFileInfo.szFileName, name.data(), name.size());

        int result;
        if (kind == FILE_KIND_EXCEL) {
            if (!m_excelStarted) return;
            result = (m_find.*m_gen.searchExcel)(g_resultFileInfo, g_arrKeywords, g_conditions.Snapshot(), m_excel);
        } else {
            if (!m_wordStarted) return;
            result = (m_find.*m_gen.searchWord)(g_resultFileInfo, g_arrKeywords, g_conditions.Snapshot(), m_word);
        }

        // A call that failed because of Stop leaves a file nobody found
        // damaged or in use.
        if ((result == -1 || result == 0) && platform::IsSearchStopRequested()) return;
        if (result == -1) {
            LogFileLine(path, IDS_FILE_IN_USE);
        } else if (result == 0) {
            LogFileLine(path, IDS_FILE_RUINED);
        } else if (result == 1 && g_resultFileInfo.nMatchDegree > 0) {
            SendMessage(g_hWndResultList.load(), WM_ADD_RESULT, 0, 0);
        }
    }

    // Files read ahead of the one searched (the service bounds them too).
    static constexpr unsigned kFilesAhead = 64;

    G m_gen;
    platform::IReadAhead* m_readAhead = nullptr;
    std::vector<platform::ReadAheadItem> m_coming;  // the last hint
    std::size_t m_hintAt = 0;                       // its file searched last
    typename G::Word m_word;
    typename G::Excel m_excel;
    bool m_wordStarted = false;
    bool m_excelStarted = false;
    OfficeFind m_find;
};

template <class G>
void RunDriver(const G& generation, CFolderWorkList& folders, const CPatternList& patterns,
               const _OfficeVersions& versions)
{
    Driver<G> driver(generation);
    driver.Run(folders, patterns, versions);
}

}  // namespace

void SetFileFilter(CFileFilter filter)
{
    g_fileFilter = std::move(filter);
}

void SearchFolders9(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions)
{
    RunDriver(Generation<_Word9, _Excel9>{&OfficeFind::SearchWord9, &OfficeFind::SearchExcel9}, folders, patterns,
              versions);
}

void SearchFolders10(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions)
{
    RunDriver(Generation<_Word10, _Excel10>{&OfficeFind::SearchWord10, &OfficeFind::SearchExcel10}, folders, patterns,
              versions);
}

void SearchFolders11(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions)
{
    RunDriver(Generation<_Word11, _Excel11>{&OfficeFind::SearchWord11, &OfficeFind::SearchExcel11}, folders, patterns,
              versions);
}
