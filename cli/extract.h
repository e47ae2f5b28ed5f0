// varnel-find --extract: prints what the built-in Word or Excel reads in a
// file, so a person can see why a file is or is not found. A document is
// printed story by story, paragraphs as lines; a workbook sheet by sheet, a
// line "[Sheet name]" and then one line per row, cells separated by tabs.
#pragma once

#include <cstdio>
#include <string>

// Returns 0 when the file was read, 2 when it could not be (with the reason
// on `err`).
int ExtractFile(const std::string& path, std::FILE* out, std::FILE* err);
