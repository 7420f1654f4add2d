#pragma once

#include <cstdint>
#include <vector>

namespace quorvel {

// Whether a command's data is a PIN, a PUK or a new PIN, whatever its class: VERIFY,
// CHANGE REFERENCE DATA, DISABLE and ENABLE VERIFICATION REQUIREMENT, RESET RETRY COUNTER
// (GSM's VERIFY, CHANGE, DISABLE, ENABLE and UNBLOCK CHV).
bool CarriesSecretCode(std::uint8_t ins);

// The command as sent (CLA INS P1 P2 P3 and its data) with every byte after the header
// replaced by FF when it carries a secret code: the length stays, the code goes.
void MaskSecretCode(std::vector<std::uint8_t>& sent);

}  // namespace quorvel
