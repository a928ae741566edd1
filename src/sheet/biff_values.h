// Cell values as the binary formats (.xls BIFF8 and .xlsb BIFF12) store
// them: RK numbers and error codes are the same in both.
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

namespace dialsift::sheet {

// An RK value: a 30-bit integer or the high 30 bits of a double, either
// optionally divided by 100.
inline double DecodeRk(std::uint32_t rk) {
  double value = 0;
  if (rk & 0x2u) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
  }
  return (rk & 0x1u) ? value / 100 : value;
}

// The text an error cell shows, from its error code.
inline std::string_view BiffErrorText(std::uint8_t code) {
  switch (code) {
    case 0x00:
      return "#NULL!";
    case 0x07:
      return "#DIV/0!";
    case 0x0F:
      return "#VALUE!";
    case 0x17:
      return "#REF!";
    case 0x1D:
      return "#NAME?";
    case 0x24:
      return "#NUM!";
    case 0x2A:
      return "#N/A";
    case 0x2B:
      return "#GETTING_DATA";
    default:
      return "#N/A";
  }
}

}  // namespace dialsift::sheet
