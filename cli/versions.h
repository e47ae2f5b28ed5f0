// varnel-find --version: the program's version and those of the libraries
// it runs on, as loaded in this process, so that a bug report says which
// ICU, libxml2, ... read the files.
#pragma once

#include <string>

// Lines "NAME VERSION", the program first.
std::string VersionText();
