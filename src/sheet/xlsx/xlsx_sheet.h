// Streams the cells of one worksheet part to a CellSink, each with its
// displayed text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/workbook.h"
#include "sheet/xlsx/xlsx_parts.h"
#include "sheet/xml/xml_split.h"
#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet::xlsx {

// What a worksheet's cells are rendered with: the workbook's shared tables.
struct SheetContext {
  const opc::SharedStrings* strings = nullptr;
  std::span<const FormatEngine::Handle> styles;  // cellXfs index -> format
  FormatEngine* engine = nullptr;
  bool date1904 = false;
};

// The cells a handler reading ahead keeps, handed on later in order.
class KeptCells final : public CellSink {
 public:
  // What a stretch may keep: a row of short XML cells may show long shared
  // strings, and a stretch that would keep more is read again in its turn.
  static constexpr std::size_t kMaxBytes = std::size_t{16} << 20;
  // And a long row of empty cells keeps their places.
  static constexpr std::size_t kMaxCells = std::size_t{1} << 20;

  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override;
  // Notes the end of a row, where the receiver is asked whether to stop.
  // True once more was found than may be kept.
  bool Cancelled() override;
  bool Full() const { return full_; }
  // False when `to` asked to stop.
  bool HandOn(CellSink& to) const;
  void Clear();
  void Reserve();

 private:
  struct Kept {
    std::uint32_t row;  // 0: the end of a row
    std::uint32_t column;
    std::uint32_t begin;  // of its text in text_
    std::uint32_t size;
  };
  std::vector<Kept> cells_;
  std::string text_;
  bool full_ = false;
};

class SheetHandler final : public SplitHandler {
 public:
  // Largest value of one cell. A spreadsheet application holds at most
  // 32,767 characters in a cell; this bounds what a hostile file can make us
  // hold, far above that.
  static constexpr std::size_t kMaxCellBytes = std::size_t{16} << 20;

  SheetHandler(const SheetContext& context, std::string_view part, CellSink& sink);

  void StartElement(const XmlName& name, const XmlAttributes& attrs) override;
  void EndElement(const XmlName& name) override;
  void Characters(std::string_view text) override;

  void ReadAhead() override;
  bool Independent() const override { return independent_ && !kept_.Full(); }
  bool SameState(const SplitHandler& other) const override;
  bool HandOn() override;
  void Restart() override;

 private:
  enum class Type : std::uint8_t {
    kNumber,
    kShared,
    kInline,
    kFormulaString,
    kBool,
    kError,
    kDate
  };

  void StartRow(const XmlAttributes& attrs);
  void StartCell(const XmlAttributes& attrs);
  void EndCell();
  FormatEngine::Handle StyleFormat() const;
  // True for elements of the SpreadsheetML namespace (or of none).
  bool Ours(const XmlName& name);
  // Shows a value through the cell's format; DeliverText decodes the
  // escapes of a text first.
  void DeliverText(std::string_view text);
  void Deliver(const StoredValue& value);
  std::string Where() const;

  const SheetContext& context_;
  std::string_view part_;
  CellSink& out_;
  CellSink* sink_;  // out_, or kept_ while reading ahead
  KeptCells kept_;
  FormatEngine::Handle general_;
  // Reading ahead, the row and column are known once a row or cell said
  // where it is; a stretch that needed them before is read again.
  bool position_known_ = true;
  bool independent_ = true;

  std::uint32_t row_ = 0;
  std::uint32_t column_ = 0;
  std::uint32_t style_ = 0;
  Type type_ = Type::kNumber;
  int depth_in_data_ = 0;  // > 0 inside sheetData
  int phonetic_ = 0;       // depth inside rPh
  bool in_cell_ = false;
  bool in_value_ = false;  // collecting characters of <v> or an inline <t>
  bool in_inline_ = false;
  bool has_value_ = false;
  std::string last_ns_;
  std::uint64_t last_ns_id_ = 0;
  bool last_ns_ours_ = false;
  std::string value_;    // raw characters of the cell's value
  std::string scratch_;  // the unescaped text
  std::string shown_;    // the displayed text, when the format builds it
};

}  // namespace dialsift::sheet::xlsx
