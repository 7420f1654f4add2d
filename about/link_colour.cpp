#include "about/link_colour.h"

namespace quorvel {

ColourRef ChooseTextColour(const LinkColours& colours, bool mouse_over, bool visited) {
  if (mouse_over) return colours.hover;
  if (visited) return colours.visited;
  return colours.link;
}

}  // namespace quorvel
