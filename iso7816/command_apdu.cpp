#include "iso7816/command_apdu.h"

#include <algorithm>

namespace quorvel {

CommandApdu BuildCommandApdu(const std::uint8_t (&header)[5], bool toCard,
                             std::span<const std::uint8_t> data, std::optional<std::uint16_t> le) {
  CommandApdu apdu;
  apdu.bytes.assign(header, header + 4);
  const std::uint8_t p3 = header[4];
  // 256 travels as 00, as P3 = 00 asks for 256 bytes.
  const auto leByte = [&] { return static_cast<std::uint8_t>(*le & 0xFF); };
  if (!toCard) {
    apdu.apduCase = ApduCase::k2;
    apdu.bytes.push_back(p3);
    return apdu;
  }
  if (p3 == 0) {
    if (le) {
      apdu.apduCase = ApduCase::k2;
      apdu.bytes.push_back(leByte());
    }
    return apdu;
  }
  apdu.apduCase = le ? ApduCase::k4 : ApduCase::k3;
  apdu.bytes.push_back(p3);
  const std::size_t length = std::min<std::size_t>(p3, data.size());
  apdu.bytes.insert(apdu.bytes.end(), data.begin(), data.begin() + length);
  if (le) apdu.bytes.push_back(leByte());
  return apdu;
}

}  // namespace quorvel
