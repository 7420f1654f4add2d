#include "port/termios_frame.h"

namespace quorvel {

tcflag_t FrameFlags(const LineSettings& settings) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tcflag_t flags = kSizes[settings.dataBits - 5];
  switch (settings.parity) {
    case Parity::None:
      break;
    case Parity::Odd:
      flags |= PARENB | PARODD;
      break;
    case Parity::Even:
      flags |= PARENB;
      break;
    case Parity::Mark:
      flags |= PARENB | CMSPAR | PARODD;
      break;
    case Parity::Space:
      flags |= PARENB | CMSPAR;
      break;
  }
  // One stop bit more: 1.5 with 5 data bits, 2 otherwise.
  if (settings.stopBits != StopBits::One) flags |= CSTOPB;
  if (settings.outCtsFlow || settings.rtsControl == RtsControl::Handshake) flags |= CRTSCTS;
  return flags;
}

void ReadFrameFlags(tcflag_t cflag, LineSettings& settings) {
  switch (cflag & CSIZE) {
    case CS5:
      settings.dataBits = 5;
      break;
    case CS6:
      settings.dataBits = 6;
      break;
    case CS7:
      settings.dataBits = 7;
      break;
    default:
      settings.dataBits = 8;
  }
  const bool odd = cflag & PARODD;
  if (!(cflag & PARENB)) {
    settings.parity = Parity::None;
  } else if (cflag & CMSPAR) {
    settings.parity = odd ? Parity::Mark : Parity::Space;
  } else {
    settings.parity = odd ? Parity::Odd : Parity::Even;
  }
  settings.stopBits = !(cflag & CSTOPB)        ? StopBits::One
                      : settings.dataBits == 5 ? StopBits::OnePointFive
                                               : StopBits::Two;
  const bool rtsHandshake = settings.rtsControl == RtsControl::Handshake;
  settings.outCtsFlow = (cflag & CRTSCTS) && (settings.outCtsFlow || !rtsHandshake);
}

bool FrameKept(tcflag_t asked, tcflag_t kept) {
  tcflag_t compared = CSIZE | CSTOPB | PARENB;
  if (asked & PARENB) compared |= PARODD | CMSPAR;
  return (asked & compared) == (kept & compared);
}

}  // namespace quorvel
