#pragma once

#include <string_view>

#include "port/line_settings.h"

namespace quorvel {

// Reads a serial device-control string into settings, changing only what its clauses
// name. Accepted, case-insensitive, after an optional port name and colon:
//   baud=<rate> parity=n|e|o|m|s data=5..8 stop=1|1.5|2 to=on|off xon=on|off
//   odsr=on|off octs=on|off dtr=on|off|hs rts=on|off|hs|tg idsr=on|off
// or the older form "<rate>[,<parity>[,<data>[,<stop>[,x|p]]]]". Rates 11, 15, 30, 60,
// 12, 24, 48, 96 and 19 stand for 110 to 19200 as the mode command has them.
// Returns false, leaving settings as they were, when the string cannot be read.
bool ParseSettingsString(std::string_view text, LineSettings& settings);

}  // namespace quorvel
