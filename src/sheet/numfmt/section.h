// A parsed format code: its sections, what each one renders, and the rules
// that pick the section for a value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/numfmt/token.h"

namespace dialsift::sheet::numfmt {

enum class Kind : std::uint8_t { kNumber, kScientific, kFraction, kDateTime, kText };

// Where the pieces of a fraction section sit in its token list: tokens
// [0, int_end) are the integer part (with any text before it), [int_end,
// num_begin) the separator, [num_begin, num_end) the numerator, [num_end,
// den_begin) the bar, [den_begin, den_end) the denominator, the rest follow.
struct FractionLayout {
  int int_end = 0, num_begin = 0, num_end = 0, den_begin = 0, den_end = 0;
  bool has_integer = false;
  long long fixed_denominator = 0;  // 0: chosen by the placeholders
  int denominator_digits = 0;
};

struct Section {
  std::vector<Token> tokens;
  Condition condition;
  Kind kind = Kind::kNumber;
  bool shows_number = false;  // has digit placeholders or General
  // Number and scientific sections.
  int int_count = 0, frac_count = 0, exp_count = 0;
  int percent = 0, scale = 0;
  bool group = false;
  bool has_point = false;
  std::string int_kinds;  // the integer placeholders' characters (0 # ?), left to right
  // Date and time sections.
  int subsecond = 0;  // decimals of the seconds (0-3)
  bool hour12 = false;
  char elapsed = 0;           // unit of [h] [m] [s], 0 when none
  bool elapsed_only = false;  // nothing but elapsed units ([h], [ss]...)
  FractionLayout fraction;
};

struct Format {
  std::vector<Section> sections;
  std::uint8_t numeric[3] = {};
  int numeric_count = 0;  // 0: numbers render as General
  int text = -1;          // section for text values, -1: the text as is
  bool conditional = false;
};

Format ParseFormat(std::string_view code);

// The section that renders `value`, and whether a minus sign goes in front
// of it. nullptr: render as General.
struct Choice {
  const Section* section = nullptr;
  bool minus = false;
};
Choice ChooseSection(const Format& format, double value);

}  // namespace dialsift::sheet::numfmt
