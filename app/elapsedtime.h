// The elapsed-time text of the status bar: the search timer ticks ten times
// a second and the pane shows hours, minutes, seconds and tenths without
// zero padding ("0:1:5.3" after 653 ticks). Hours grow without limit.
#pragma once

#include <string>

std::string FormatElapsedTime(unsigned int ticks);
