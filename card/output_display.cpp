#include "card/output_display.h"

#include "card/card_session.h"

namespace quorvel {

OutputPanelDisplay::OutputPanelDisplay(OutputPanel& output, std::uint32_t& totalBytes)
    : output_(output), total_bytes_(totalBytes) {}

void OutputPanelDisplay::ResetBegun(ExchangeRecord record) {
  reset_ = &output_.OpenExchange(std::move(record));
  output_.AppendRow(RowKind::kResetMarker, kResetMarker);
}

void OutputPanelDisplay::ResetAnswered(const ResetAnswer& answer) {
  const auto received = static_cast<std::uint32_t>(answer.atr.size());
  if (reset_ != nullptr) {
    reset_->started = answer.started;
    reset_->took = answer.took;
    reset_->received = received;
    if (reset_->reset) reset_->reset->protocol = answer.protocol;
  }
  total_bytes_ = received;
  output_.ShowByteCount(total_bytes_);
  output_.AppendHexRows(answer.atr.data(), received);
  if (!answer.speedFollows) {
    output_.CloseExchange();
    reset_ = nullptr;
  }
  // The ATR is on disk before anything else can go wrong.
  output_.FlushLog();
}

void OutputPanelDisplay::SpeedSettled(const SpeedAnswer& answer) {
  if (reset_ != nullptr && reset_->reset) {
    if (answer.negotiated) reset_->reset->speed = std::make_unique<SpeedUsed>(answer.speed);
    reset_->reset->protocol = answer.protocol;
  }
  if (!answer.received.empty()) {
    const auto received = static_cast<std::uint32_t>(answer.received.size());
    total_bytes_ += received;
    output_.ShowByteCount(total_bytes_);
    output_.AppendHexRows(answer.received.data(), received, RowKind::kPps);
  }
  if (reset_ != nullptr && reset_->reset) reset_->reset->setupBlocks = answer.setupBlocks;
  std::uint32_t at = 0;
  std::uint16_t piece = 0;
  for (const std::uint32_t length : answer.setupPieces) {
    if (length > answer.setupReceived.size() - at) break;
    total_bytes_ += length;
    output_.AppendHexRows(answer.setupReceived.data() + at, length, RowKind::kProtocolSetup,
                          piece++);
    at += length;
  }
  if (at > 0) output_.ShowByteCount(total_bytes_);
  output_.CloseExchange();
  reset_ = nullptr;
  output_.FlushLog();
}

void OutputPanelDisplay::CommandAnswered(CommandAnswer answer) {
  output_.OpenExchange(std::move(answer.record));
  if (answer.result == 0) {
    output_.AppendRow(RowKind::kFailure, kExecutionFailed);
    output_.ScrollOutputToEnd();
  }
  const auto received = static_cast<std::uint32_t>(answer.received.size());
  total_bytes_ += received;
  output_.ShowByteCount(total_bytes_);
  if (answer.pieces.empty()) {
    output_.AppendHexRows(answer.received.data(), received);
  } else {
    std::uint32_t at = 0;
    std::uint16_t piece = 0;
    for (const std::uint32_t length : answer.pieces) {
      if (length > received - at) break;
      output_.AppendHexRows(answer.received.data() + at, length, RowKind::kReceived, piece++);
      at += length;
    }
  }
  if (answer.result == 1) output_.AppendStatusRow(answer.statusWord, answer.statusArrived);
  output_.CloseExchange();
  output_.ScrollOutputToEnd();
  output_.FlushLog();
}

}  // namespace quorvel
