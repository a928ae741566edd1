#include "sheet/text/text_sheet.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace dialsift::sheet::text {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::uint32_t kMaxFieldChars = 32767;

// Control characters that do not occur in text files. Tab, line feed,
// vertical tab, form feed, carriage return, the DOS end-of-file mark and
// escape are allowed.
bool IsBinaryControl(std::uint32_t c) {
  return (c >= 0x01 && c <= 0x08) || (c >= 0x0E && c <= 0x19) || (c >= 0x1C && c <= 0x1F);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

// ---------------------------------------------------------------- sniffing

void EncodingSniffer::Feed(std::string_view bytes) {
  if (head_done_) return FeedBody(bytes);
  head_.append(bytes);
  if (head_.size() < 4) return;
  head_done_ = true;
  const std::string head = std::move(head_);
  head_.clear();
  std::string_view body = head;
  if (StartsWith(body, "\xFF\xFE")) {
    has_bom_ = true;
    bom_ = Encoding::kUtf16Le;
    body.remove_prefix(2);
  } else if (StartsWith(body, "\xFE\xFF")) {
    has_bom_ = true;
    bom_ = Encoding::kUtf16Be;
    body.remove_prefix(2);
  } else if (StartsWith(body, kUtf8Bom)) {
    has_bom_ = true;
    body.remove_prefix(3);
  }
  FeedBody(body);
}

void EncodingSniffer::FeedBody(std::string_view bytes) {
  if (bom_ == Encoding::kUtf16Le || bom_ == Encoding::kUtf16Be) {
    FeedUtf16(bytes);
  } else {
    FeedBytes(bytes);
  }
}

void EncodingSniffer::FeedUtf16(std::string_view bytes) {
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (!utf16_odd_) {
      utf16_first_ = b;
      utf16_odd_ = true;
      continue;
    }
    utf16_odd_ = false;
    const std::uint32_t unit =
        bom_ == Encoding::kUtf16Le ? (utf16_first_ | (b << 8u)) : ((utf16_first_ << 8u) | b);
    ++total_;
    if (unit == 0) ++nuls_;
    if (IsBinaryControl(unit)) ++controls_;
  }
}

void EncodingSniffer::FeedBytes(std::string_view bytes) {
  total_ += bytes.size();
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    // Printable ASCII outside a multi-byte character: nothing to note.
    if (b >= 0x20 && b < 0x80 && utf8_pending_ == 0) continue;
    if (b == 0) ++nuls_;
    if (IsBinaryControl(b)) ++controls_;
    if (!utf8_valid_) continue;
    if (utf8_pending_ > 0) {
      unsigned lo = 0x80;
      unsigned hi = 0xBF;
      if (utf8_lead_ != 0) {  // the first continuation byte narrows for some leads
        if (utf8_lead_ == 0xE0) lo = 0xA0;
        if (utf8_lead_ == 0xED) hi = 0x9F;
        if (utf8_lead_ == 0xF0) lo = 0x90;
        if (utf8_lead_ == 0xF4) hi = 0x8F;
        utf8_lead_ = 0;
      }
      if (b < lo || b > hi) {
        utf8_valid_ = false;
        continue;
      }
      --utf8_pending_;
      continue;
    }
    if (b < 0x80) continue;
    utf8_lead_ = b;
    if (b >= 0xC2 && b <= 0xDF) {
      utf8_pending_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      utf8_pending_ = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      utf8_pending_ = 3;
    } else {
      utf8_valid_ = false;
    }
  }
}

Result<Encoding> EncodingSniffer::Finish() {
  if (!head_done_) {
    // Fewer than four bytes in all: no room for a UTF-16 text with its mark.
    head_done_ = true;
    std::string_view body = head_;
    if (StartsWith(body, kUtf8Bom)) body.remove_prefix(3);
    FeedBytes(body);
  }
  // NULs say nothing either way: text padded with them, or ASCII written as
  // UTF-16 without its mark, is still text. Content of nothing but NULs is
  // not.
  const std::uint64_t characters = total_ - nuls_;
  if ((nuls_ > 0 && characters == 0) || controls_ * 100 > characters) {
    return NotAWorkbook();
  }
  if (bom_ != Encoding::kUtf8) return bom_;
  if (utf8_pending_ > 0) utf8_valid_ = false;
  if (has_bom_ || utf8_valid_) return Encoding::kUtf8;
  return Encoding::kWindows1252;
}

// ---------------------------------------------------------------- parsing

DelimitedParser::DelimitedParser(Encoding encoding, char separator, CellSink& sink)
    : encoding_(encoding), separator_(separator), sink_(sink) {}

bool DelimitedParser::Feed(std::string_view bytes) {
  if (stopped_) return false;
  utf8_.clear();
  switch (encoding_) {
    case Encoding::kUtf8: {
      if (!bom_checked_) {
        pending_.append(bytes);
        if (pending_.size() < kUtf8Bom.size()) return true;
        bom_checked_ = true;
        std::string first = std::move(pending_);
        pending_.clear();
        std::string_view body = first;
        if (StartsWith(body, kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
        FeedUtf8(body);
        return !stopped_;
      }
      FeedUtf8(bytes);
      return !stopped_;
    }
    case Encoding::kWindows1252:
      AppendWindows1252(bytes, utf8_);
      break;
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: {
      const bool le = encoding_ == Encoding::kUtf16Le;
      for (const char ch : bytes) {
        pending_ += ch;
        if (pending_.size() < 2) continue;
        const auto b0 = static_cast<unsigned char>(pending_[0]);
        const auto b1 = static_cast<unsigned char>(pending_[1]);
        pending_.clear();
        const std::uint32_t unit = le ? (b0 | (b1 << 8u)) : ((b0 << 8u) | b1);
        if (!bom_checked_) {
          bom_checked_ = true;
          if (unit == 0xFEFF) continue;
        }
        utf16_.Push(unit, utf8_);
      }
      break;
    }
  }
  FeedUtf8(utf8_);
  return !stopped_;
}

void DelimitedParser::FeedUtf8(std::string_view utf8) {
  // A NUL shows as nothing.
  std::string without_nuls;
  if (utf8.find('\0') != std::string_view::npos) {
    without_nuls.reserve(utf8.size());
    for (const char c : utf8) {
      if (c != '\0') without_nuls += c;
    }
    utf8 = without_nuls;
  }
  // A .csv file may name its separator on its first line ("sep=;"), which a
  // spreadsheet application then uses and does not show.
  while (!probe_done_ && !utf8.empty()) {
    probe_ += utf8.front();
    utf8.remove_prefix(1);
    ProbeSeparatorLine(false);
  }
  ParseUtf8(utf8);
}

void DelimitedParser::ProbeSeparatorLine(bool at_end) {
  constexpr std::string_view kDirective = "sep=";
  const std::size_t n = probe_.size();
  bool matches = separator_ == ',';
  for (std::size_t i = 0; matches && i < std::min(n, kDirective.size()); ++i) {
    matches = std::tolower(static_cast<unsigned char>(probe_[i])) == kDirective[i];
  }
  if (matches && n >= 5) matches = probe_[4] != '\r' && probe_[4] != '\n';
  if (matches && n >= 6) matches = probe_[5] == '\r' || probe_[5] == '\n';
  if (matches && n == 5 && at_end) {
    // The file holds the directive alone.
    probe_done_ = true;
    return;
  }
  if (matches && n < 6 && !at_end) return;
  probe_done_ = true;
  if (matches && n == 6) {
    separator_ = probe_[4];
    skip_lf_ = probe_[5] == '\r';
    return;
  }
  const std::string replay = std::move(probe_);
  ParseUtf8(replay);
}

void DelimitedParser::ParseUtf8(std::string_view utf8) {
  std::size_t i = 0;
  const std::size_t n = utf8.size();
  while (i < n && !stopped_) {
    // Inside a field, a run of bytes without meaning to the parser goes in at
    // once: in an unquoted field all but the separator and line breaks, in a
    // quoted one all but the quote.
    if (!skip_lf_ && row_ <= kMaxRows && (state_ == State::kUnquoted || state_ == State::kQuoted)) {
      std::size_t j = i;
      if (state_ == State::kUnquoted) {
        while (j < n && utf8[j] != separator_ && utf8[j] != '\r' && utf8[j] != '\n') ++j;
      } else {
        while (j < n && utf8[j] != '"') ++j;
      }
      if (j > i) {
        AppendRun(utf8.substr(i, j - i));
        i = j;
        continue;
      }
    }
    Byte(utf8[i++]);
  }
}

void DelimitedParser::AppendRun(std::string_view run) {
  if (field_chars_ + run.size() > kMaxFieldChars) {
    for (const char c : run) Append(c);
    return;
  }
  for (const char c : run) field_chars_ += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  field_.append(run);
}

void DelimitedParser::Append(char c) {
  // Counts characters by their first byte, so the cut never splits one.
  if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++field_chars_;
  if (field_chars_ <= kMaxFieldChars) field_ += c;
}

void DelimitedParser::Byte(char c) {
  if (skip_lf_) {
    skip_lf_ = false;
    if (c == '\n') return;
  }
  if (row_ > kMaxRows) {
    stopped_ = true;
    error_ = Error{ErrorKind::kTooLarge,
                   "more rows than a worksheet holds (1048576); the rest was not read"};
    return;
  }
  line_open_ = true;
  switch (state_) {
    case State::kFieldStart:
      if (c == '"') {
        state_ = State::kQuoted;
        return;
      }
      break;
    case State::kUnquoted:
      break;
    case State::kQuoted:
      if (c == '"') {
        state_ = State::kQuoteInQuoted;
      } else {
        Append(c);
      }
      return;
    case State::kQuoteInQuoted:
      if (c == '"') {
        Append(c);
        state_ = State::kQuoted;
        return;
      }
      break;
  }
  if (c == separator_) {
    EndField();
    return;
  }
  if (c == '\r' || c == '\n') {
    EndField();
    EndRow();
    skip_lf_ = c == '\r';
    return;
  }
  Append(c);
  state_ = State::kUnquoted;
}

void DelimitedParser::EndField() {
  if (!field_.empty()) {
    if (column_ <= kMaxColumns) {
      sink_.Cell(row_, column_, field_);
    } else if (!error_) {
      // The rest of the file is still read: only what lies beyond the last
      // column is lost, and the error says so at the end.
      error_ = Error{ErrorKind::kTooLarge,
                     "fields beyond the last column of a worksheet (16384) were not read"};
    }
  }
  field_.clear();
  field_chars_ = 0;
  if (column_ <= kMaxColumns) ++column_;
  state_ = State::kFieldStart;
}

void DelimitedParser::EndRow() {
  line_open_ = false;
  column_ = 1;
  if (sink_.Cancelled()) {
    stopped_ = true;
    return;
  }
  ++row_;
}

Status DelimitedParser::Finish() {
  if (!stopped_) {
    if (!bom_checked_ && encoding_ == Encoding::kUtf8) {
      bom_checked_ = true;
      std::string first = std::move(pending_);
      pending_.clear();
      std::string_view body = first;
      if (StartsWith(body, kUtf8Bom)) body.remove_prefix(kUtf8Bom.size());
      FeedUtf8(body);
    }
    if (!probe_done_) ProbeSeparatorLine(true);
    if (utf16_.Waiting() && !stopped_) {
      utf8_.clear();
      utf16_.Finish(utf8_);
      FeedUtf8(utf8_);
    }
    if (line_open_ && !stopped_) {
      EndField();
      EndRow();
    }
  }
  if (error_) return *error_;
  return Status::Ok();
}

}  // namespace dialsift::sheet::text
