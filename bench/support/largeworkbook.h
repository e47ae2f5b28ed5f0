// What the Excel and match-report benchmarks build alike: a large .xlsx of
// generated shared strings and numbers, the file written to the temporary
// folder, and the process's processor time to time it by (the machine is
// shared, so wall time alone says more about the neighbours than about the
// code).
#pragma once

#include "tests/office/support/excelfixtures.h"

#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace benchsupport {

inline void WriteFile(const std::string& path, const excelfixtures::Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// `strings` shared strings made by `sentence`, then five sheets of `rows`
// rows, each a shared string, a number and a formula with its value, all
// drawn from `rng` (which `sentence` may draw from too).
inline excelfixtures::Bytes LargeXlsx(std::mt19937& rng, const std::function<std::string()>& sentence, unsigned strings,
                                      unsigned rows)
{
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string packageRel = "http://schemas.openxmlformats.org/package/2006/relationships";
    std::string sst = "<sst xmlns=\"" + main + "\">";
    for (unsigned i = 0; i < strings; ++i) sst += "<si><t>" + sentence() + "</t></si>";
    sst += "</sst>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns=\"" + packageRel + "\"><Relationship Id=\"r\" Type=\"" + rel +
                            "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/sharedStrings.xml", sst},
    };
    std::string workbook = "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel + "\"><sheets>";
    std::string rels = "<Relationships xmlns=\"" + packageRel + "\"><Relationship Id=\"s\" Type=\"" + rel +
                       "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    for (int sheet = 1; sheet <= 5; ++sheet) {
        const std::string n = std::to_string(sheet);
        workbook += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"w" + n + "\"/>";
        rels +=
            "<Relationship Id=\"w" + n + "\" Type=\"" + rel + "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        std::string xml = "<worksheet xmlns=\"" + main + "\"><sheetData>";
        for (unsigned row = 1; row <= rows; ++row) {
            const std::string r = std::to_string(row);
            xml += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>" + std::to_string(rng() % strings) +
                   "</v></c><c r=\"B" + r + "\"><v>" + std::to_string(static_cast<double>(rng()) / 7.0) +
                   "</v></c><c r=\"C" + r + "\"><f>B" + r + "*2</f><v>" + std::to_string(rng() % 100000) +
                   "</v></c></row>";
        }
        xml += "</sheetData></worksheet>";
        parts.push_back({"xl/worksheets/sheet" + n + ".xml", xml});
    }
    workbook += "</sheets></workbook>";
    rels += "</Relationships>";
    parts.push_back({"xl/workbook.xml", workbook});
    parts.push_back({"xl/_rels/workbook.xml.rels", rels});
    return excelfixtures::ZipOf(parts);
}

}  // namespace benchsupport
