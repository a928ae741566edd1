// The General format.
#pragma once

#include <string>

namespace dialsift::sheet::numfmt {

// Appends |value| as General writes it (no sign): an integer of at most 15
// digits in full; otherwise at most 11 characters, decimal when that shows
// at least as many significant digits as scientific notation would,
// scientific ("1.23457E+11", two exponent digits at least) when not.
void AppendGeneral(double value, std::string& out);

}  // namespace dialsift::sheet::numfmt
