// The engine: parses each distinct code once (numfmt/section.cpp) and
// renders through the section the value selects (numfmt/render.h).
#include "sheet/number_format.h"

#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "sheet/numfmt/builtin.h"
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

std::string Render(const numfmt::Format& f, double value, bool date1904) {
  std::string out;
  if (!std::isfinite(value)) return "#NUM!";
  const numfmt::Choice c = numfmt::ChooseSection(f, value);
  if (!c.section) {
    if (value < 0) out += '-';
    numfmt::AppendGeneral(value, out);
    return out;
  }
  const numfmt::Section& s = *c.section;
  const double magnitude = std::fabs(value);
  if (s.kind == Kind::kDateTime) {
    // Negative dates and times have no rendering, except elapsed times in
    // the 1904 system and bare elapsed counts ([h], [ss]) in either.
    if (value < 0 && c.minus && !(s.elapsed && (date1904 || s.elapsed_only))) {
      return std::string(kHashRun, '#');
    }
    if (c.minus) out += '-';
    if (!numfmt::RenderDateTime(s, magnitude, date1904, out)) return std::string(kHashRun, '#');
    Cap(out);
    return out;
  }
  if (c.minus && s.shows_number) out += '-';
  switch (s.kind) {
    case Kind::kNumber:
      numfmt::RenderNumber(s, magnitude, out);
      break;
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
  return out;
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
  impl_->index.emplace(std::move(key), h);
  return h;
}

FormatEngine::Handle FormatEngine::InternBuiltin(int id) {
  auto code = BuiltinFormatCode(id);
  return Intern(code.empty() ? "General" : code);
}

std::string FormatEngine::FormatNumber(double value, Handle format) {
  if (format >= impl_->formats.size()) return FormatGeneral(value);
  return Render(impl_->formats[format], value, impl_->date1904);
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
