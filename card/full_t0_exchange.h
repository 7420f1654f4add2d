#pragma once

#include <chrono>
#include <functional>

#include "card/command_exchange.h"
#include "commands/card_command.h"
#include "port/card_port.h"
#include "port/clock.h"

namespace quorvel {

// NULL bytes a card may send in one command before Quorvel gives up waiting.
inline constexpr unsigned kMaxNullBytes = 1000;

// Runs one command as the terminal side of the whole of T=0 (ISO/IEC 7816-3 clause 10),
// with the echoing line. Bytes waiting before the header are cleared first and counted in
// `clearedBeforeHeader`. After the header's echo every procedure byte is followed: NULL (60)
// waits again; INS moves all the data left; the complement of INS moves one byte; SW1 (6X
// or 9X but 60) and SW2 end the command with its status word. P3 = 00 asks the card for
// 256 bytes. Each byte is awaited for the work waiting time, plus kSerialAdapterMargin,
// from the one before. Every byte received but SW1 SW2 goes to `received`, one piece.
// Returns 1 when the card ended the command with a status word, 0 when it stopped before.
int ExchangeCommandFullT0(CCardPort& port, Clock& clock, const CardCommand& command,
                          std::chrono::nanoseconds workWaitingTime, ExchangeState& state,
                          std::function<bool()> stopRequested = {});

}  // namespace quorvel
