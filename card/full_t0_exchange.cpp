#include "card/full_t0_exchange.h"

#include <string>

#include "card/paced_reader.h"

namespace quorvel {
namespace {

using std::chrono::nanoseconds;

constexpr std::uint8_t kNull = 0x60;
// Unasked bytes cleared before a header, at most: a line that never stops is no card.
constexpr std::uint32_t kMostClearedBytes = 4096;

bool IsSw1(std::uint8_t byte) {
  const unsigned high = byte & 0xF0u;
  return byte != kNull && (high == 0x60 || high == 0x90);
}

std::string WaitingTimeInWords(nanoseconds time) {
  return std::to_string((time.count() + 500'000) / 1'000'000) + " ms";
}

}  // namespace

int ExchangeCommandFullT0(CCardPort& port, Clock& clock, const CardCommand& command,
                          nanoseconds workWaitingTime, ExchangeState& state,
                          std::function<bool()> stopRequested) {
  state.framing = ExchangeFraming::kT0Procedures;
  state.received.clear();
  state.response.clear();
  state.pieces.clear();
  state.blocks.clear();
  state.statusArrived = 0;
  state.failure.clear();
  state.clearedBeforeHeader = 0;
  state.stop = ExchangeStop::kNoEcho;
  std::vector<std::uint8_t>& rx = state.received;
  PacedReader reader(port, clock, std::move(stopRequested));

  // What came since the last command belongs to no command: off the line, only counted.
  std::uint8_t waiting[64];
  for (unsigned n; state.clearedBeforeHeader < kMostClearedBytes &&
                   (n = reader.ReadWaiting(waiting, sizeof waiting)) > 0;) {
    state.clearedBeforeHeader += n;
  }

  const nanoseconds gap = workWaitingTime + kSerialAdapterMargin;
  nanoseconds last = clock.Now();  // the last character on the line, either way
  const auto send = [&](const std::uint8_t* bytes, unsigned count) {
    const unsigned written = port.Write(bytes, count);
    last = clock.Now();
    return written;
  };
  const auto take = [&](unsigned count) {
    const std::size_t at = rx.size();
    rx.resize(at + count);
    const unsigned got = reader.Read(rx.data() + at, count, last + gap, gap);
    rx.resize(at + got);
    if (got > 0) last = reader.lastArrival();
    return got;
  };
  const auto failed = [&](std::string why) {
    state.stop = ExchangeStop::kTransmitFailed;
    state.failure =
        reader.stopped() ? "Stopped while the card was busy with the command." : std::move(why);
    return 0;
  };

  send(command.header, kHeaderBytes);
  if (take(kHeaderBytes) < kHeaderBytes) return reader.stopped() ? failed({}) : 0;
  state.stop = ExchangeStop::kNoProcedureByte;

  const std::uint8_t ins = command.ins();
  const bool toCard = command.direction == kToCard;
  const unsigned p3 = command.p3();
  unsigned left = toCard || p3 != 0 ? p3 : 256;
  unsigned moved = 0;
  unsigned nulls = 0;
  bool answered = false;  // a procedure byte has come
  for (;;) {
    std::uint8_t byte = 0;
    if (reader.Read(&byte, 1, last + gap, gap) == 0) {
      if (!answered && !reader.stopped()) {
        state.failure = "No procedure byte came within the work waiting time of " +
                        WaitingTimeInWords(workWaitingTime) + " after the header's echo.";
        return 0;
      }
      return failed("After " + std::to_string(moved) +
                    " data bytes the card sent nothing within "
                    "the work waiting time of " +
                    WaitingTimeInWords(workWaitingTime) + ".");
    }
    last = reader.lastArrival();
    if (IsSw1(byte) && byte != ins && byte != static_cast<std::uint8_t>(~ins)) {
      state.statusWord[0] = byte;
      state.statusArrived = 1;
      std::uint8_t sw2 = 0;
      if (reader.Read(&sw2, 1, last + gap, gap) == 1) {
        state.statusWord[1] = sw2;
        state.statusArrived = 2;
      }
      state.stop = ExchangeStop::kComplete;
      return 1;
    }
    rx.push_back(byte);
    answered = true;
    if (byte == kNull) {
      if (++nulls > kMaxNullBytes) {
        return failed("The card sent more than " + std::to_string(kMaxNullBytes) +
                      " NULL bytes (60) asking for more time: Quorvel gave up waiting.");
      }
      continue;
    }
    const bool all = byte == ins;
    if (all && left == 0) continue;  // nothing left to move: the status word is next
    if (!all && byte != static_cast<std::uint8_t>(~ins)) {
      state.stop = ExchangeStop::kWrongProcedureByte;
      return 0;
    }
    if (left == 0) {
      return failed("The card asked for one more data byte (the complement of INS) when all " +
                    std::to_string(moved) + " had been moved.");
    }
    const unsigned count = all ? left : 1;
    if (toCard) {
      const unsigned written = send(command.data + moved, count);
      if (take(written) < count) {
        state.stop = ExchangeStop::kShortDataEcho;
        return reader.stopped() ? failed({}) : 0;
      }
    } else if (const unsigned got = take(count); got < count) {
      return failed("The card sent " + std::to_string(moved + got) + " of the " +
                    std::to_string(moved + left) +
                    " data bytes, then nothing within the work waiting time of " +
                    WaitingTimeInWords(workWaitingTime) + ".");
    } else {
      state.response.insert(state.response.end(), rx.end() - count, rx.end());
    }
    moved += count;
    left -= count;
  }
}

}  // namespace quorvel
