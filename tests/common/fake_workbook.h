// An in-memory workbook for tests of the code above the readers.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "sheet/workbook.h"

namespace dialsift::test {

struct FakeCell {
  std::uint32_t row;
  std::uint32_t column;
  std::string text;
};

struct FakeSheet {
  FakeSheet(std::string n, std::vector<FakeCell> c, std::string e = {})
      : name(std::move(n)), cells(std::move(c)), error(std::move(e)) {}
  std::string name;
  std::vector<FakeCell> cells;  // delivered in this order
  std::string error;            // when set, ReadSheet fails after the cells
};

class FakeWorkbook final : public sheet::Workbook {
 public:
  explicit FakeWorkbook(std::vector<FakeSheet> sheets) : sheets_(std::move(sheets)) {
    for (const auto& s : sheets_) infos_.push_back({s.name});
  }
  std::span<const sheet::SheetInfo> Sheets() const override { return infos_; }
  Status ReadSheet(std::size_t index, sheet::CellSink& sink) override {
    const auto& sheet = sheets_.at(index);
    for (const auto& c : sheet.cells) sink.Cell(c.row, c.column, c.text);
    if (!sheet.error.empty()) return Error{ErrorKind::kDamagedWorkbook, sheet.error};
    return {};
  }

 private:
  std::vector<FakeSheet> sheets_;
  std::vector<sheet::SheetInfo> infos_;
};

}  // namespace dialsift::test
