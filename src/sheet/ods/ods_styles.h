// The data styles of OpenDocument spreadsheets and the cell styles that
// name them, turned into the number-format codes of our format engine, so
// that a typed cell shows its value the way the applications that read
// .ods show it, through one renderer for every format.
//
// A data style (number:number-style, currency-, percentage-, date-, time-,
// boolean- and text-style) becomes one format code; its style:map entries
// become conditions that pick another data style. A style with a part the
// engine cannot show (week of the year, quarter, era, another calendar, an
// odd display factor...) is marked so: its cells keep their stored text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/numfmt/token.h"
#include "sheet/xml/xml_handler.h"

namespace dialsift::sheet::ods {

inline constexpr std::string_view kStyleNs = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
inline constexpr std::string_view kNumberNs = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";

enum class StyleFamily : std::uint8_t {
  kNumber,
  kCurrency,
  kPercentage,
  kDate,
  kTime,
  kBoolean,
  kText
};

struct DataStyle {
  struct Map {
    numfmt::Condition condition;
    std::string apply;  // the data style used when the condition holds
  };
  StyleFamily family = StyleFamily::kNumber;
  std::string code;  // the format code of the style's own elements
  bool renderable = true;
  // Seconds per smallest clock unit shown (1, 60, 3600; 0.1... with
  // decimals of the seconds), 0 when none is: the applications that read
  // .ods cut the time there instead of rounding it.
  double clock_unit = 0;
  std::vector<Map> maps;
};

struct CellStyle {
  std::string parent;
  std::optional<std::string> data_style;
};

// The styles of one document part: the common styles of styles.xml, or the
// styles of content.xml (of a .fods, all of its styles).
struct StyleSet {
  std::unordered_map<std::string, DataStyle> data;
  std::unordered_map<std::string, CellStyle> cells;
  std::optional<std::string> default_data_style;  // of style:default-style
};

// Collects the styles of office:styles and office:automatic-styles from the
// events of a parse; elements elsewhere are passed over.
class StyleCollector final : public XmlHandler {
 public:
  explicit StyleCollector(StyleSet& into) : into_(into) {}

  void StartElement(const XmlName& name, const XmlAttributes& attrs) override;
  void EndElement(const XmlName& name) override;
  void Characters(std::string_view text) override;

  // True inside a styles container, where the events matter.
  bool Inside() const { return container_depth_ > 0; }

 private:
  void StartDataPart(std::string_view local, const XmlAttributes& attrs);
  void EndDataPart(std::string_view local);
  void AddLiteral(std::string_view text);

  StyleSet& into_;
  int container_depth_ = 0;
  int depth_ = 0;  // below the container
  // The data style being read.
  DataStyle* data_ = nullptr;
  int data_depth_ = 0;  // its element's depth
  bool elapsed_ = false;
  std::string text_;  // characters of the element being read
  bool in_text_ = false;
  // number:number being read: its attributes and embedded texts.
  struct Embedded {
    long long position;
    std::string text;
  };
  bool in_number_ = false;
  int decimals_ = -1, min_decimals_ = -1, min_integers_ = 0;
  bool grouping_ = false;
  int scale_commas_ = 0;
  std::vector<Embedded> embedded_;
  std::optional<long long> embedded_at_;
};

// Renders typed values through the cell styles of a document. One per
// parse: it interns each style's code once and keeps what a style name
// resolves to.
class CellFormats {
 public:
  // `common`: the styles of styles.xml (nullptr for none); `content` those
  // of the part being parsed, read before its cells.
  CellFormats(std::shared_ptr<const StyleSet> common, const StyleSet& content);

  // What a cell without a data style shows.
  enum class Unstyled : std::uint8_t { kStoredText, kGeneral, kBoolean };
  // What a cell of style `style` shows for `value` (a number; dates and
  // times as serial days, booleans 1 or 0), or nullopt for its stored text:
  // its data style cannot be rendered, or it has none and `unstyled` says so.
  std::optional<std::string> Render(std::string_view style, double value, Unstyled unstyled);

 private:
  struct Branch {
    numfmt::Condition condition;
    FormatEngine::Handle handle = 0;
    StyleFamily family = StyleFamily::kNumber;
    bool magnitude = false;  // shows the value without its sign
    double clock_unit = 0;
  };
  struct Plan {
    // False also for a plain General style: the applications then show the
    // value in the usual format of its type.
    bool has_style = false;
    bool renderable = true;
    std::vector<Branch> branches;  // the last one has no condition
  };
  const DataStyle* FindData(std::string_view name, bool content_first) const;
  Plan MakePlan(std::string_view style);

  std::shared_ptr<const StyleSet> common_;
  const StyleSet& content_;
  FormatEngine engine_;
  std::unordered_map<std::string, Plan> plans_;
  std::string last_name_;
  const Plan* last_ = nullptr;
};

// Serial days of an ODF date value ("2024-03-01", "2024-03-01T10:30:00"),
// counted as the format engine counts them; nullopt for what it cannot show.
std::optional<double> DateSerial(std::string_view value);
// Days of an ODF duration ("PT10H30M00S", "-P1DT2H").
std::optional<double> DurationDays(std::string_view value);

}  // namespace dialsift::sheet::ods
