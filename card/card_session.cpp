#include "card/card_session.h"

#include <cstring>
#include <span>

#include "card/automatic_response.h"
#include "card/output_display.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

// What the card answered, as an expectation sees it: the status word in the status phase or
// in place of the procedure byte, and the data it sent (none for data sent to it).
ReceivedAnswer ReceivedAnswerOf(const CardCommand& sent, int result, const ExchangeState& state) {
  ReceivedAnswer answer;
  if (result == 1) {
    if (state.statusArrived > 0) answer.sw1 = state.statusWord[0];
    if (state.statusArrived > 1) answer.sw2 = state.statusWord[1];
    if (sent.direction != kToCard && state.received.size() > kDataPosition) {
      answer.data = std::span<const std::uint8_t>(state.received).subspan(kDataPosition);
    }
  } else if (state.stop == ExchangeStop::kWrongProcedureByte) {
    answer.sw1 = state.received[kProcedureBytePosition];
    if (state.received.size() > kDataPosition) answer.sw2 = state.received[kDataPosition];
  }
  return answer;
}

}  // namespace

CardSession::CardSession(CCardPort& port, Clock& clock, SessionDisplay& display,
                         ExchangeState& exchange)
    : port_(port), clock_(clock), display_(display), exchange_(exchange) {}

CardSession::CardSession(CCardPort& port, Clock& clock, OutputPanel& output,
                         ExchangeState& exchange, std::uint32_t& totalBytes)
    : port_(port),
      clock_(clock),
      own_display_(std::make_unique<OutputPanelDisplay>(output, totalBytes)),
      display_(*own_display_),
      exchange_(exchange) {}

CardSession::~CardSession() = default;

void CardSession::StartTiming() {
  timing_.started = std::chrono::system_clock::now();
  started_at_ = clock_.Now();
}

void CardSession::StopTiming() {
  timing_.took = clock_.Now() - started_at_;
}

CommandAnswer CardSession::AnswerOf(const CardCommand& command, int result,
                                    std::unique_ptr<AutomaticCause> cause) const {
  CommandAnswer answer;
  ExchangeRecord& record = answer.record;
  record.kind = ExchangeKind::kExecute;
  record.stop = exchange_.stop;
  std::memcpy(record.header, command.header, sizeof record.header);
  record.direction = command.direction;
  record.received = static_cast<std::uint32_t>(exchange_.received.size());
  record.started = timing_.started;
  record.took = timing_.took;
  record.comment.assign(command.comment, strnlen(command.comment, sizeof command.comment));
  if (exchange_.stop == ExchangeStop::kTransmitFailed) record.failure = exchange_.failure;
  record.automatic = std::move(cause);
  answer.result = result;
  answer.received = exchange_.received;
  answer.statusWord[0] = exchange_.statusWord[0];
  answer.statusWord[1] = exchange_.statusWord[1];
  answer.statusArrived = exchange_.statusArrived;
  return answer;
}

void CardSession::Reset(const char* executeSettings, const char* resetSettings) {
  port_.Close();
  port_.Open(executeSettings);
  speed_ = SpeedNegotiation{};
  const std::vector<std::uint8_t> atr =
      PulseAndRead(executeSettings, resetSettings, std::string(), true);
  // The protocol is settled whether or not the speed is: one other than the card's first
  // takes a PPS of its own.
  const ProtocolChoice choice =
      ReadProtocolChoice(executeSettings).value_or(ProtocolChoice::kByCard);
  speed_ = NegotiateSpeed(port_, atr, clock_hz_, choice, negotiate_speed_);
  SpeedAnswer answer;
  answer.speed.requestSent = speed_.requestSent;
  std::copy(speed_.request.begin(), speed_.request.end(), answer.speed.request);
  answer.speed.baud = speed_.baud;
  answer.speed.note = speed_.note;
  answer.received = speed_.received;
  display_.SpeedSettled(answer);
  // The standard's answer to a failed negotiation: reset, and speak at the default speed.
  if (speed_.resetAgain) PulseAndRead(executeSettings, resetSettings, speed_.note, false);
}

std::vector<std::uint8_t> CardSession::PulseAndRead(const char* executeSettings,
                                                    const char* resetSettings,
                                                    const std::string& againBecause,
                                                    bool speedFollows) {
  ExchangeRecord opened;
  opened.kind = ExchangeKind::kReset;
  opened.reset = std::make_unique<ResetSettingsUsed>();
  opened.reset->resetSettings = resetSettings;
  opened.reset->executeSettings = executeSettings;
  opened.reset->inverse = port_.inverse() != 0;
  opened.reset->clockHz = clock_hz_;
  opened.reset->resetAgainBecause = againBecause;
  display_.ResetBegun(std::move(opened));
  StartTiming();
  // With fixed waits: the pulse, the whole wait for the answer, then one read. With
  // deadlines the bytes are taken as they come, until 64 are in or the wait is over: a
  // card may send more than its ATR announces, and the fixed read takes that too.
  port_.PulseResetLine(resetSettings);
  exchange_.received.resize(kMaxAtrBytes);
  exchange_.received.resize(
      port_.ReadWithin(exchange_.received.data(), kMaxAtrBytes, CCardPort::kAnswerWait));
  StopTiming();
  ResetAnswer answer;
  answer.started = timing_.started;
  answer.took = timing_.took;
  answer.atr = exchange_.received;
  answer.speedFollows = speedFollows;
  display_.ResetAnswered(answer);
  port_.ApplySettings(executeSettings);
  return answer.atr;
}

int CardSession::Refuse() {
  exchange_.received.clear();
  exchange_.pieces.clear();
  exchange_.blocks.clear();
  exchange_.statusArrived = 0;
  exchange_.stop = ExchangeStop::kTransmitFailed;
  exchange_.failure = "Nothing was sent, as the last Reset said: " + speed_.note + ".";
  return 0;
}

int CardSession::Execute(const CardCommand& command) {
  return Execute(command, Expectation{}).result;
}

ExecuteOutcome CardSession::Execute(const CardCommand& command, const Expectation& expect) {
  CardCommand sending = command;
  std::unique_ptr<AutomaticCause> cause;  // none for the list's own command
  int sentAutomatically = 0;
  for (;;) {
    StartTiming();
    const int result = speed_.protocol ? ExchangeCommand(port_, sending, exchange_) : Refuse();
    StopTiming();
    std::optional<AutomaticCommand> next;
    if (automatic_responses_) next = NextAutomaticCommand(sending, result, exchange_);
    const bool bounded = next && sentAutomatically == kMaxAutomaticCommands;
    if (cause) cause->lastAllowed = bounded;
    CommandAnswer answer = AnswerOf(sending, result, std::move(cause));
    if (!next || bounded) {
      ExecuteOutcome outcome;
      outcome.result = result;
      if (!expect.empty()) {
        const ReceivedAnswer received = ReceivedAnswerOf(sending, result, exchange_);
        outcome.expected = true;
        outcome.met = Meets(expect, received);
        outcome.report = ExpectationReport(expect, received);
        answer.record.expectation = std::make_unique<std::string>(outcome.report);
      }
      display_.CommandAnswered(std::move(answer));
      return outcome;
    }
    display_.CommandAnswered(std::move(answer));
    ++sentAutomatically;
    cause = std::make_unique<AutomaticCause>();
    cause->kind = next->kind;
    cause->statusWord[0] = next->statusWord[0];
    cause->statusWord[1] = next->statusWord[1];
    cause->listComment.assign(command.comment, strnlen(command.comment, sizeof command.comment));
    std::memcpy(cause->listHeader, command.header, sizeof cause->listHeader);
    sending = next->command;
  }
}

}  // namespace quorvel
