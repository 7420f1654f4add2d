#include "about/fit_to_text.h"

namespace quorvel {

WindowRect FitToText(const WindowRect& window, int text_width, int text_height,
                     std::uint32_t style) {
  WindowRect fitted = window;
  if (style & SS_CENTERIMAGE) {
    const int d = (window.height() - text_height) / 2;
    fitted.top += d;
    fitted.bottom -= d;
  } else {
    fitted.bottom = fitted.top + text_height;
  }

  if (style & SS_CENTER) {
    const int d = (window.width() - text_width) / 2;
    fitted.left += d;
    fitted.right -= d;
  } else if (style & SS_RIGHT) {
    fitted.left = fitted.right - text_width;
  } else {
    fitted.right = fitted.left + text_width;
  }
  return fitted;
}

}  // namespace quorvel
