#include "card/card_session.h"

#include <cstring>
#include <span>

#include "card/automatic_response.h"
#include "card/output_display.h"

namespace quorvel {
namespace {

// What the card answered, as an expectation sees it: the status word in the status phase or
// in place of the procedure byte, and the data it sent (none for data sent to it).
ReceivedAnswer ReceivedAnswerOf(int result, const ExchangeState& state) {
  ReceivedAnswer answer;
  if (result == 1) {
    if (state.statusArrived > 0) answer.sw1 = state.statusWord[0];
    if (state.statusArrived > 1) answer.sw2 = state.statusWord[1];
    answer.data = state.response;
  } else if (state.stop == ExchangeStop::kWrongProcedureByte) {
    answer.sw1 = state.received[kProcedureBytePosition];
    if (state.received.size() > kDataPosition) answer.sw2 = state.received[kDataPosition];
  }
  return answer;
}

// The command's bytes as they went to the card.
std::vector<std::uint8_t> SentBytes(const CardCommand& command, std::optional<std::uint16_t> le,
                                    std::optional<CardProtocol> protocol) {
  std::vector<std::uint8_t> sent(std::begin(command.header), std::end(command.header));
  if (command.direction == kToCard)
    sent.insert(sent.end(), command.data, command.data + command.p3());
  // Only T=1 carries a case 4 command's Le; T=0 sends it as case 3.
  if (le && protocol == CardProtocol::kT1) sent.push_back(static_cast<std::uint8_t>(*le & 0xFF));
  return sent;
}

}  // namespace

CardSession::CardSession(CardChannel& channel, Clock& clock, SessionDisplay& display,
                         ExchangeState& exchange)
    : channel_(channel), clock_(clock), display_(display), exchange_(exchange) {
  channel_.SetOptions(options_);
}

CardSession::CardSession(CardChannel& channel, Clock& clock, OutputPanel& output,
                         ExchangeState& exchange, std::uint32_t& totalBytes)
    : channel_(channel),
      clock_(clock),
      own_display_(std::make_unique<OutputPanelDisplay>(output, totalBytes)),
      display_(*own_display_),
      exchange_(exchange) {
  channel_.SetOptions(options_);
}

CardSession::~CardSession() = default;

void CardSession::SetSpeedNegotiation(bool on) {
  options_.negotiateSpeed = on;
  channel_.SetOptions(options_);
}

void CardSession::SetReaderClock(std::uint32_t hz) {
  options_.clockHz = hz;
  channel_.SetOptions(options_);
}

void CardSession::SetStopFlag(const std::atomic<bool>* stop) {
  stop_ = stop;
  options_.stop = stop;
  channel_.SetOptions(options_);
}

void CardSession::SetFullT0(bool on) {
  options_.fullT0 = on;
  channel_.SetOptions(options_);
}

void CardSession::StartTiming() {
  timing_.started = std::chrono::system_clock::now();
  started_at_ = clock_.Now();
}

void CardSession::StopTiming() {
  timing_.took = clock_.Now() - started_at_;
}

CommandAnswer CardSession::AnswerOf(const CardCommand& command, std::optional<std::uint16_t> le,
                                    int result, std::unique_ptr<AutomaticCause> cause) const {
  CommandAnswer answer;
  ExchangeRecord& record = answer.record;
  record.kind = ExchangeKind::kExecute;
  record.stop = exchange_.stop;
  record.framing = exchange_.framing;
  std::memcpy(record.header, command.header, sizeof record.header);
  record.direction = command.direction;
  record.received = static_cast<std::uint32_t>(exchange_.received.size());
  record.started = timing_.started;
  record.took = timing_.took;
  record.comment.assign(command.comment, strnlen(command.comment, sizeof command.comment));
  record.failure = exchange_.failure;
  record.blocks = exchange_.blocks;
  record.clearedBeforeHeader = exchange_.clearedBeforeHeader;
  record.automatic = std::move(cause);
  answer.result = result;
  answer.sent = SentBytes(command, le, channel_.InUse().protocol);
  answer.received = exchange_.received;
  answer.pieces = exchange_.pieces;
  answer.response = exchange_.response;
  answer.statusWord[0] = exchange_.statusWord[0];
  answer.statusWord[1] = exchange_.statusWord[1];
  answer.statusArrived = exchange_.statusArrived;
  return answer;
}

void CardSession::Reset(const char* executeSettings, const char* resetSettings) {
  channel_.Open(executeSettings);
  speed_ = SpeedNegotiation{};
  rounds_.clear();
  atr_ = ResetAndRead(executeSettings, resetSettings, std::string(), true);
  // The Reset's record stays open until the protocol is settled: what that sends and
  // receives belongs to the Reset.
  std::optional<SpeedNegotiation> settled = channel_.Settle(atr_);
  SpeedAnswer answer;
  if (settled) {
    speed_ = std::move(*settled);
    answer.negotiated = true;
    answer.speed.requestSent = speed_.requestSent;
    std::copy(speed_.request.begin(), speed_.request.end(), answer.speed.request);
    answer.speed.baud = speed_.baud;
    answer.speed.note = speed_.note;
    answer.received = speed_.received;
    answer.setupReceived = speed_.setupReceived;
    answer.setupPieces = speed_.setupPieces;
    answer.setupBlocks = speed_.setupBlocks;
  }
  answer.protocol = channel_.InUse().protocol;
  rounds_.back().speed = settled ? std::optional<SpeedNegotiation>(speed_) : std::nullopt;
  rounds_.back().protocol = answer.protocol;
  rounds_.back().setupBlocks = answer.setupBlocks;
  display_.SpeedSettled(answer);
  // The standard's answer to a failed negotiation: reset, and speak at the default speed.
  if (settled && speed_.resetAgain) {
    atr_ = ResetAndRead(executeSettings, resetSettings, speed_.note, true);
    // No PPS this time: the channel takes up the protocol the card now speaks (T=1 is set up
    // on the new ATR, its blocks shown with this Reset).
    const std::optional<SpeedNegotiation> again = channel_.Settle(atr_);
    SpeedAnswer second;
    second.protocol = channel_.InUse().protocol;
    if (again) {
      second.setupReceived = again->setupReceived;
      second.setupPieces = again->setupPieces;
      second.setupBlocks = again->setupBlocks;
    }
    rounds_.back().protocol = second.protocol;
    rounds_.back().setupBlocks = second.setupBlocks;
    display_.SpeedSettled(second);
  }
}

std::vector<std::uint8_t> CardSession::ResetAndRead(const char* executeSettings,
                                                    const char* resetSettings,
                                                    const std::string& againBecause,
                                                    bool speedFollows) {
  ExchangeRecord opened;
  opened.kind = ExchangeKind::kReset;
  opened.reset = std::make_unique<ResetSettingsUsed>();
  opened.reset->resetSettings = resetSettings;
  opened.reset->executeSettings = executeSettings;
  opened.reset->inverse = channel_.inverse() != 0;
  opened.reset->clockHz = options_.clockHz != 0 ? options_.clockHz : kDefaultReaderClockHz;
  opened.reset->resetAgainBecause = againBecause;
  const ChannelInUse before = channel_.InUse();
  opened.reset->reader = before.reader;
  opened.reset->readerNote = before.note;
  display_.ResetBegun(std::move(opened));
  StartTiming();
  exchange_.received = channel_.ResetCard(resetSettings);
  StopTiming();
  ResetAnswer answer;
  answer.started = timing_.started;
  answer.took = timing_.took;
  answer.atr = exchange_.received;
  answer.speedFollows = speedFollows;
  answer.protocol = channel_.InUse().protocol;
  rounds_.push_back({answer.atr, answer.took, std::nullopt, answer.protocol, {}});
  display_.ResetAnswered(answer);
  channel_.ApplySettings(executeSettings);
  return answer.atr;
}

int CardSession::Execute(const CardCommand& command) {
  return Execute(command, Expectation{}).result;
}

ExecuteOutcome CardSession::Execute(const CardCommand& command, const Expectation& expect,
                                    std::optional<std::uint16_t> le) {
  CardCommand sending = command;
  std::optional<std::uint16_t> sendingLe = le;
  std::unique_ptr<AutomaticCause> cause;  // none for the list's own command
  int sentAutomatically = 0;
  for (;;) {
    StartTiming();
    channel_.Exchange(sending, sendingLe, exchange_);
    StopTiming();
    const int result = exchange_.stop == ExchangeStop::kComplete ? 1 : 0;
    std::optional<AutomaticCommand> next;
    if (automatic_responses_) {
      const bool caseFourAsThree =
          sendingLe.has_value() && channel_.InUse().protocol != CardProtocol::kT1;
      next = NextAutomaticCommand(sending, result, exchange_, caseFourAsThree);
    }
    const bool bounded = next && sentAutomatically == kMaxAutomaticCommands;
    const bool stopped = next && !bounded && stop_ != nullptr && stop_->load();
    if (cause) cause->lastAllowed = bounded;
    CommandAnswer answer = AnswerOf(sending, sendingLe, result, std::move(cause));
    if (!next || bounded || stopped || !channel_.IsOpen()) {
      ExecuteOutcome outcome;
      outcome.result = result;
      outcome.bound = bounded;
      outcome.stopped = stopped;
      if (!expect.empty()) {
        const ReceivedAnswer received = ReceivedAnswerOf(result, exchange_);
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
    sendingLe.reset();
  }
}

}  // namespace quorvel
