// Elapsed-time text (see elapsedtime.h).
#include "app/elapsedtime.h"

std::string FormatElapsedTime(unsigned int ticks)
{
    // One tick is a tenth of a second: 10 a second, 600 a minute, 36000 an hour.
    const unsigned int hours = ticks / 36000u;
    const unsigned int inHour = ticks % 36000u;
    const unsigned int minutes = inHour / 600u;
    const unsigned int seconds = (inHour % 600u) / 10u;
    const unsigned int tenths = (inHour % 600u) % 10u;
    return std::to_string(hours) + ":" + std::to_string(minutes) + ":" + std::to_string(seconds) + "." +
           std::to_string(tenths);
}
