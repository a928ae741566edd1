#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/test_paths.h"
#include "common/write_zip.h"
#include "sheet/ods/flat_document.h"
#include "sheet/text_cells.h"

namespace dialsift::test {
namespace {

constexpr std::string_view kNamespaces =
    R"( xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")"
    R"( xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0")"
    R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")"
    R"( xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0")"
    R"( xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0")";

// A flat document: `prolog` before the root, `styles` as its automatic
// styles, one sheet "Data" of `columns` and one row of `cells`.
std::string Flat(std::string_view styles, std::string_view cells, std::string_view columns = "",
                 std::string_view prolog = R"(<?xml version="1.0" encoding="UTF-8"?>)",
                 std::string_view root_attrs = "") {
  std::string xml(prolog);
  xml += "<office:document";
  xml += kNamespaces;
  xml += root_attrs;
  xml += R"( office:mimetype="application/vnd.oasis.opendocument.spreadsheet">)";
  xml += "<office:automatic-styles>" + std::string(styles) + "</office:automatic-styles>";
  xml += R"(<office:body><office:spreadsheet><table:table table:name="Data">)";
  xml += std::string(columns) + "<table:table-row>" + std::string(cells) + "</table:table-row>";
  return xml + "</table:table></office:spreadsheet></office:body></office:document>";
}

class OdsStylesTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(std::string_view bytes, const std::string& ext = ".fods") {
    const auto path = dir_.path() / ("book" + std::to_string(++count_) + ext);
    WriteFile(path, bytes);
    return path;
  }
  // The first sheet's name and cells; the name is "ERROR: ..." when the
  // file does not open or the sheet does not read.
  std::pair<std::string, SheetCells> Read(const std::filesystem::path& path) {
    SheetCells cells;
    auto book = sheet::OpenWorkbook(path);
    if (!book) return {"ERROR: " + book.error().reason, cells};
    const Status status = (*book)->ReadSheet(0, cells);
    if (!status) return {"ERROR: " + status.error().reason, cells};
    return {(*book)->Sheets()[0].name, cells};
  }
  TempDir dir_;
  int count_ = 0;
};

#define NUMBER_STYLE(body) R"(<number:number-style style:name="N1">)" body "</number:number-style>"
#define DATE_STYLE(body) R"(<number:date-style style:name="N1">)" body "</number:date-style>"
#define TIME_STYLE(body) R"(<number:time-style style:name="N1">)" body "</number:time-style>"
#define FLOAT(v) R"(office:value-type="float" office:value=")" v R"(")"
#define DATE(v) R"(office:value-type="date" office:date-value=")" v R"(")"
#define TIME(v) R"(office:value-type="time" office:time-value=")" v R"(")"
#define STYLED R"(table:style-name="ce1" )"

constexpr const char* kPhone =
    R"(<number:text>(</number:text>)"
    R"(<number:number number:decimal-places="0" number:min-integer-digits="10">)"
    R"(<number:embedded-text number:position="7">) </number:embedded-text>)"
    R"(<number:embedded-text number:position="4">-</number:embedded-text></number:number>)";
constexpr const char* kMapped =
    R"(<number:number-style style:name="N1P0">)"
    R"(<number:number number:decimal-places="0" number:min-integer-digits="0">)"
    R"(<number:embedded-text number:position="4">-</number:embedded-text></number:number>)"
    R"(</number:number-style><number:number-style style:name="N1"><number:text>(</number:text>)"
    R"(<number:number number:decimal-places="0" number:min-integer-digits="0">)"
    R"(<number:embedded-text number:position="7">) </number:embedded-text>)"
    R"(<number:embedded-text number:position="4">-</number:embedded-text></number:number>)"
    R"(<style:map style:condition="value()&lt;=9999999" style:apply-style-name="N1P0"/>)"
    R"(</number:number-style>)";
constexpr const char* kNegativeInBrackets =
    R"(<number:number-style style:name="N1P0">)"
    R"(<number:number number:decimal-places="2" number:min-integer-digits="1"/>)"
    R"(</number:number-style><number:number-style style:name="N1"><number:text>(</number:text>)"
    R"(<number:number number:decimal-places="2" number:min-integer-digits="1"/>)"
    R"(<number:text>)</number:text>)"
    R"(<style:map style:condition="value()&gt;=0" style:apply-style-name="N1P0"/>)"
    R"(</number:number-style>)";
#define CLOCK                                                            \
  R"(<number:hours number:style="long"/><number:text>:</number:text>)"   \
  R"(<number:minutes number:style="long"/><number:text>:</number:text>)" \
  R"(<number:seconds number:style="long"/>)"

// Each data style, as cell style "ce1" names it, with a typed value and a
// stale stored text: what the cell shows.
TEST_F(OdsStylesTest, DataStylesShowTheValueAsTheApplicationsDo) {
  const std::string phone =
      std::string(R"(<number:number-style style:name="N1">)") + kPhone + "</number:number-style>";
  struct Case {
    std::string data_style;
    const char* cell;  // the cell's attributes
    const char* stored;
    const char* want;
  };
  const Case cases[] = {
      // General, with the integer rule; no style at all is General too.
      {NUMBER_STYLE(R"(<number:number number:min-integer-digits="1"/>)"),
       STYLED FLOAT("2125550147.0"), "2125550147.0", "2125550147"},
      {"", FLOAT("2125550147.0"), "2125550147.0", "2125550147"},
      {NUMBER_STYLE(R"(<number:number/><number:text> kg</number:text>)"), STYLED FLOAT("2.5"),
       "2.50", "2.5 kg"},
      // Decimals, grouping, leading zeros, scaling, literals.
      {NUMBER_STYLE(R"(<number:number number:decimal-places="2" number:min-integer-digits="1")"
                    R"( number:grouping="true"/>)"),
       STYLED FLOAT("1234.5"), "1234.5", "1,234.50"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="0" number:min-integer-digits="4"/>)"),
       STYLED FLOAT("-12"), "-12", "-0012"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="3" number:min-decimal-places="1")"
                    R"( number:min-integer-digits="1"/>)"),
       STYLED FLOAT("2.5"), "2.500", "2.5"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="1" number:min-integer-digits="1")"
                    R"( number:display-factor="1000"/>)"),
       STYLED FLOAT("1234567"), "1234567", "1234.6"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="0" number:min-integer-digits="1"/>)"
                    R"(<number:text> "x"</number:text>)"),
       STYLED FLOAT("5"), "5", "5 \"x\""},
      // Phone formats: embedded text, and a condition choosing the style.
      {phone, STYLED FLOAT("2125550185"), "2125550185", "(212) 555-0185"},
      {kMapped, STYLED FLOAT("5550187"), "5550187", "555-0187"},
      {kMapped, STYLED FLOAT("2125550186"), "2125550186", "(212) 555-0186"},
      // The style for what the condition leaves (negatives) carries its sign.
      {kNegativeInBrackets, STYLED FLOAT("-5"), "-5", "(5.00)"},
      {kNegativeInBrackets, STYLED FLOAT("5"), "5", "5.00"},
      // Percentages, currencies, scientific, fractions.
      {R"(<number:percentage-style style:name="N1"><number:number number:decimal-places="1")"
       R"( number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>)",
       STYLED R"(office:value-type="percentage" office:value="0.256")", "0.256", "25.6%"},
      {R"(<number:currency-style style:name="N1"><number:currency-symbol>$</number:currency-symbol>)"
       R"(<number:number number:decimal-places="2" number:min-integer-digits="1")"
       R"( number:grouping="true"/></number:currency-style>)",
       STYLED R"(office:value-type="currency" office:currency="USD" office:value="1234.5")",
       "1234.5", "$1,234.50"},
      {NUMBER_STYLE(R"(<number:scientific-number number:decimal-places="2")"
                    R"( number:min-integer-digits="1" number:min-exponent-digits="2"/>)"),
       STYLED FLOAT("12345"), "12345", "1.23E+04"},
      {NUMBER_STYLE(R"(<number:fraction number:min-integer-digits="0")"
                    R"( number:min-numerator-digits="1" number:min-denominator-digits="1"/>)"),
       STYLED FLOAT("1.5"), "1.5", "1 1/2"},
      {NUMBER_STYLE(R"(<number:fraction number:min-numerator-digits="1")"
                    R"( number:denominator-value="4"/>)"),
       STYLED FLOAT("0.75"), "0.75", "3/4"},
      // Dates and times, from their own values or from serial days.
      {DATE_STYLE(R"(<number:month number:style="long"/><number:text>/</number:text>)"
                  R"(<number:day number:style="long"/><number:text>/</number:text>)"
                  R"(<number:year number:style="long"/>)"),
       STYLED DATE("2024-03-05T10:30:00"), "2024-03-05", "03/05/2024"},
      {DATE_STYLE(R"(<number:month number:style="long"/><number:text>/</number:text>)"
                  R"(<number:day number:style="long"/><number:text>/</number:text>)"
                  R"(<number:year number:style="long"/>)"),
       STYLED DATE("1900-01-01"), "1900-01-01", "01/01/1900"},
      {DATE_STYLE(R"(<number:day-of-week number:style="long"/><number:text>, </number:text>)"
                  R"(<number:month number:textual="true"/><number:text> </number:text>)"
                  R"(<number:day/><number:text>, </number:text><number:year/>)"),
       STYLED FLOAT("45356"), "45356", "Tuesday, Mar 5, 24"},
      {TIME_STYLE(R"(<number:hours number:style="long"/><number:text>:</number:text>)"
                  R"(<number:minutes number:style="long"/><number:text> </number:text>)"
                  R"(<number:am-pm/>)"),
       STYLED TIME("PT13H05M09S"), "13:05", "01:05 PM"},
      {TIME_STYLE(CLOCK), STYLED TIME("PT16H17M36.96S"), "", "16:17:36"},
      {R"(<number:time-style style:name="N1" number:truncate-on-overflow="false">)"
       R"(<number:hours/><number:text>:</number:text><number:minutes number:style="long"/>)"
       R"(<number:text>:</number:text><number:seconds number:style="long"/></number:time-style>)",
       STYLED TIME("PT36H30M59.6S"), "", "36:31:00"},
      // Booleans, and the text style, which leaves numbers to General.
      {R"(<number:boolean-style style:name="N1"><number:boolean/></number:boolean-style>)",
       STYLED R"(office:value-type="boolean" office:boolean-value="true")", "VRAI", "TRUE"},
      {"", R"(office:value-type="boolean" office:boolean-value="false")", "FAUX", "FALSE"},
      {R"(<number:text-style style:name="N1"><number:text-content/></number:text-style>)",
       STYLED FLOAT("2125550147"), "2125550147.0", "2125550147"},
      // What the stored text stands for: styles the engine cannot show...
      {DATE_STYLE(R"(<number:week-of-year/>)"), STYLED DATE("2024-03-05"), "Week 10", "Week 10"},
      {DATE_STYLE(R"(<number:quarter/>)"), STYLED DATE("2024-03-05"), "Q1", "Q1"},
      {DATE_STYLE(R"(<number:year number:calendar="hijri"/>)"), STYLED DATE("2024-03-05"), "1445",
       "1445"},
      {R"(<number:date-style style:name="N1" number:format-source="language"><number:month/>)"
       R"(<number:text>/</number:text><number:day/></number:date-style>)",
       STYLED DATE("2024-03-05"), "03/05", "03/05"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="0" number:display-factor="7"/>)"),
       STYLED FLOAT("70"), "ten", "ten"},
      {NUMBER_STYLE(
           R"(<number:number number:decimal-places="0"/>)"
           R"(<style:map style:condition="cell-content()>0" style:apply-style-name="N2"/>)"),
       STYLED FLOAT("70"), "seventy", "seventy"},
      // ...types whose usual format applies without a data style, values
      // that are no number, and the results of formulas in General cells,
      // whose format the application infers from the formula.
      {"", DATE("2024-03-05"), "Mar 5", "Mar 5"},
      {"", R"(office:value-type="currency" office:value="3")", "3,00 €", "3,00 €"},
      {DATE_STYLE(R"(<number:year/>)"), STYLED DATE("1899-12-31"), "1899", "1899"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="0"/>)"), STYLED FLOAT("n/a"), "n/a",
       "n/a"},
      {"", R"x(table:formula="of:=TRUE()" )x" FLOAT("1"), "TRUE", "TRUE"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="2" number:min-integer-digits="1"/>)"),
       STYLED R"(table:formula="of:=1/0" )" FLOAT("0"), "#DIV/0!", "#DIV/0!"},
      {NUMBER_STYLE(R"(<number:number number:decimal-places="2" number:min-integer-digits="1"/>)"),
       STYLED R"(table:formula="of:=2/4" )" FLOAT("0.5"), "0.5", "0.50"},
  };
  for (const Case& c : cases) {
    std::string styles = c.data_style;
    styles += R"(<style:style style:name="ce1" style:family="table-cell")"
              R"( style:data-style-name="N1"/>)";
    const std::string cell = std::string("<table:table-cell ") + c.cell + "><text:p>" + c.stored +
                             "</text:p></table:table-cell>";
    const auto [name, cells] = Read(Write(Flat(styles, cell)));
    EXPECT_EQ(cells.At(1, 1), c.want) << c.data_style << " | " << c.cell;
  }
}

// The style comes from the cell, else its column; a cell style without a
// data style takes its parent's; the content's styles may name the common
// ones of styles.xml.
TEST_F(OdsStylesTest, CellStylesResolveThroughColumnsParentsAndCommonStyles) {
  const std::string styles_xml =
      std::string(R"(<office:document-styles)") + std::string(kNamespaces) + "><office:styles>" +
      NUMBER_STYLE(R"(<number:number number:decimal-places="0" number:min-integer-digits="4"/>)") +
      R"(<number:number-style style:name="N2">)" + kPhone + "</number:number-style>" +
      R"(<style:style style:name="Phone" style:family="table-cell" style:data-style-name="N2"/>)"
      "</office:styles></office:document-styles>";
  const std::string content =
      std::string(R"(<office:document-content)") + std::string(kNamespaces) +
      "><office:automatic-styles>"
      R"(<style:style style:name="ce1" style:family="table-cell" style:parent-style-name="Phone"/>)"
      R"(<style:style style:name="ce2" style:family="table-cell" style:data-style-name="N1"/>)"
      R"(</office:automatic-styles><office:body><office:spreadsheet><table:table table:name="S">)"
      R"(<table:table-column/><table:table-column table:default-cell-style-name="ce1")"
      R"( table:number-columns-repeated="2"/><table:table-row>)"
      R"(<table:table-cell table:style-name="ce2" office:value-type="float" office:value="12">)"
      R"(<text:p>12</text:p></table:table-cell>)"
      R"(<table:table-cell office:value-type="float" office:value="2125550147">)"
      R"(<text:p>2125550147</text:p></table:table-cell>)"
      R"(<table:table-cell office:value-type="float" office:value="2125550148">)"
      R"(<text:p>2125550148</text:p></table:table-cell>)"
      R"(<table:table-cell office:value-type="float" office:value="2125550149">)"
      R"(<text:p>2125550149</text:p></table:table-cell>)"
      "</table:table-row></table:table></office:spreadsheet></office:body>"
      "</office:document-content>";
  const auto path = dir_.path() / "common.ods";
  WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                  {"content.xml", content},
                  {"styles.xml", styles_xml}});
  const auto [name, cells] = Read(path);
  ASSERT_EQ(name, "S");
  EXPECT_EQ(cells.At(1, 1), "0012");
  EXPECT_EQ(cells.At(1, 2), "(212) 555-0147");
  EXPECT_EQ(cells.At(1, 3), "(212) 555-0148");
  EXPECT_EQ(cells.At(1, 4), "2125550149");
}

// pandas writes floats with the text str(value); every number is found.
TEST_F(OdsStylesTest, PandasWorkbooksShowTheirNumbers) {
  for (const char* name : {"pandas_phones.ods", "pandas_phones.fods"}) {
    EXPECT_EQ(WorkbookText(TestData() / "ods" / name),
              "name phone ext active since Ann 2125550147 101 TRUE 03/05/21 Bob 2125550148 102 "
              "FALSE 11/30/22 Cy  103 TRUE 01/02/23 Di 4479111234567 104 TRUE 07/14/20 Ed "
              "2125550150 105 FALSE 12/31/19")
        << name;
  }
}

std::string Utf16(std::string_view ascii, bool big_endian, bool bom) {
  std::string out;
  if (bom) out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) {
    out += big_endian ? '\0' : c;
    out += big_endian ? c : '\0';
  }
  return out;
}

// Flat files are told by their root element, whatever comes before it, in
// UTF-8 or UTF-16; anything else stays a text file.
TEST_F(OdsStylesTest, FlatFilesAreToldByTheirRootElement) {
  const std::string cell =
      R"(<table:table-cell office:value-type="string"><text:p>212-555-0147</text:p>)"
      "</table:table-cell>";
  std::string namespaces;
  for (int i = 0; i < 300; ++i) {
    namespaces +=
        " xmlns:ns" + std::to_string(i) + "=\"urn:example:namespace:" + std::to_string(i) + "\"";
  }
  const std::string plain = Flat("", cell);
  struct Case {
    std::string bytes;
    const char* want;  // the first sheet's name: "Data" for a flat file
  };
  const Case cases[] = {
      {plain, "Data"},
      {"\xEF\xBB\xBF" + plain, "Data"},
      {Flat("", cell, "",
            "<?xml version=\"1.0\"?>\n<!--" + std::string(20000, 'x') + " -->\n<?app x?>\n  "),
       "Data"},
      {Flat("", cell, "", "<!DOCTYPE office:document SYSTEM \"office.dtd\">\n"), "Data"},
      {Flat("", cell, "", "", namespaces), "Data"},
      {Utf16(Flat("", cell, "", R"(<?xml version="1.0" encoding="UTF-16"?>)"), false, true),
       "Data"},
      {Utf16(Flat("", cell, "", R"(<?xml version="1.0" encoding="UTF-16"?>)"), true, true), "Data"},
      {Utf16(Flat("", cell, "", ""), true, false), "Data"},
      {Utf16(Flat("", cell, "", "\n"), false, false), "Data"},
      // A document type that declares entities is refused by the parser.
      {Flat("", cell, "", "<!DOCTYPE office:document [<!ENTITY a \"b\">]>"),
       "ERROR: XML refused in the document (a document type declaration"},
      // Not flat documents.
      {"name,office:document,opendocument\n212-555-0147,x,y\n", "book"},
      {R"(<?xml version="1.0"?><Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet">)"
       "212-555-0147</Workbook>",
       "book"},
      {"<!--" + std::string(sheet::ods::kFlatSniffBytes, ' ') + "-->" + plain, "book"},
  };
  for (const Case& c : cases) {
    const auto dir = dir_.path() / std::to_string(++count_);
    std::filesystem::create_directory(dir);
    const auto path = dir / "book.csv";
    WriteFile(path, c.bytes);
    const auto [name, cells] = Read(path);
    EXPECT_EQ(name.substr(0, std::string_view(c.want).size()), c.want) << c.bytes.substr(0, 80);
    if (name == "Data") {
      EXPECT_EQ(cells.At(1, 1), "212-555-0147");
    }
  }
}

}  // namespace
}  // namespace dialsift::test
