#pragma once

#include <optional>
#include <string_view>

#include "iso7816/protocol.h"
#include "port/line_settings.h"

namespace quorvel {

// Reads a serial device-control string into settings, changing only what its clauses
// name. Accepted, case-insensitive, after an optional port name and colon:
//   baud=<rate> parity=n|e|o|m|s data=5..8 stop=1|1.5|2 to=on|off xon=on|off
//   odsr=on|off octs=on|off dtr=on|off|hs rts=on|off|hs|tg idsr=on|off proto=t0|t1
// or the older form "<rate>[,<parity>[,<data>[,<stop>[,x|p]]]]". Rates 11, 15, 30, 60,
// 12, 24, 48, 96 and 19 stand for 110 to 19200 as the mode command has them.
// Returns false, leaving settings as they were, when the string cannot be read.
// proto= chooses the card's protocol and leaves the line alone.
bool ParseSettingsString(std::string_view text, LineSettings& settings);
// The same, also giving the protocol that proto= chooses: kByCard without the clause. A string
// that cannot be read leaves both as they were.
bool ParseSettingsString(std::string_view text, LineSettings& settings, ProtocolChoice& protocol);
// Only the protocol the string chooses, for a reader whose line clauses mean nothing (PC/SC);
// nullopt when the string cannot be read.
std::optional<ProtocolChoice> ReadProtocolChoice(std::string_view text);

}  // namespace quorvel
