#pragma once

#include <termios.h>

#include "port/line_settings.h"

namespace quorvel {

// The control-flag bits that carry the character frame and hardware flow control.
inline constexpr tcflag_t kFrameFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

// For a valid frame (IsValidFrame): the kFrameFlags bits for the settings' data bits, parity, stop
// bits and RTS/CTS.
tcflag_t FrameFlags(const LineSettings& settings);

// Reads data bits, parity, stop bits and CTS flow back from control flags into settings.
// RTS handshake and CTS flow share one kernel switch, so settings' RTS mode decides
// which of them CRTSCTS stands for.
void ReadFrameFlags(tcflag_t cflag, LineSettings& settings);

// Whether a driver kept the character frame it was asked for: data bits, stop bits and
// parity (the kind of parity only where there is one). Drivers change what they cannot do
// without an error, so this is how a refusal shows.
bool FrameKept(tcflag_t asked, tcflag_t kept);

}  // namespace quorvel
