#include "card/pcsc_channel.h"

#include <strings.h>

#include <algorithm>
#include <string_view>

#include "iso7816/command_apdu.h"
#include "pcsc/reader_lookup.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

// Whether the settings string holds clauses for a serial line (baud=, parity=, ...), which a
// PC/SC reader has no use for; proto= is the one that means something here.
bool HasLineClauses(std::string_view settings) {
  if (settings.size() <= kPortNameLength) return false;
  const std::size_t colon = settings.find(':');
  settings.remove_prefix(colon == std::string_view::npos ? kPortNameLength : colon + 1);
  constexpr std::string_view kBlanks = " \t";
  for (std::size_t at = settings.find_first_not_of(kBlanks); at != std::string_view::npos;) {
    const std::size_t end = std::min(settings.find_first_of(kBlanks, at), settings.size());
    const std::string_view clause = settings.substr(at, end - at);
    if (clause.size() < 6 || strncasecmp(clause.data(), "proto=", 6) != 0) return true;
    at = settings.find_first_not_of(kBlanks, end);
  }
  return false;
}

// Faults after which nothing more can go to the card in this reader until it is opened again.
bool EndsTheConnection(PcscFault fault) {
  switch (fault) {
    case PcscFault::kNoService:
    case PcscFault::kNoReader:
    case PcscFault::kNoCard:
    case PcscFault::kCardRemoved:
    case PcscFault::kCardInUse:
    case PcscFault::kCardRefused:
      return true;
    case PcscFault::kNone:
    case PcscFault::kTimeout:
    case PcscFault::kCommandRefused:
    case PcscFault::kOther:
      return false;
  }
  return true;
}

void Failed(ExchangeState& state, const std::string& why) {
  state.stop = ExchangeStop::kTransmitFailed;
  state.failure = why;
}

}  // namespace

PcscChannel::PcscChannel(DeviceFactory& devices, MessageSink& messages, MessageAudience audience)
    : devices_(devices), messages_(messages), audience_(audience) {}

void PcscChannel::CannotOpen(const std::string& why) {
  std::string message = "Could not create handle\n" + why;
  const std::vector<PortChoice> choices = devices_.PortChoices();
  if (!choices.empty()) message += "\n\n" + DescribePortChoices(choices, settings_, audience_);
  messages_.ShowMessage(message);
}

void PcscChannel::ApplySettings(const std::string& settings) {
  settings_ = settings;
  line_clauses_ = HasLineClauses(settings);
}

void PcscChannel::Open(const std::string& settings) {
  Close();
  ApplySettings(settings);
  const PortTarget target = devices_.Target(settings.substr(0, kPortNameLength));
  if (target.kind != PortTarget::Kind::PcscReader) return;
  if (!context_.established()) {
    if (const PcscError error = context_.Establish()) return CannotOpen(error.message);
  }
  PcscReaderChoice found = FindPcscReader(context_, target.pcscReader);
  if (found.error && found.error.fault == PcscFault::kNoService) {
    // pcscd went away since the context was made: once more, with a context of its own.
    context_.Release();
    if (const PcscError error = context_.Establish()) return CannotOpen(error.message);
    found = FindPcscReader(context_, target.pcscReader);
  }
  if (found.error) return CannotOpen(found.error.message);
  reader_ = found.name;
  open_ = true;
}

void PcscChannel::Close() {
  connection_.Disconnect();
  open_ = false;
}

void PcscChannel::Lose(const std::string& why) {
  connection_.Disconnect();
  open_ = false;
  messages_.ShowMessage(why + (audience_ == MessageAudience::kWindow
                                   ? "\nWhen it is ready, click Reset to use it again."
                                   : ""));
}

std::vector<std::uint8_t> PcscChannel::ResetCard(const std::string&) {
  if (!open_) return {};
  if (!connection_.connected()) {
    if (const PcscError error = connection_.Connect(context_, reader_)) {
      // An empty reader or a card held elsewhere: told, and the next Reset tries again.
      messages_.ShowMessage(error.message);
      open_ = false;
      return {};
    }
  }
  const ProtocolChoice choice = ReadProtocolChoice(settings_).value_or(ProtocolChoice::kByCard);
  if (const PcscError error = connection_.ColdReset(choice)) {
    const std::vector<std::uint8_t> atr = connection_.atr();
    if (EndsTheConnection(error.fault)) {
      Lose(error.message);
    } else {
      messages_.ShowMessage(error.message);
    }
    return atr;
  }
  return connection_.atr();
}

void PcscChannel::Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                           ExchangeState& state) {
  state.framing = ExchangeFraming::kApdu;
  state.received.clear();
  state.pieces.clear();
  state.blocks.clear();
  state.response.clear();
  state.failure.clear();
  state.statusArrived = 0;
  if (!open_) return Failed(state, "The reader is closed: nothing was sent.");
  if (!connection_.connected()) {
    // No Reset before (--no-reset, or Execute first): the card as the reader holds it, in the
    // protocol proto= chooses, else in the one pcscd picks.
    std::optional<CardProtocol> only;
    switch (ReadProtocolChoice(settings_).value_or(ProtocolChoice::kByCard)) {
      case ProtocolChoice::kT0:
        only = CardProtocol::kT0;
        break;
      case ProtocolChoice::kT1:
        only = CardProtocol::kT1;
        break;
      case ProtocolChoice::kByCard:
        break;
    }
    if (const PcscError error = connection_.Connect(context_, reader_, only)) {
      Failed(state, error.message);
      Lose(error.message);
      return;
    }
  }
  const bool toCard = command.direction == kToCard;
  // T=0 carries no Le after data: a case 4 command goes as case 3, its answer fetched by GET
  // RESPONSE after 61 XX.
  const bool carriesLe = connection_.protocol() == CardProtocol::kT1;
  const CommandApdu apdu =
      BuildCommandApdu(command.header, toCard,
                       std::span<const std::uint8_t>(command.data, toCard ? command.p3() : 0),
                       carriesLe ? le : std::nullopt);
  std::vector<std::uint8_t> answer;
  if (const PcscError error = connection_.Transmit(apdu.bytes, answer)) {
    Failed(state, error.message);
    if (EndsTheConnection(error.fault)) Lose(error.message);
    return;
  }
  state.received.assign(answer.begin(), answer.end() - 2);
  state.response = state.received;
  state.statusWord[0] = answer[answer.size() - 2];
  state.statusWord[1] = answer[answer.size() - 1];
  state.statusArrived = 2;
  state.stop = ExchangeStop::kComplete;
}

ChannelInUse PcscChannel::InUse() const {
  ChannelInUse use;
  use.reader = reader_;
  if (connection_.connected()) use.protocol = connection_.protocol();
  std::string& note = use.note;
  if (line_clauses_) {
    note =
        "The settings string's line clauses (baud, parity, data, stop) mean nothing to a "
        "PC/SC reader: they are ignored.";
  }
  const auto add = [&note](const char* text) {
    if (!note.empty()) note += ' ';
    note += text;
  };
  if (inverse_ != 0) add("Inv has no effect: the reader reads the card's convention itself.");
  if (options_.negotiateSpeed) {
    add("The card's speed (PPS) is the reader's to settle: the switch has no effect here.");
  }
  if (options_.clockHz != 0 && options_.clockHz != kDefaultReaderClockHz) {
    add("The reader clocks the card itself: the clock setting has no effect here.");
  }
  return use;
}

}  // namespace quorvel
