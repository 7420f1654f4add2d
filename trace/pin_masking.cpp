#include "trace/pin_masking.h"

#include <algorithm>

namespace quorvel {

bool CarriesSecretCode(std::uint8_t ins) {
  switch (ins) {
    case 0x20:  // VERIFY
    case 0x24:  // CHANGE REFERENCE DATA
    case 0x26:  // DISABLE VERIFICATION REQUIREMENT
    case 0x28:  // ENABLE VERIFICATION REQUIREMENT
    case 0x2C:  // RESET RETRY COUNTER
      return true;
    default:
      return false;
  }
}

void MaskSecretCode(std::vector<std::uint8_t>& sent) {
  constexpr std::size_t kHeader = 5;
  if (sent.size() <= kHeader || !CarriesSecretCode(sent[1])) return;
  std::fill(sent.begin() + kHeader, sent.end(), 0xFF);
}

}  // namespace quorvel
