// The cells of OpenDocument spreadsheets, read from the content of an .ods
// (content.xml) or a flat .fods: a text cell shows the text of its
// paragraphs; a cell of a numeric type shows its value through its data
// style (ods_styles.h), or its stored text where that style cannot be
// rendered. Repeated rows and cells are
// expanded in place; repeated empty ones only move the position on, so the
// padding that spreadsheet applications write up to the sheet's end costs
// nothing and adds nothing to the used range.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheet/ods/ods_styles.h"
#include "sheet/result.h"
#include "sheet/workbook.h"
#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet::ods {

inline constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";

// Where the cells of each sheet go while the document is parsed.
class SheetRouter {
 public:
  virtual ~SheetRouter() = default;
  // A sheet begins: the sink for its cells, or nullptr to pass over it.
  virtual CellSink* BeginSheet(std::size_t index, std::string_view name) = 0;
  // The sheet (one that had a sink) ended, with what went wrong in it. Returns
  // false to end the parse there.
  virtual bool EndSheet(std::size_t index, const Status& status) = 0;
  // Asked before each row is expanded: true passes over the rest of the
  // current sheet without a word (it is then not ended either), so that
  // repeats nobody will keep cost nothing.
  virtual bool SkipRest() { return false; }
};

// Reads the sheets of the document (office:spreadsheet > table:table) and
// routes their cells.
class SheetHandler final : public XmlHandler {
 public:
  // Most cells that repeats may add to one sheet. A sheet that asks for more
  // is refused: no real workbook comes near it, a hostile one would hang.
  static constexpr std::uint64_t kMaxRepeatedCells = 20'000'000;
  // Characters kept of one cell's text, as a cell holds at most.
  static constexpr std::size_t kMaxCellChars = 32767;

  // `common`: the styles of styles.xml, when the document has them apart.
  explicit SheetHandler(SheetRouter& router, std::shared_ptr<const StyleSet> common = nullptr)
      : router_(router), common_(std::move(common)) {}

  void StartElement(const XmlName& name, const XmlAttributes& attrs) override;
  void EndElement(const XmlName& name) override;
  void Characters(std::string_view text) override;

 private:
  struct RowCell {
    std::uint64_t column;  // 1-based
    std::uint64_t repeat;
    std::string text;
  };

  // office:value-type; kOther for "string" and types not known here.
  enum class ValueType : std::uint8_t {
    kNone,
    kFloat,
    kPercentage,
    kCurrency,
    kDate,
    kTime,
    kBoolean,
    kOther
  };
  static ValueType TypeOf(std::string_view type);
  // Index of the office: attribute that holds a value of the type.
  static std::size_t ValueAttrFor(ValueType type);

  // Which of the namespaces read here a name is in (an Ns of the .cpp).
  std::uint8_t NsCode(const XmlName& name);

  void BeginTable(const XmlAttributes& attrs);
  void EndTable();
  void SheetFailed(Error error);
  void StartCell(const XmlAttributes& attrs, bool covered);
  void EndCell();
  void EndRow();
  void AppendText(std::string_view text);
  void StartColumn(const XmlAttributes& attrs);
  // The typed value shown through the cell's data style; nullopt keeps the
  // stored text.
  std::optional<std::string> RenderValue(std::uint64_t column);

  SheetRouter& router_;
  // Styles: those of the document part, collected before its body, and the
  // formats made of them once the body begins.
  std::shared_ptr<const StyleSet> common_;
  StyleSet styles_;
  StyleCollector collector_{styles_};
  std::optional<CellFormats> formats_;
  // The cell style of the current sheet's columns from `first` on.
  struct ColumnStyle {
    std::uint64_t first;
    std::string style;
  };
  std::vector<ColumnStyle> column_styles_;
  std::uint64_t columns_declared_ = 0;
  struct NsSeen {
    std::uint64_t id = 0;  // the parser's number of the declaration
    std::uint8_t ns = 0;
  };
  std::array<NsSeen, 8> ns_seen_{};
  int spreadsheet_depth_ = 0;
  int table_depth_ = 0;
  std::size_t tables_seen_ = 0;
  CellSink* sink_ = nullptr;  // the current sheet's, while it takes cells
  std::optional<Error> sheet_error_;

  // Position, 1-based; wide so that hostile repeat counts cannot wrap.
  std::uint64_t row_ = 1;
  std::uint64_t column_ = 1;
  std::uint64_t row_repeat_ = 1;
  bool in_row_ = false;
  std::vector<RowCell> row_cells_;  // the first row_used_ hold the current row's cells
  std::size_t row_used_ = 0;
  std::uint64_t repeated_cells_ = 0;
  bool beyond_ = false;  // content beyond the last row or column was met

  // The cell being read.
  bool in_cell_ = false;
  bool covered_ = false;
  int cell_depth_ = 0;       // element depth below the cell
  int paragraph_depth_ = 0;  // > 0 inside one of the cell's own paragraphs
  int hidden_depth_ = 0;     // > 0 inside annotations, shapes, note bodies
  std::uint64_t cell_repeat_ = 1;
  int paragraphs_ = 0;
  std::string* text_ = nullptr;  // the cell's text: its row slot's string
  bool counting_ = false;        // text_chars_ counts the characters of text_
  std::size_t text_chars_ = 0;   // once the bytes could go beyond a cell's
  ValueType value_type_ = ValueType::kNone;
  std::string value_;  // the typed value, for cells stored without text
  std::string style_;  // table:style-name
  bool formula_ = false;
};

// Parses the document that holds the sheets (content.xml, or a whole .fods)
// with a handler; called once at opening and again for sheets not kept.
using ParseContent = std::function<Status(XmlHandler&)>;

// The content of a flat .fods file: parsed from the file, kept open, each
// time it is asked for, so that the document is never held whole.
Result<ParseContent> FlatContent(const std::filesystem::path& path);

// Opens a document: reads the sheet names and keeps the cells of the sheets
// in memory while they fit in `keep_budget` bytes (in chunks of
// `first_chunk` bytes, doubling up to `last_chunk`); the other sheets are
// parsed again when they are read.
inline constexpr std::size_t kFirstKeepChunk = std::size_t{64} << 10;
inline constexpr std::size_t kLastKeepChunk = std::size_t{2} << 20;
// `common`: the styles of styles.xml, for an .ods package.
Result<std::unique_ptr<Workbook>> OpenDocument(ParseContent parse, std::size_t keep_budget,
                                               std::size_t first_chunk = kFirstKeepChunk,
                                               std::size_t last_chunk = kLastKeepChunk,
                                               std::shared_ptr<const StyleSet> common = nullptr);

}  // namespace dialsift::sheet::ods
