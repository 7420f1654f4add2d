#include "card/card_session.h"

#include <cstring>
#include <span>

#include "iso7816/atr.h"

namespace quorvel {
namespace {

// With deadlines a reset ends as soon as the bytes so far make a whole ATR.
bool AtrComplete(const std::uint8_t* bytes, unsigned count) {
  const auto length = CompleteAtrLength(std::span<const std::uint8_t>(bytes, count));
  return length && *length <= count;
}

}  // namespace

CardSession::CardSession(CCardPort& port, Clock& clock, OutputPanel& output,
                         ExchangeState& exchange, std::uint32_t& totalBytes)
    : port_(port), clock_(clock), output_(output), exchange_(exchange), total_bytes_(totalBytes) {}

void CardSession::StartTiming() {
  timing_.started = std::chrono::system_clock::now();
  started_at_ = clock_.Now();
}

void CardSession::StopTiming() {
  timing_.took = clock_.Now() - started_at_;
}

ExchangeRecord CardSession::RecordOf(const CardCommand& command) const {
  ExchangeRecord record;
  record.kind = ExchangeKind::kExecute;
  record.stop = exchange_.stop;
  std::memcpy(record.header, command.header, sizeof record.header);
  record.direction = command.direction;
  record.received = static_cast<std::uint16_t>(exchange_.lastCount);
  record.started = timing_.started;
  record.took = timing_.took;
  record.comment.assign(command.comment, strnlen(command.comment, sizeof command.comment));
  return record;
}

void CardSession::Reset(const char* executeSettings, const char* resetSettings) {
  port_.Close();
  port_.Open(executeSettings);
  ExchangeRecord opened;
  opened.kind = ExchangeKind::kReset;
  opened.reset = std::make_unique<ResetSettingsUsed>(
      ResetSettingsUsed{resetSettings, executeSettings, port_.inverse() != 0});
  ExchangeRecord& record = output_.OpenExchange(std::move(opened));
  output_.AppendRow(RowKind::kResetMarker, kResetMarker);
  StartTiming();
  // With fixed waits: the pulse, the whole wait for the answer, then one read. With
  // deadlines the read ends as soon as the ATR is whole.
  port_.PulseResetLine(resetSettings);
  const unsigned received =
      port_.ReadWithin(exchange_.rxBuffer, kMaxAtrBytes, CCardPort::kAnswerWait, AtrComplete);
  StopTiming();
  record.started = timing_.started;
  record.took = timing_.took;
  record.received = static_cast<std::uint16_t>(received);
  exchange_.lastCount = received;
  total_bytes_ = received;
  output_.ShowByteCount(total_bytes_);
  output_.AppendHexRows(exchange_.rxBuffer, exchange_.lastCount);
  output_.CloseExchange();
  // The ATR is on disk before anything else can go wrong.
  output_.FlushLog();
  port_.ApplySettings(executeSettings);
}

int CardSession::Execute(const CardCommand& command) {
  StartTiming();
  const int result = ExchangeCommand(port_, command, exchange_);
  StopTiming();
  output_.OpenExchange(RecordOf(command));
  if (result == 0) {
    output_.AppendRow(RowKind::kFailure, kExecutionFailed);
    output_.ScrollOutputToEnd();
  }
  total_bytes_ += exchange_.lastCount;
  output_.ShowByteCount(total_bytes_);
  output_.AppendHexRows(exchange_.rxBuffer, exchange_.lastCount);
  if (result == 1) output_.AppendStatusRow(exchange_.statusWord, exchange_.statusArrived);
  output_.CloseExchange();
  output_.ScrollOutputToEnd();
  output_.FlushLog();
  return result;
}

}  // namespace quorvel
