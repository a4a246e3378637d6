// The program's one clock. Tests replace it to run "today" on fixed dates.
#pragma once

#include <functional>

namespace ff {

// Date and time now, as days since 30 December 1899 with the time of day as the fraction.
double Now();
// Today at midnight.
double Date();
// The time of day now, as a fraction of a day.
double Time();

// Replaces the clock; an empty function restores the system clock (local time).
void SetClock(std::function<double()> now);

}  // namespace ff
