#include "trace/traced_exchange.h"

#include <algorithm>

#include "trace/pin_masking.h"

namespace quorvel {

std::vector<std::uint8_t> ApduPayload(const TracedExchange& exchange, bool keepSecretCodes) {
  std::vector<std::uint8_t> payload = exchange.sent;
  if (!keepSecretCodes) MaskSecretCode(payload);
  payload.insert(payload.end(), exchange.response.begin(), exchange.response.end());
  payload.insert(payload.end(), exchange.status.begin(), exchange.status.end());
  return payload;
}

TracedExchange TracedExchangeOf(const CommandAnswer& answer) {
  const ExchangeRecord& record = answer.record;
  const std::vector<std::uint8_t>& received = answer.received;
  TracedExchange traced;
  traced.at =
      record.started + std::chrono::duration_cast<std::chrono::system_clock::duration>(record.took);
  traced.sent = answer.sent;
  if (record.stop == ExchangeStop::kWrongProcedureByte) {
    // T=0: what the card sent in place of the procedure byte, a refusal's status word often.
    traced.response.assign(
        received.begin() + std::min<std::size_t>(kProcedureBytePosition, received.size()),
        received.end());
  } else {
    traced.response = answer.response;
  }
  if (answer.result == 1) {
    const int arrived = std::clamp(answer.statusArrived, 0, 2);
    traced.status.assign(answer.statusWord, answer.statusWord + arrived);
  }
  traced.complete = answer.result == 1 && traced.status.size() == 2;
  return traced;
}

}  // namespace quorvel
