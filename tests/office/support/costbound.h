// Time bounds in the reader tests are there to catch a cost that grows with
// the square of a hostile input (seconds turning into minutes), not to time
// a reader. A sanitizer or unoptimised build runs the same reader several
// times slower, so its bounds are that much wider; the optimised build that
// CI runs keeps the tight one.
#pragma once

namespace costbound {

#if defined(VARNEL_SANITIZED) || !defined(NDEBUG)
inline constexpr double kSlowBuildScale = 8.0;
#else
inline constexpr double kSlowBuildScale = 1.0;
#endif

}  // namespace costbound
