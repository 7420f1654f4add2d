#pragma once

#include <QFont>

namespace quorvel::gui {

// A font of `size`'s size in which the hex digits, A to F and the blank all take the
// same width, so that the columns of hex rows line up: the system's fixed-pitch font
// when its glyphs do, else the first of the usual fixed-pitch families that does, else
// what the typewriter style hint gives.
QFont FixedPitchFont(const QFont& size);

}  // namespace quorvel::gui
