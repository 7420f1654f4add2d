#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>

namespace quorvel::testing {

// The link colours as the screen shows them.
inline const QColor kLinkColour(0, 0, 238);
inline const QColor kVisitedColour(85, 26, 139);

// Whether the label, painted now, shows any pixel of the colour: the underline
// is drawn solid in the text colour.
inline bool PaintsIn(QLabel* label, const QColor& colour) {
  const QImage image = label->grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
  return false;
}

}  // namespace quorvel::testing
