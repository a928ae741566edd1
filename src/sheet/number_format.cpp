// The engine: parses each distinct code once (numfmt/section.cpp) and
// renders through the section the value selects (numfmt/render.h).
#include "sheet/number_format.h"

#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "sheet/numfmt/builtin.h"
#include "sheet/numfmt/decimal.h"
#include "sheet/numfmt/general.h"
#include "sheet/numfmt/render.h"
#include "sheet/numfmt/section.h"

namespace dialsift::sheet {

namespace {

using numfmt::Kind;

// What the application shows for a date it cannot show. A cell shows a row
// of '#' as wide as the cell; when a workbook is saved as text the
// application writes 255 of them.
constexpr std::size_t kHashRun = 255;
using numfmt::kMaxOutput;

// Number and date renderings are bounded by the code's length; what goes
// beyond the longest cell text is cut there.
void Cap(std::string& s) {
  if (s.size() <= kMaxOutput) return;
  std::size_t cut = kMaxOutput;
  // Do not split a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  s.resize(cut);
}

// Appends the displayed text of `value` to `out` (empty on entry).
void Render(const numfmt::Format& f, double value, const WrittenDecimal& written, bool date1904,
            std::string& out) {
  if (!std::isfinite(value)) {
    out = "#NUM!";
    return;
  }
  const numfmt::Choice c = numfmt::ChooseSection(f, value);
  if (!c.section) {
    if (value < 0) out += '-';
    numfmt::AppendGeneral(value, out);
    return;
  }
  const numfmt::Section& s = *c.section;
  const double magnitude = std::fabs(value);
  if (s.kind == Kind::kDateTime) {
    // Negative dates and times have no rendering, except elapsed times in
    // the 1904 system and bare elapsed counts ([h], [ss]) in either.
    if (value < 0 && c.minus && !(s.elapsed && (date1904 || s.elapsed_only))) {
      out.assign(kHashRun, '#');
      return;
    }
    if (c.minus) out += '-';
    if (!numfmt::RenderDateTime(s, magnitude, date1904, out)) {
      out.assign(kHashRun, '#');
      return;
    }
    Cap(out);
    return;
  }
  if (c.minus && s.shows_number) out += '-';
  switch (s.kind) {
    case Kind::kNumber: {
      numfmt::Decimal d;
      if (!written.known || !numfmt::DecimalFromParts(written.mantissa, written.scale, d)) {
        d = numfmt::ToDecimal(magnitude);
      }
      numfmt::RenderNumber(s, magnitude, d, out);
      break;
    }
    case Kind::kScientific:
      numfmt::RenderScientific(s, magnitude, out);
      break;
    case Kind::kFraction:
      numfmt::RenderFraction(s, magnitude, out);
      break;
    default:
      break;
  }
  Cap(out);
}

// True when the text section of `f` shows a text value unchanged: there is
// none, or it holds the text once and nothing else.
bool TextAsIs(const numfmt::Format& f) {
  if (f.text < 0) return true;
  int texts = 0;
  for (const numfmt::Token& t : f.sections[static_cast<std::size_t>(f.text)].tokens) {
    if (t.kind == numfmt::Tok::kText || t.kind == numfmt::Tok::kGeneral) {
      ++texts;
    } else if (t.kind == numfmt::Tok::kLiteral && !t.text.empty()) {
      return false;
    }
  }
  return texts == 1;
}

}  // namespace

std::string_view BuiltinFormatCode(int id) {
  return numfmt::BuiltinCode(id);
}

std::string FormatGeneral(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  std::string out;
  if (value < 0) out += '-';
  numfmt::AppendGeneral(value, out);
  return out;
}

struct FormatEngine::Impl {
  bool date1904 = false;
  std::vector<numfmt::Format> formats;
  std::vector<bool> text_as_is;  // by handle
  std::unordered_map<std::string, Handle> index;
};

FormatEngine::FormatEngine(bool date1904) : impl_(std::make_unique<Impl>()) {
  impl_->date1904 = date1904;
}
FormatEngine::~FormatEngine() = default;
FormatEngine::FormatEngine(FormatEngine&&) noexcept = default;
FormatEngine& FormatEngine::operator=(FormatEngine&&) noexcept = default;

void FormatEngine::SetDate1904(bool date1904) {
  impl_->date1904 = date1904;
}
bool FormatEngine::Date1904() const {
  return impl_->date1904;
}

FormatEngine::Handle FormatEngine::Intern(std::string_view code) {
  std::string key(code);
  auto it = impl_->index.find(key);
  if (it != impl_->index.end()) return it->second;
  const auto h = static_cast<Handle>(impl_->formats.size());
  impl_->formats.push_back(numfmt::ParseFormat(code));
  impl_->text_as_is.push_back(TextAsIs(impl_->formats.back()));
  impl_->index.emplace(std::move(key), h);
  return h;
}

FormatEngine::Handle FormatEngine::InternBuiltin(int id) {
  auto code = BuiltinFormatCode(id);
  return Intern(code.empty() ? "General" : code);
}

bool FormatEngine::ShowsTextAsIs(Handle format) const {
  return format >= impl_->text_as_is.size() || impl_->text_as_is[format];
}

std::string_view FormatEngine::DisplayedText(const StoredValue& value, Handle format,
                                             std::string& scratch) {
  switch (value.type) {
    case StoredValue::Type::kNumber:
      // Rendered into the scratch string, whose storage serves cell after cell.
      scratch.clear();
      if (format >= impl_->formats.size()) {
        scratch = FormatGeneral(value.number);
      } else {
        Render(impl_->formats[format], value.number, value.written, impl_->date1904, scratch);
      }
      return scratch;
    case StoredValue::Type::kText:
      if (ShowsTextAsIs(format)) return value.text;
      scratch = FormatText(value.text, format);
      return scratch;
    case StoredValue::Type::kBool:
      return value.number != 0 ? "TRUE" : "FALSE";
    case StoredValue::Type::kError:
      return value.text;
  }
  return value.text;
}

std::string FormatEngine::FormatNumber(double value, Handle format) {
  if (format >= impl_->formats.size()) return FormatGeneral(value);
  std::string out;
  Render(impl_->formats[format], value, {}, impl_->date1904, out);
  return out;
}

std::string FormatEngine::FormatText(std::string_view text, Handle format) {
  if (format >= impl_->formats.size() || text.empty()) return std::string(text);
  const numfmt::Format& f = impl_->formats[format];
  if (f.text < 0) return std::string(text);
  std::string out;
  numfmt::RenderText(f.sections[static_cast<std::size_t>(f.text)], text, out);
  Cap(out);
  return out;
}

}  // namespace dialsift::sheet
