#include "sheet/xls/text_codec.h"

#include <iconv.h>

#include "base/unicode.h"

#include <array>
#include <cerrno>

namespace dialsift::sheet::xls {

void AppendLatin1(std::span<const std::uint8_t> bytes, std::string& out) {
  for (const std::uint8_t b : bytes) AppendUtf8(out, b);
}

std::string_view IconvNameForCodePage(int code_page) {
  switch (code_page) {
    case 367:
      return "ASCII";
    case 437:
      return "CP437";
    case 720:
      return "CP720";
    case 737:
      return "CP737";
    case 775:
      return "CP775";
    case 850:
      return "CP850";
    case 852:
      return "CP852";
    case 855:
      return "CP855";
    case 857:
      return "CP857";
    case 860:
      return "CP860";
    case 861:
      return "CP861";
    case 862:
      return "CP862";
    case 863:
      return "CP863";
    case 864:
      return "CP864";
    case 865:
      return "CP865";
    case 866:
      return "CP866";
    case 869:
      return "CP869";
    case 874:
      return "CP874";
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 1250:
      return "CP1250";
    case 1251:
      return "CP1251";
    case 1252:
      return "CP1252";
    case 1253:
      return "CP1253";
    case 1254:
      return "CP1254";
    case 1255:
      return "CP1255";
    case 1256:
      return "CP1256";
    case 1257:
      return "CP1257";
    case 1258:
      return "CP1258";
    case 1361:
      return "JOHAB";
    case 10000:
      return "MACINTOSH";
    case 10006:
      return "MACGREEK";
    case 10007:
      return "MACCYRILLIC";
    case 10029:
      return "MACCENTRALEUROPE";
    case 10079:
      return "MACICELAND";
    case 10081:
      return "MACTURKISH";
    case 32768:
      return "MACINTOSH";  // Apple Roman, as Excel for the Mac writes it
    case 32769:
      return "CP1252";  // Windows-1252 under its BIFF2-era number
    default:
      return {};
  }
}

struct CodePageDecoder::Iconv {
  iconv_t handle;
  explicit Iconv(iconv_t h) : handle(h) {}
  ~Iconv() { iconv_close(handle); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
};

CodePageDecoder::CodePageDecoder(int code_page) : code_page_(code_page) {
  if (code_page == 1200) return;  // UTF-16: BIFF8 strings carry their own encoding
  auto name = IconvNameForCodePage(code_page);
  if (name.empty()) {
    name = "CP1252";
    code_page_ = 1252;
  }
  if (name == "CP1252") {
    windows_1252_ = true;
    return;
  }
  iconv_t h = iconv_open("UTF-8", std::string(name).c_str());
  if (h == reinterpret_cast<iconv_t>(-1)) {
    code_page_ = 1252;
    windows_1252_ = true;
    return;
  }
  iconv_ = std::make_unique<Iconv>(h);
}

CodePageDecoder::~CodePageDecoder() = default;
CodePageDecoder::CodePageDecoder(CodePageDecoder&&) noexcept = default;
CodePageDecoder& CodePageDecoder::operator=(CodePageDecoder&&) noexcept = default;

void CodePageDecoder::Append(std::span<const std::uint8_t> bytes, std::string& out) {
  if (windows_1252_) {
    AppendWindows1252({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, out);
    return;
  }
  if (!iconv_) {
    AppendLatin1(bytes, out);
    return;
  }
  iconv(iconv_->handle, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  // iconv's interface takes non-const input pointers; it does not write through them.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  std::size_t in_left = bytes.size();
  std::array<char, 1024> buf;
  while (in_left > 0) {
    char* dst = buf.data();
    std::size_t dst_left = buf.size();
    const std::size_t rc = iconv(iconv_->handle, &in, &in_left, &dst, &dst_left);
    out.append(buf.data(), buf.size() - dst_left);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or incomplete sequence: one replacement character, skip a byte.
      AppendUtf8(out, kReplacementCharacter);
      ++in;
      --in_left;
      iconv(iconv_->handle, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

}  // namespace dialsift::sheet::xls
