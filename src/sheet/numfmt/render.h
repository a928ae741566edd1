// Rendering of one chosen section. Every function takes the magnitude of
// the value (the sign is the caller's business) and appends to `out`.
#pragma once

#include <string>
#include <string_view>

#include "sheet/numfmt/decimal.h"
#include "sheet/numfmt/section.h"

namespace dialsift::sheet::numfmt {

// Longest text a cell can show (bytes of UTF-8 here). Renderings stop
// there; a text section that repeats a long text many times must never
// build a longer string first.
inline constexpr std::size_t kMaxOutput = 32767;

// Appends as much of `piece` as fits below kMaxOutput, never half of a
// UTF-8 sequence. False once `out` is full.
bool AppendBounded(std::string& out, std::string_view piece);

// Number sections: digits, grouping, scaling, percent, literals.
void RenderNumber(const Section& s, double magnitude, Decimal d, std::string& out);
// Scientific sections (E+ E-).
void RenderScientific(const Section& s, double magnitude, std::string& out);
// Fraction sections (# ?/?, ??/??, ?/16...).
void RenderFraction(const Section& s, double magnitude, std::string& out);
// Date and time sections. False when the value is no date the application
// can show (beyond 9999-12-31); the caller then shows a run of '#'.
bool RenderDateTime(const Section& s, double magnitude, bool date1904, std::string& out);
// Text sections for a text value.
void RenderText(const Section& s, std::string_view text, std::string& out);

// Digits right-aligned into placeholders, as the integer part of a number,
// the numerator of a fraction or an exponent is shown. `digits` holds no
// leading zeros ("" for zero). Fills `parts` with the text of each
// placeholder of `kinds` (the first one also takes the digits that do not
// fit); `group` puts a thousands separator between every three digits.
void FillRight(std::string_view kinds, std::string_view digits, bool group, std::string* parts);

}  // namespace dialsift::sheet::numfmt
