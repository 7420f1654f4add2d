#pragma once

#include <cstdint>

namespace quorvel {

// A colour as 0x00BBGGRR: red in the low byte, blue in the third.
using ColourRef = std::uint32_t;

constexpr ColourRef MakeColourRef(int red, int green, int blue) {
  return static_cast<ColourRef>(red & 0xFF) | (static_cast<ColourRef>(green & 0xFF) << 8) |
         (static_cast<ColourRef>(blue & 0xFF) << 16);
}
constexpr int RedOf(ColourRef colour) {
  return static_cast<int>(colour & 0xFF);
}
constexpr int GreenOf(ColourRef colour) {
  return static_cast<int>((colour >> 8) & 0xFF);
}
constexpr int BlueOf(ColourRef colour) {
  return static_cast<int>((colour >> 16) & 0xFF);
}

inline constexpr ColourRef kLinkColour = 0x00EE0000;     // blue 238
inline constexpr ColourRef kVisitedColour = 0x008B1A55;  // red 85, green 26, blue 139

struct LinkColours {
  ColourRef link;
  ColourRef visited;
  ColourRef hover;
};

// The text colour of a link: hover wins over visited, visited over the plain link.
ColourRef ChooseTextColour(const LinkColours& colours, bool mouse_over, bool visited);

}  // namespace quorvel
