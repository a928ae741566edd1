#include "sheet/xlsx/xlsx_parts.h"

#include <charconv>
#include <unordered_map>

#include "sheet/limits.h"
#include "sheet/opc/package.h"
#include "sheet/xlsx/xlsx_text.h"
#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet::xlsx {

namespace {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictMainNs = "http://purl.oclc.org/ooxml/spreadsheetml/main";

// Elements of the workbook parts: the main namespace, or none at all (some
// hand-made files leave it out). Extension elements in other namespaces are
// not ours.
bool Ours(const XmlName& name, std::string_view local) {
  return name.local == local && (name.ns.empty() || IsMainNs(name.ns));
}

int ParseInt(std::string_view text, int fallback) {
  int value = fallback;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return fallback;
  return value;
}

bool ParseBool(std::string_view text) {
  return text == "1" || text == "true";
}

}  // namespace

bool IsMainNs(std::string_view ns) {
  return ns == kMainNs || ns == kStrictMainNs;
}
Result<WorkbookPart> ReadWorkbookPart(const ZipArchive& zip, std::string_view part) {
  struct Handler : XmlHandler {
    void StartElement(const XmlName& n, const XmlAttributes& a) override {
      if (!rooted) {
        // The package may name any part as its workbook (even its own
        // relationships): only a workbook element makes one.
        rooted = true;
        if (!Ours(n, "workbook")) {
          return Fail({ErrorKind::kDamagedWorkbook, "the workbook part " + std::string(part) +
                                                        " holds no workbook (its root is <" +
                                                        std::string(n.local) + ">)"});
        }
      }
      if (Ours(n, "sheet")) {
        // One beyond the sheets read is enough for the budget to tell.
        if (book.sheets.size() > kMaxSheetsPerWorkbook) return;
        SheetEntry s;
        s.name = std::string(a.Get("name").value_or(""));
        s.state = std::string(a.Get("state").value_or("visible"));
        a.ForEach([&](const XmlName& an, std::string_view v) {
          if (an.local == "id" &&
              (opc::IsRelationshipsNs(an.ns) || (s.rel_id.empty() && !an.ns.empty()))) {
            s.rel_id = std::string(v);
          }
        });
        book.sheets.push_back(std::move(s));
      } else if (Ours(n, "workbookPr")) {
        book.date1904 = ParseBool(a.Get("date1904").value_or(""));
      }
    }
    void EndElement(const XmlName&) override {}
    void Characters(std::string_view) override {}
    WorkbookPart book;
    std::string_view part;
    bool rooted = false;
  } handler;
  handler.part = part;
  if (auto s = ParseXmlPart(zip, part, handler); !s) return s.error();
  return std::move(handler.book);
}

Result<std::vector<FormatEngine::Handle>> ReadStyles(const ZipArchive& zip, std::string_view part,
                                                     FormatEngine& engine) {
  struct Handler : XmlHandler {
    void StartElement(const XmlName& n, const XmlAttributes& a) override {
      ++depth;
      // Only the list at the top of the style sheet defines the cell
      // formats: those of conditional formats (dxf, also in the extension
      // list) reuse the same ids for other codes.
      if (depth == 2 && Ours(n, "numFmts")) {
        in_num_fmts = true;
      } else if (in_num_fmts && depth == 3 && Ours(n, "numFmt")) {
        const int id = ParseInt(a.Get("numFmtId").value_or(""), -1);
        if (id >= 0) codes[id] = std::string(a.Get("formatCode").value_or(""));
      } else if (Ours(n, "cellXfs")) {
        in_cell_xfs = true;
      } else if (in_cell_xfs && Ours(n, "xf")) {
        if (xf_formats.size() == kMaxCellFormats) {
          return Fail(OverBudget(kMaxCellFormats, "cell formats"));
        }
        xf_formats.push_back(ParseInt(a.Get("numFmtId").value_or("0"), 0));
      }
    }
    void EndElement(const XmlName& n) override {
      if (Ours(n, "cellXfs")) in_cell_xfs = false;
      if (depth == 2) in_num_fmts = false;
      --depth;
    }
    void Characters(std::string_view) override {}
    std::unordered_map<int, std::string> codes;
    std::vector<int> xf_formats;
    int depth = 0;
    bool in_num_fmts = false;
    bool in_cell_xfs = false;
  } handler;
  if (auto s = ParseXmlPart(zip, part, handler); !s) return s.error();

  std::unordered_map<int, FormatEngine::Handle> by_id;
  std::vector<FormatEngine::Handle> handles;
  handles.reserve(handler.xf_formats.size());
  for (const int id : handler.xf_formats) {
    auto it = by_id.find(id);
    if (it == by_id.end()) {
      const auto code = handler.codes.find(id);
      // A code written in the file wins over the built-in one of the same id.
      const auto handle =
          code != handler.codes.end() ? engine.Intern(code->second) : engine.InternBuiltin(id);
      it = by_id.emplace(id, handle).first;
    }
    handles.push_back(it->second);
  }
  return handles;
}

Result<opc::SharedStrings> ReadSharedStrings(const ZipArchive& zip, std::string_view part) {
  struct Handler : XmlHandler {
    void StartElement(const XmlName& n, const XmlAttributes&) override {
      if (!(n.ns.empty() || IsMainNs(n.ns))) return;
      if (n.local == "si") {
        in_si = true;
      } else if (n.local == "rPh") {
        ++in_phonetic;
      } else if (n.local == "t" && in_si && in_phonetic == 0) {
        in_t = true;
        run_begin = table.Pending().size();
      }
    }
    void EndElement(const XmlName& n) override {
      if (!(n.ns.empty() || IsMainNs(n.ns))) return;
      if (n.local == "t" && in_t) {
        in_t = false;
        // The run goes into the table as it comes, and is unescaped there:
        // a long string is never held twice.
        const auto run = table.Pending().subspan(run_begin);
        if (MayHoldEscape(std::string_view(run.data(), run.size()))) {
          table.KeepPending(run_begin + UnescapeInPlace(run));
        }
      } else if (n.local == "rPh") {
        if (in_phonetic > 0) --in_phonetic;
      } else if (n.local == "si" && in_si) {
        in_si = false;
        if (table.Full()) return Fail(opc::SharedStrings::OverfullError());
        table.End();
      }
    }
    void Characters(std::string_view text) override {
      if (!in_t) return;
      if (!table.Fits(text.size())) return Fail(opc::SharedStrings::TooLarge());
      table.Append(text);
    }
    opc::SharedStrings table;
    std::size_t run_begin = 0;
    int in_phonetic = 0;
    bool in_si = false;
    bool in_t = false;
  } handler;
  if (auto s = ParseXmlPart(zip, part, handler); !s) return s.error();
  handler.table.Shrink();
  return std::move(handler.table);
}

}  // namespace dialsift::sheet::xlsx
