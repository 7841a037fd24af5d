// Colours as the form layouts store them: 0x00BBGGRR, plus the system colour of a button face.
#pragma once

#include <cstdint>

#ifdef _WIN32
// <windows.h> defines RGB and Get?Value as macros. Take it in first, then let the functions
// below (same values, 0x00BBGGRR) stand in for them, whatever the order of includes.
#include "platform/wintypes.h"
#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue
#endif

namespace fw {

using TColor = std::uint32_t;

constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) { return static_cast<std::uint8_t>(c & 0xFF); }
constexpr std::uint8_t GetGValue(TColor c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(TColor c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clGreen = RGB(0, 128, 0);
constexpr TColor clLime = RGB(0, 255, 0);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
// A system colour: the front-end resolves it (flag 0x80000000 plus the system colour index).
constexpr TColor clBtnFace = 0x8000000Fu;
constexpr bool IsSystemColor(TColor c) { return (c & 0x80000000u) != 0; }

}  // namespace fw
