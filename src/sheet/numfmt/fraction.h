// Choosing the fraction that a fraction section shows.
#pragma once

namespace dialsift::sheet::numfmt {

struct Fraction {
  long long numerator = 0;
  long long denominator = 1;
};

// The fraction nearest to `value` (>= 0) whose denominator is at most
// `max_denominator`.
Fraction NearestFraction(double value, long long max_denominator);

}  // namespace dialsift::sheet::numfmt
