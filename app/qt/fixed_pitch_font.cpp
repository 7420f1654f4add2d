#include "app/qt/fixed_pitch_font.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel::gui {
namespace {

// The glyphs are measured rather than fontconfig's spacing flag trusted: it calls some
// fixed-pitch families proportional for a few wide symbols, and hex rows use only these.
bool HexColumnsLineUp(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal width = metrics.horizontalAdvance(QLatin1Char('0'));
  for (QChar glyph : QStringLiteral("0123456789ABCDEF ")) {
    if (metrics.horizontalAdvance(glyph) != width) return false;
  }
  return true;
}

void TakeSize(QFont& font, const QFont& size) {
  if (size.pointSizeF() > 0) {
    font.setPointSizeF(size.pointSizeF());
  } else {
    font.setPixelSize(size.pixelSize());
  }
}

}  // namespace

QFont FixedPitchFont(const QFont& size) {
  std::vector<QFont> candidates{QFontDatabase::systemFont(QFontDatabase::FixedFont)};
  for (const char* family :
       {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Noto Sans Mono", "monospace"}) {
    candidates.emplace_back(QString::fromLatin1(family));
    candidates.back().setStyleHint(QFont::TypeWriter);
  }
  for (QFont::StyleHint hint : {QFont::Monospace, QFont::TypeWriter}) {
    candidates.emplace_back();
    candidates.back().setFamilies({});
    candidates.back().setStyleHint(hint);
  }
  for (QFont& font : candidates) {
    TakeSize(font, size);
    if (HexColumnsLineUp(font)) return font;
  }
  return candidates.back();
}

}  // namespace quorvel::gui
