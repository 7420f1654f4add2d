#include "card/command_exchange.h"

#include <chrono>

namespace quorvel {
namespace {

constexpr std::chrono::milliseconds kHeaderWait{50};
constexpr std::chrono::milliseconds kLateProcedureByteWait{150};
constexpr int kTransferRetries = 6;

}  // namespace

int ExchangeCommand(CCardPort& port, const CardCommand& command, ExchangeState& state) {
  // Room for the most the exchange takes; cut to what came when it ends, whichever way.
  std::vector<std::uint8_t>& received = state.received;
  received.resize(kMaxExchangeBytes);
  std::uint8_t* const rx = received.data();
  unsigned count = 0;
  const auto ended = [&](int result) {
    received.resize(count);
    return result;
  };
  state.statusArrived = 0;
  state.stop = ExchangeStop::kNoEcho;

  port.Write(command.header, kHeaderBytes);
  count = port.ReadWithin(rx, kHeaderBytes + 1, kHeaderWait);
  if (count < kHeaderBytes) return ended(0);
  state.stop = ExchangeStop::kNoProcedureByte;
  if (count == kHeaderBytes) {
    // Only the echo so far: give a slow card a little longer for its procedure byte.
    count += port.ReadWithin(rx + kProcedureBytePosition, 1, kLateProcedureByteWait);
    if (count == kHeaderBytes) return ended(0);
  }

  if (rx[kProcedureBytePosition] != command.ins()) {
    // Whatever came in place of the procedure byte (often SW1) is followed by one more
    // byte (then SW2), so the refusing status word stands whole in the received bytes.
    state.stop = ExchangeStop::kWrongProcedureByte;
    // It is taken if it came within the wait for the procedure byte, with deadlines too.
    count += port.ReadRestOfWindow(rx + kDataPosition, 1);
    return ended(0);
  }

  const unsigned p3 = command.p3();
  if (command.direction == kToCard) {
    // The data goes out when the wait for the procedure byte is over, as with fixed waits,
    // so that the card's answer is timed alike.
    port.CatchUpWithFixedWaits();
    port.Write(command.data, p3);
    const unsigned echoed = port.Read(rx + kDataPosition, p3, kTransferRetries);
    count += echoed;
    if (echoed < p3) {
      state.stop = ExchangeStop::kShortDataEcho;
      return ended(0);
    }
  } else {
    // A short answer is no failure: the status bytes may still follow.
    count += port.Read(rx + kDataPosition, p3, kTransferRetries);
  }

  state.stop = ExchangeStop::kComplete;
  // Bytes that do not arrive keep their earlier value; statusArrived tells which came.
  std::uint8_t status[2];
  state.statusArrived = static_cast<int>(port.Read(status, 2, kTransferRetries));
  for (int i = 0; i < state.statusArrived; ++i) state.statusWord[i] = status[i];
  return ended(1);
}

}  // namespace quorvel
