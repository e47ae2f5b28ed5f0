// Choosing a workbook reader by content (see workbookloader.h).
#include "office/excel/workbookloader.h"

#include "office/containers/compoundfile.h"
#include "office/containers/filebytes.h"
#include "office/containers/ooxmldecrypt.h"
#include "office/excel/biffreader.h"
#include "office/excel/oldbiffreader.h"
#include "office/excel/xlsdecrypt.h"
#include "office/excel/xlstextreader.h"
#include "office/excel/xlsxreader.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace office {

namespace {

std::string LowerHead(ByteView bytes, std::size_t limit)
{
    std::string head;
    const std::size_t n = std::min(bytes.size(), limit);
    head.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(bytes[i]);
        if (c != 0) head.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return head;
}

std::u16string SheetNameFor(const std::string& path)
{
    std::string base = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    const auto dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    // Excel's sheet names hold at most 31 characters.
    std::u16string name = AnsiToWide(base);
    if (name.size() > 31) name.resize(31);
    return name.empty() ? std::u16string(u"Sheet1") : name;
}

}  // namespace

WorkbookKind DetectWorkbookKind(ByteView bytes)
{
    if (IsCompoundFile(bytes)) return WorkbookKind::Biff;
    if (OldBiffReader::IsOldBiff(bytes)) return WorkbookKind::OldBiff;
    if (bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 && bytes[3] == 4)
        return WorkbookKind::OpenXml;
    if (bytes.empty()) return WorkbookKind::DelimitedText;  // Excel opens an empty file as an empty sheet
    const bool utf16 = bytes.size() >= 2 &&
                       ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
    const std::string head = LowerHead(bytes, 8192);
    std::size_t start = 0;
    if (head.compare(0, 3, "\xef\xbb\xbf") == 0) start = 3;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    if (start < head.size() && head[start] == '<') {
        if (head.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos &&
            head.find("<workbook") != std::string::npos)
            return WorkbookKind::Xml2003;
        if (head.find("<html") != std::string::npos || head.find("<table") != std::string::npos ||
            head.find("<!doctype html") != std::string::npos)
            return WorkbookKind::Html;
    }
    // Text has no NUL bytes (unless it is UTF-16) and few control codes.
    if (!utf16) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 65536);
        std::size_t control = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t c = bytes[i];
            if (c == 0) return WorkbookKind::Unknown;
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x0C) ++control;
        }
        if (control * 20 > n) return WorkbookKind::Unknown;
    }
    return WorkbookKind::DelimitedText;
}

namespace {

bool LoadByKind(ByteView bytes, const std::u16string& sheetName, Workbook& out, ReadError& error,
                const WorkbookLimits& limits, bool deferFormulaTexts)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    switch (DetectWorkbookKind(bytes)) {
    case WorkbookKind::Biff: {
        // An Office Open XML workbook saved with a password is a compound
        // file that holds the encrypted package; Excel opens it when its
        // default password is the one.
        std::vector<std::uint8_t> package;
        BudgetHold held(limits.budget);
        switch (OpenEncryptedPackage(bytes, kDefaultOfficePassword, package, held, error)) {
        case EncryptedPackageState::None: return BiffReader(limits, deferFormulaTexts).Read(bytes, out, error);
        case EncryptedPackageState::Decrypted:
            return XlsxReader(limits).Read(ByteView(package.data(), package.size()), out, error);
        case EncryptedPackageState::Protected:
        case EncryptedPackageState::Damaged: return false;
        }
        return false;
    }
    case WorkbookKind::OldBiff: return OldBiffReader(limits).Read(bytes, sheetName, out, error);
    case WorkbookKind::OpenXml: return XlsxReader(limits).Read(bytes, out, error);
    case WorkbookKind::Xml2003: {
        WorkbookBuilder builder(limits);
        if (!XlsTextReader::ReadXml2003(text, builder, error)) return false;
        out = builder.Finish();
        return true;
    }
    case WorkbookKind::Html: {
        WorkbookBuilder builder(limits);
        if (!XlsTextReader::ReadHtml(text, sheetName, builder, error)) return false;
        out = builder.Finish();
        return true;
    }
    case WorkbookKind::DelimitedText: {
        WorkbookBuilder builder(limits);
        if (!XlsTextReader::ReadDelimited(text, sheetName, builder, error)) return false;
        out = builder.Finish();
        return true;
    }
    case WorkbookKind::Unknown: break;
    }
    error = {ReadErrorKind::NotThisFormat, "not a workbook"};
    return false;
}

}  // namespace

bool LoadWorkbookBytes(ByteView bytes, const std::u16string& sheetName, Workbook& out, ReadError& error,
                       const WorkbookLimits& given, bool deferFormulaTexts)
{
    // Every workbook is read against a budget: the caller's, or one of the
    // default size for this call.
    WorkbookLimits limits = given;
    std::unique_ptr<ReadBudget> own;
    if (limits.budget == nullptr) limits.budget = (own = std::make_unique<ReadBudget>()).get();
    try {
        return LoadByKind(bytes, sheetName, out, error, limits, deferFormulaTexts);
    } catch (const ReadBudgetExceeded& e) {
        out = Workbook{};
        error = {ReadErrorKind::TooLarge, e.what()};
        return false;
    }
}

bool LoadWorkbook(const std::string& path, Workbook& out, ReadError& error, const WorkbookLimits& limits,
                  bool deferFormulaTexts)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    return LoadWorkbookBytes(ByteView(bytes.data(), bytes.size()), SheetNameFor(path), out, error, limits,
                             deferFormulaTexts);
}

std::shared_ptr<Workbook> ReadWorkbookModel(const std::string& path, ReadError& error)
{
    FileBytesReader file;
    if (!file.Open(path, error)) return nullptr;
    return ReadWorkbookModel(file, path, error);
}

std::shared_ptr<Workbook> ReadWorkbookModel(FileBytesReader& file, const std::string& path, ReadError& error)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(file, bytes, error)) return nullptr;
    auto model = std::make_shared<Workbook>();
    ReadBudget budget;
    WorkbookLimits limits;
    limits.budget = &budget;
    if (!LoadWorkbookBytes(ByteView(bytes.data(), bytes.size()), SheetNameFor(path), *model, error, limits, true))
        return nullptr;
    return model;
}

}  // namespace office
