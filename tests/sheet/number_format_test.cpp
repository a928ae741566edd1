// The engine feature by feature: tables of (code, value, displayed text) as
// the spreadsheet application shows them, one loop per table.
#include "sheet/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace dialsift::sheet {
namespace {

struct Case {
  const char* code;
  double value;
  const char* text;
};

void ExpectAll(const std::vector<Case>& cases, bool date1904 = false) {
  FormatEngine engine(date1904);
  for (const Case& c : cases) {
    EXPECT_EQ(engine.FormatNumber(c.value, engine.Intern(c.code)), c.text)
        << "code [" << c.code << "] value " << c.value;
  }
}

bool AllHashes(const std::string& s) {
  return !s.empty() && s.find_first_not_of('#') == std::string::npos;
}

TEST(NumberFormat, PhoneNumberFormats) {
  ExpectAll({
      {"[<=9999999]###-####;(###) ###-####", 8675309, "867-5309"},
      {"[<=9999999]###-####;(###) ###-####", 2813308004, "(281) 330-8004"},
      {"000-000-0000", 2125550123, "212-555-0123"},
      {"000-000-0000", 5550123, "000-555-0123"},
      {"\"+1 \"000 000 0000", 2125550123, "+1 212 555 0123"},
      {"(000) 000-0000", 2125550123, "(212) 555-0123"},
      {"00000-0000", 941051630, "94105-1630"},
      {"000-00-0000", 123456789, "123-45-6789"},
      {"General", 447911123456, "447911123456"},
      {"0", 447911123456, "447911123456"},
  });
}

TEST(NumberFormat, GeneralWritesWholeNumbersUpToFifteenDigitsInFull) {
  EXPECT_EQ(FormatGeneral(123456789012345), "123456789012345");
  EXPECT_EQ(FormatGeneral(-447911123456), "-447911123456");
  EXPECT_EQ(FormatGeneral(1e15), "1E+15");
  EXPECT_EQ(FormatGeneral(123456789012.5), "1.23457E+11");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatGeneral(1.0 / 3), "0.333333333");
  EXPECT_EQ(FormatGeneral(-2.0 / 3), "-0.666666667");
  EXPECT_EQ(FormatGeneral(1.5e-5), "0.000015");
  EXPECT_EQ(FormatGeneral(1.23456e-5), "1.23456E-05");
  EXPECT_EQ(FormatGeneral(1.2e-10), "1.2E-10");
  EXPECT_EQ(FormatGeneral(1e100), "1E+100");
  EXPECT_EQ(FormatGeneral(1.23456789e-100), "1.2346E-100");
  EXPECT_EQ(FormatGeneral(0), "0");
  EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity()), "#NUM!");
}

TEST(NumberFormat, SectionsPickBySign) {
  ExpectAll({
      {"0;(0)", 5, "5"},
      {"0;(0)", -5, "(5)"},
      {"0;(0)", 0, "0"},
      {"0;(0);\"zero\"", 0, "zero"},
      {"0;(0);\"zero\"", -0.001, "(0)"},
      {"0", -0.4, "-0"},
      {"0;;", -5, ""},
      {"0.00;-0.00;0;@", 1.234, "1.23"},
      {"\"pos\";\"neg\"", -1, "neg"},
      {"\"pos\";\"neg\"", 0, "pos"},
      {"[Red]0;[Blue]-0", -3, "-3"},
      // General in the negative section writes its own sign.
      {"0;General", -3, "-3"},
      // A section without placeholders shows no sign.
      {"\"none\"", -1, "none"},
  });
}

TEST(NumberFormat, ConditionsChooseSections) {
  ExpectAll({
      {"[>=100]\"big\";\"small\"", 100, "big"},
      {"[>=100]\"big\";\"small\"", 99, "small"},
      {"[<10]0\" Wow\"", 1, "1 Wow"},
      {"[<10]0\" Wow\"", 10, "10"},  // no section matches: General
      {"[<-10]0\" Wow\"", -11, "-11 Wow"},
      {"[>999999]#,,\"M\";[>999]#,\"K\";#", 1021.02, "1K"},
      {"[>999999]#,,\"M\";[>999]#,\"K\";#", 102102102, "102M"},
      {"[>999999]#,,\"M\";[>999]#,\"K\";#", 102, "102"},
      {"[=50]General;000", 49, "049"},
      {"[<>50]General;000", 50, "050"},
      {"[< 10]0\"!\"", 3, "3!"},
  });
}

TEST(NumberFormat, ColoursLocalesAndCurrencies) {
  ExpectAll({
      {"[Red]0.00", 1.5, "1.50"},
      {"[Color10]0", 7, "7"},
      {"[$-409]0.0", 2, "2.0"},
      {"[$€-407]#,##0.00", 1234.5, "€1,234.50"},
      {"[$USD] 0", 3, "USD 3"},
      {"[$£-809]#,##0.0000;\\-[$£-809]#,##0.0000", -3.14159, "-£3.1416"},
      {"[$-409]mmm\\-yy", 12345, "Oct-33"},
      {"[DBNum1]0", 4, "4"},
  });
}

TEST(NumberFormat, LiteralsSpacingAndFill) {
  ExpectAll({
      {"\"Tel: \"0", 5, "Tel: 5"},
      {"\\T\\e\\l 0", 5, "Tel 5"},
      {"$#,##0.00", -1234.5, "-$1,234.50"},
      {"0_);(0)", 5, "5 "},
      {"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", 0, " - "},
      {"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", -1234, " (1,234)"},
      {"**0", 5, "5"},
      {"0*-", 5, "5"},
      {"+0 ()!^&'~{}<>=", 1, "+1 ()!^&'~{}<>="},
      {"0\"", 1, "1"},  // unterminated quote
  });
}

TEST(NumberFormat, DigitPlaceholders) {
  ExpectAll({
      {"0.00", 1.005, "1.01"},  // rounds the shown decimal, not the double
      {"0.00", 1.004, "1.00"},
      {"0.00", -1.005, "-1.01"},
      {"0.0", 0.05, "0.1"},
      {"0", 2.5, "3"},
      {"0", -2.5, "-3"},
      {"#.##", 0, "."},
      {"#,###", 0, ""},
      {"0.##", 1, "1."},
      {"0.0#", 12.345, "12.35"},
      {"???.??", 1.5, "  1.5 "},
      {"00000", 123, "00123"},
      {"#", 123456789, "123456789"},
      {".00", 0.5, ".50"},
      {"\"x\".00\"y\"000", 3.14159, "x3.14y159"},
      {"0", 1e20, "100000000000000000000"},
  });
}

TEST(NumberFormat, ThousandsScalingAndPercent) {
  ExpectAll({
      {"#,##0", 1234567, "1,234,567"},
      {"#,##0.00", -1234.567, "-1,234.57"},
      {"0,000000000", 1234567, "0,001,234,567"},
      {"?,?????????", 1234567, "    1,234,567"},
      {",0", 1234567, ",1234567"},
      {"#,##0,", 1234567, "1,235"},
      {"#,##0,,\"M\"", 1234567890, "1,235M"},
      {"0.0,", 1234567, "1234.6"},
      {"0%", 0.125, "13%"},
      {"0.00%", 0.00035, "0.04%"},
      {"0%%", 0.5, "5000%%"},
  });
}

TEST(NumberFormat, Scientific) {
  ExpectAll({
      {"0.00E+00", 12345.6789, "1.23E+04"},
      {"0.00E+00", 0.000123, "1.23E-04"},
      {"0.00E-00", 12345.6789, "1.23E04"},
      {"0.00E+00", 0, "0.00E+00"},
      {"0.00E+00", 9.999, "1.00E+01"},
      {"##0.0E+0", 123456, "123.5E+3"},
      {"##0.0E+0", 1234, "1.2E+3"},
      {"0.0e+0", 12, "1.2e+1"},
      {"0E+0", 1e300, "1E+300"},
      {"#,##0.00e+00", 3.14159, "3.14e+00"},
  });
}

TEST(NumberFormat, Fractions) {
  ExpectAll({
      {"# ?/?", 1.5, "1 1/2"},
      {"# ?/?", 0.3, " 2/7"},
      {"# ?/?", 1, "1    "},
      {"# ?/?", 0.01, "0    "},
      {"# ?\?/??", 3.14159, "3  1/7 "},
      {"# ?\?/??", -12.34, "-12 17/50"},
      {"?\?/??", 1.25, " 5/4 "},
      {"# ?/4", 1.3, "1 1/4"},
      {"# ?/8", 0.99, "1    "},
      {"# ?\?/16", 2.5, "2  8/16"},
      {"# ?\?/100", 0.4567, " 46/100"},
      {"0 0/0", 0, "0 0/1"},
      {"#\" \"?/?", 2.5, "2 1/2"},
  });
}

TEST(NumberFormat, DatesIn1900System) {
  ExpectAll({
      {"yyyy-mm-dd", 1, "1900-01-01"},
      {"yyyy-mm-dd", 59, "1900-02-28"},
      {"yyyy-mm-dd", 60, "1900-02-29"},  // the leap-year quirk
      {"yyyy-mm-dd", 61, "1900-03-01"},
      {"yyyy-mm-dd", 0, "1900-01-00"},
      {"m/d/yy", 45000, "3/15/23"},
      {"dddd, mmmm d, yyyy", 45000, "Wednesday, March 15, 2023"},
      {"ddd mmm", 45000, "Wed Mar"},
      {"mmmmm", 45000, "M"},
      {"d-mmm-yy", 36526, "1-Jan-00"},
      {"yyyy-mm-dd", 2958465, "9999-12-31"},
      {"e", 45000, "2023"},
      {"b", 1, "43"},
      {"bbbb", 1, "2443"},
  });
}

TEST(NumberFormat, TimesAndMinuteRule) {
  ExpectAll({
      {"h:mm", 0.75, "18:00"},
      {"h:mm AM/PM", 0.75, "6:00 PM"},
      {"hh:mm AM/PM", 0, "12:00 AM"},
      {"h:mm a/p", 0.25, "6:00 a"},
      {"h AM/PM", 0.5, "12 PM"},
      {"mm:ss", 0.5 / 24, "30:00"},  // m before s: minutes
      {"h:mm:ss", 0.5 + 1.0 / 86400 * 61, "12:01:01"},
      {"m", 0.5, "1"},  // alone: month
      {"yyyy-mm-dd hh:mm", 45000.5, "2023-03-15 12:00"},
      {"h:mm:ss.000", 0.70707, "16:58:10.848"},
      {"ss.00", 1.0 / 86400 * 1.234, "01.23"},
      {"h:mm:ss", 0.999999, "0:00:00"},  // rounds into the next day
      {"d h:mm:ss", 1.999999, "2 0:00:00"},
      {"[h]:mm:ss", 2.9999999999999996, "72:00:00"},
      {"[h]:mm", 1.5, "36:00"},
      {"[mm]:ss", 1.0 / 24, "60:00"},
      {"[s]", 1, "86400"},
      {"[sssss]", 0.001, "00086"},
      {"[hhhhhhhhhhhhhhhhhhhhhhhhhhhhhh]", 1.5, "000000000000000000000000000036"},
      {"mmss.0", 12345.67876, "1724.9"},
  });
}

TEST(NumberFormat, DatesIn1904System) {
  ExpectAll(
      {
          {"yyyy-mm-dd", 0, "1904-01-01"},
          {"yyyy-mm-dd hh:mm:ss", 1.5, "1904-01-02 12:00:00"},
          {"[h]:mm:ss", -0.5, "-12:00:00"},
      },
      true);
}

TEST(NumberFormat, DatesOutOfRangeShowHashes) {
  FormatEngine engine;
  for (double v : {-1.0, -0.5, 2958466.0, 1e300}) {
    for (const char* code : {"yyyy-mm-dd", "h:mm", "[h]:mm", "m/d/yyyy h:mm"}) {
      const std::string text = engine.FormatNumber(v, engine.Intern(code));
      EXPECT_TRUE(AllHashes(text)) << code << " " << v << " gave " << text;
    }
  }
  FormatEngine mac(true);
  EXPECT_TRUE(AllHashes(mac.FormatNumber(2957004, mac.Intern("yyyy"))));
  EXPECT_EQ(mac.FormatNumber(2957003, mac.Intern("yyyy-mm-dd")), "9999-12-31");
}

TEST(NumberFormat, TextValues) {
  FormatEngine engine;
  struct TextCase {
    const char* code;
    const char* text;
    const char* shown;
  };
  for (const TextCase& c : std::vector<TextCase>{
           {"@", "abc", "abc"},
           {"\"<\"@\">\"", "abc", "<abc>"},
           {"0;-0;0;\"text: \"@", "abc", "text: abc"},
           {"0.00", "abc", "abc"},  // no text section: the text itself
           {"\"a\";\"b\";\"c\";\"d\"", "abc", "d"},
           {"@@", "ab", "abab"},
           {"[Red]@", "x", "x"},
           {"_(@_)", "x", " x "},
           {"_(@_)", "", ""},
       }) {
    EXPECT_EQ(engine.FormatText(c.text, engine.Intern(c.code)), c.shown) << c.code;
  }
  // A number through a text-only code is General.
  EXPECT_EQ(engine.FormatNumber(1.5, engine.Intern("@")), "1.5");
  EXPECT_EQ(engine.FormatNumber(-2, engine.Intern("\"x\"@")), "-2");
}

// Whether a code shows text unchanged is known from the code alone, and
// agrees with what its text section makes of any text.
TEST(NumberFormat, ShowsTextAsIsAgreesWithTheTextSection) {
  FormatEngine engine;
  for (const char* code :
       {"General", "@", "0.00", "[Red]@", "0;-0;0;@", "[$-409]@", "\"<\"@\">\"", "@@", "_(@_)",
        "0;-0;0;\"text: \"@", "\"a\";\"b\";\"c\";\"d\"", "@\" \"", "\\@", "*-@"}) {
    const auto h = engine.Intern(code);
    bool unchanged = true;
    for (const char* text : {"abc", "x y", "\xC3\xA9"}) {
      unchanged = unchanged && engine.FormatText(text, h) == text;
    }
    EXPECT_EQ(engine.ShowsTextAsIs(h), unchanged) << code;
  }
  EXPECT_TRUE(engine.ShowsTextAsIs(engine.InternBuiltin(49)));
  EXPECT_TRUE(engine.ShowsTextAsIs(9999));  // no such handle: General
}

TEST(NumberFormat, DisplayedTextOfEveryKindOfStoredValue) {
  FormatEngine engine;
  const auto wrap = engine.Intern("0.0;-0.0;0.0;\"<\"@\">\"");
  const auto general = engine.InternBuiltin(0);
  std::string scratch;
  EXPECT_EQ(engine.DisplayedText(StoredValue::Number(2), wrap, scratch), "2.0");
  EXPECT_EQ(engine.DisplayedText(StoredValue::Number(447911123456), general, scratch),
            "447911123456");
  EXPECT_EQ(engine.DisplayedText(StoredValue::Text("abc"), wrap, scratch), "<abc>");
  const std::string stored = "abc";
  const auto as_is = engine.DisplayedText(StoredValue::Text(stored), general, scratch);
  EXPECT_EQ(as_is.data(), stored.data());  // shown as stored, not copied
  // Booleans and errors are not formatted.
  EXPECT_EQ(engine.DisplayedText(StoredValue::Bool(true), wrap, scratch), "TRUE");
  EXPECT_EQ(engine.DisplayedText(StoredValue::Bool(false), wrap, scratch), "FALSE");
  EXPECT_EQ(engine.DisplayedText(StoredValue::Error("#N/A"), wrap, scratch), "#N/A");
  // A 1900 serial date through a date code.
  EXPECT_EQ(engine.DisplayedText(StoredValue::Number(45292), engine.Intern("yyyy-mm-dd"), scratch),
            "2024-01-01");
}

TEST(NumberFormat, BuiltinIds) {
  FormatEngine engine;
  EXPECT_EQ(BuiltinFormatCode(14), "m/d/yyyy");
  EXPECT_EQ(BuiltinFormatCode(49), "@");
  EXPECT_TRUE(BuiltinFormatCode(100).empty());
  struct IdCase {
    int id;
    double value;
    const char* shown;
  };
  for (const IdCase& c : std::vector<IdCase>{
           {0, 12.5, "12.5"},
           {3, 1234567, "1,234,567"},
           {5, -1234, "($1,234)"},
           {8, -1234.5, "($1,234.50)"},
           {10, 0.1234, "12.34%"},
           {11, 12345, "1.23E+04"},
           {14, 45000, "3/15/2023"},
           {22, 45000.75, "3/15/2023 18:00"},
           {37, -1234, "(1,234)"},
           {42, 0, " $- "},
           {44, 0, " $-   "},
           {44, 1234.5, " $1,234.50 "},
           {45, 0.5 / 24, "30:00"},
           {47, 0.5 / 24, "3000.0"},
           {48, 123456, "123.5E+3"},
           {57, 45000, "3/15/2023"},  // East Asian date id
           {999, 7, "7"},             // unknown: General
       }) {
    EXPECT_EQ(engine.FormatNumber(c.value, engine.InternBuiltin(c.id)), c.shown) << c.id;
  }
}

TEST(NumberFormat, EngineParsesEachCodeOnce) {
  FormatEngine engine;
  const auto a = engine.Intern("0.00");
  const auto b = engine.Intern("#,##0");
  EXPECT_NE(a, b);
  EXPECT_EQ(engine.Intern("0.00"), a);
  EXPECT_EQ(engine.InternBuiltin(2), a);
  EXPECT_EQ(engine.FormatNumber(1, a), "1.00");
  // A handle from nowhere renders General rather than failing.
  EXPECT_EQ(engine.FormatNumber(1.5, 12345u), "1.5");
  FormatEngine moved = std::move(engine);
  EXPECT_EQ(moved.FormatNumber(2, a), "2.00");
  moved.SetDate1904(true);
  EXPECT_TRUE(moved.Date1904());
}

TEST(NumberFormat, HostileCodesStayBounded) {
  FormatEngine engine;
  // The longest code the application accepts, all @, on the longest cell
  // text: the rendering stops at the cell's limit.
  const std::string long_text(32767, 'x');
  EXPECT_EQ(engine.FormatText(long_text, engine.Intern(std::string(255, '@'))).size(), 32767u);
  // Two-byte characters: cut before the limit, never inside a character.
  std::string accents;
  for (int i = 0; i < 20000; ++i) accents += "\xC3\xA9";
  const std::string cut = engine.FormatText(accents, engine.Intern("@@"));
  EXPECT_EQ(cut.size(), 32766u);
  EXPECT_EQ(cut.substr(cut.size() - 2), "\xC3\xA9");
  EXPECT_LE(engine.FormatNumber(1e300, engine.Intern("[h]")).size(), 300u);
  // A literal of 253 characters fills a code of 255: shown. One more and
  // the application drops the code: the value shows as General, the text
  // as it is.
  const std::string literal_255 = "\"" + std::string(253, 'x') + "\"";
  EXPECT_EQ(engine.FormatNumber(1, engine.Intern(literal_255)), std::string(253, 'x'));
  const std::string literal_256 = "0\"" + std::string(253, 'x') + "\"";
  EXPECT_EQ(engine.FormatNumber(1, engine.Intern(literal_256)), "1");
  EXPECT_EQ(engine.FormatText("t", engine.Intern(std::string(256, '@'))), "t");
  EXPECT_EQ(engine.FormatText("t", engine.Intern(std::string(1 << 20, '@'))), "t");
  // Characters are counted as the application counts them, not in bytes.
  std::string accented_literal = "\"";
  for (int i = 0; i < 250; ++i) accented_literal += "\xC3\xA9";
  accented_literal += "\"";
  EXPECT_EQ(engine.FormatNumber(1, engine.Intern(accented_literal)).size(), 500u);
  EXPECT_LE(engine.FormatNumber(1e308, engine.Intern("#,##0.00")).size(), 500u);
  for (const char* code : {"[", "]", "\"", "\\", "_", "*", ";;;;;;", "[<", "[>=x]0", "0/", "/0",
                           "?/", "E+", "0E+", ".", "[$", "[h", "#,,,,,,,,,,,,,,,", "b2"}) {
    EXPECT_NO_THROW(engine.FormatNumber(-12.5, engine.Intern(code))) << code;
    EXPECT_NO_THROW(engine.FormatText("t", engine.Intern(code))) << code;
  }
  EXPECT_EQ(engine.FormatNumber(std::nan(""), engine.Intern("0.00")), "#NUM!");
}

}  // namespace
}  // namespace dialsift::sheet
