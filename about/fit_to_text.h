#pragma once

#include <cstdint>

namespace quorvel {

// Style bits of a static text control that decide how it is fitted to its text.
inline constexpr std::uint32_t SS_CENTER = 0x0001;
inline constexpr std::uint32_t SS_RIGHT = 0x0002;
inline constexpr std::uint32_t SS_NOTIFY = 0x0100;
inline constexpr std::uint32_t SS_CENTERIMAGE = 0x0200;

// A window rectangle in its parent's client coordinates; right and bottom lie
// just outside the window.
struct WindowRect {
  int left;
  int top;
  int right;
  int bottom;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const WindowRect&) const = default;
};

// The rectangle that fits a control to its text while keeping the edge or
// centre its alignment holds still. Centring moves both edges by half the
// difference, rounded toward zero, so an odd difference leaves one unit over.
WindowRect FitToText(const WindowRect& window, int text_width, int text_height,
                     std::uint32_t style);

}  // namespace quorvel
