// The pieces of a number-format code, one section at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dialsift::sheet::numfmt {

enum class Tok : std::uint8_t {
  kLiteral,   // text shown as is (quoted, escaped, _x spacing, plain characters)
  kGeneral,   // the word General
  kText,      // @, the text of a text cell
  kDigit,     // 0 # ? (ch)
  kPoint,     // .
  kComma,     // , (grouping, scaling or literal: decided per section)
  kPercent,   // %
  kExponent,  // E+ E- e+ e- (ch is '+' or '-', text the letter)
  kSlash,     // /
  kDateCode,  // a run of one date/time letter: ch in y m d h s e b g, width
  kAmPm,      // AM/PM (width 2) or A/P (width 1); text holds the two forms
  kElapsed,   // [h] [mm] [ss]...: ch in h m s, width
  // Resolved from kDateCode and kPoint when a section holds dates or times.
  kYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSecond,
  kSubSecond,  // .0 .00 .000 (width)
  kEraYear,
  kBuddhistYear,
  kNothing,  // resolved away (scaling commas, era names)
};

struct Token {
  Tok kind = Tok::kLiteral;
  char ch = 0;
  std::uint8_t width = 0;
  std::uint8_t zone = 0;  // number sections: 0 integer, 1 decimals, 2 exponent
  std::string text;
};

enum class CondOp : std::uint8_t { kNone, kLt, kLe, kGt, kGe, kEq, kNe };

struct Condition {
  CondOp op = CondOp::kNone;
  double value = 0;
  bool Present() const { return op != CondOp::kNone; }
  bool Matches(double v) const;
  // True when every number that matches is below zero.
  bool NegativeOnly() const {
    return (op == CondOp::kLt && value <= 0) ||
           ((op == CondOp::kLe || op == CondOp::kEq) && value < 0);
  }
};

// One section as written: its tokens and its [condition].
struct RawSection {
  std::vector<Token> tokens;
  Condition condition;
  // [$-F800] and [$-F400] stand for the system's long date and time
  // formats: the section shows these codes instead of its own.
  std::string_view system_code;
};

// Splits a format code into sections (at most four are kept) and each into
// tokens. Never fails: anything unknown is a literal.
std::vector<RawSection> Tokenize(std::string_view code);

}  // namespace dialsift::sheet::numfmt
