#include "port/t1_demo_card.h"

#include <algorithm>
#include <array>

#include "iso7816/pps.h"
#include "iso7816/t1_parameters.h"
#include "iso7816/waiting_times.h"
#include "port/demo_card_commands.h"

namespace quorvel {
namespace {

using std::chrono::nanoseconds;

// TS 3B (direct convention); T0 9C (TA1 and TD1 follow, 12 historical bytes); TA1 96
// (Fi=512, Di=32); TD1 81 (T=1, TD2 follows); TD2 31 (T=1, TA3 and TB3 follow); TA3 20
// (IFSC 32); TB3 45 (BWI 4, CWI 5); "QUORVEL DEM1"; TCK.
constexpr std::array<std::uint8_t, 20> kAnswerToReset = {0x3B, 0x9C, 0x96, 0x81, 0x31, 0x20, 0x45,
                                                         'Q',  'U',  'O',  'R',  'V',  'E',  'L',
                                                         ' ',  'D',  'E',  'M',  '1',  0xC4};

constexpr bool CheckIsRight(std::span<const std::uint8_t> atr) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) sum ^= atr[i];
  return sum == 0;
}
static_assert(CheckIsRight(kAnswerToReset));

constexpr std::uint8_t kTa1 = 0x96;
constexpr std::uint8_t kDefaultFiDi = 0x11;
constexpr std::uint8_t kT1 = 0x01;
constexpr std::uint8_t kPps1Present = 0x10;
constexpr std::chrono::microseconds kAnswerDelay{2000};
constexpr std::uint64_t kEtuPerCharacter = 12;
constexpr std::uint64_t kBlockGuardEtu = 22;
// The fault command: CLA 80, INS FA, P1 the fault, P2 how many or how much.
constexpr std::uint8_t kFaultClass = 0x80;
constexpr std::uint8_t kFaultInstruction = 0xFA;

const T1Parameters& CardParameters() {
  static const T1Parameters parameters = ReadT1Parameters(kAnswerToReset);
  return parameters;
}

}  // namespace

T1DemoCard::T1DemoCard(Clock& clock, std::uint32_t readerClockHz,
                       std::unique_ptr<CardApplication> application)
    : DemoWiring(clock),
      readerClockHz_(readerClockHz != 0 ? readerClockHz : kDefaultReaderClockHz),
      commands_(application ? std::move(application) : std::make_unique<DemoCardCommands>()) {}

std::span<const std::uint8_t> T1DemoCard::AnswerToReset() {
  return kAnswerToReset;
}

std::uint32_t T1DemoCard::CardRate() const {
  return BaudRate(readerClockHz_, ClockRateOf(fiDi_).fi, BaudRateAdjustmentOf(fiDi_));
}

bool T1DemoCard::RateAgrees() const {
  return RatesAgree(line().baudRate, CardRate());
}

nanoseconds T1DemoCard::Etus(std::uint64_t count) const {
  // An etu is Fi / (Di x f): it follows the clock, not a rounded rate.
  const std::uint64_t fi = ClockRateOf(fiDi_).fi;
  const std::uint64_t di = BaudRateAdjustmentOf(fiDi_);
  return nanoseconds(count * fi * 1'000'000'000ull / (di * readerClockHz_));
}

void T1DemoCard::Reset() {
  commands_->Reset();
  phase_ = Phase::kBlocks;
  fiDi_ = kDefaultFiDi;
  ppsAllowed_ = true;
  rx_.clear();
  sendSequence_ = 0;
  expectedSequence_ = 0;
  ifsd_ = 32;
  command_.clear();
  answer_.clear();
  answerChained_ = false;
  lastSent_.clear();
  waitingMultiplier_ = 0;
  faults_.silent = false;
  PutOnLine(kAnswerToReset, clock_.Now() + kAnswerDelay, Etus(kEtuPerCharacter), RateAgrees());
}

void T1DemoCard::CardReceives(std::uint8_t byte) {
  if (!RateAgrees() || phase_ == Phase::kSilent || faults_.silent) return;
  if (phase_ == Phase::kPps) {
    pps_.push_back(byte);
    if (pps_.size() >= 2 && pps_.size() == PpsLength(pps_[1])) PpsComplete();
    return;
  }
  if (ppsAllowed_ && rx_.empty() && byte == 0xFF) {
    ppsAllowed_ = false;
    pps_.assign(1, byte);
    phase_ = Phase::kPps;
    return;
  }
  ppsAllowed_ = false;
  // A block broken off for longer than the character waiting time is given up; the gap is
  // the line's, between the moments the bytes crossed it.
  const nanoseconds now = lineFreeAt();
  const T1Times times = T1TimesAt(CardParameters(), readerClockHz_, CardRate());
  if (!rx_.empty() && now - lastRxAt_ > times.characterWaiting) rx_.clear();
  lastRxAt_ = now;
  rx_.push_back(byte);
  if (rx_.size() < kT1PrologueLength) return;
  const std::size_t length = rx_[2] == kT1InvalidLength ? 0 : rx_[2];
  if (rx_.size() == kT1PrologueLength + length + 1) BlockReceived();
}

void T1DemoCard::PpsComplete() {
  phase_ = Phase::kBlocks;
  std::uint8_t sum = 0;
  for (std::uint8_t byte : pps_) sum ^= byte;
  const std::uint8_t pps0 = pps_[1];
  // Only T=1 is spoken: any other request, or a wrong one, gets no answer.
  if (sum != 0 || (pps0 & 0x80) != 0 || (pps0 & 0x0F) != kT1) {
    phase_ = Phase::kSilent;
    return;
  }
  const bool takesPps1 = (pps0 & kPps1Present) != 0 && (pps_[2] == kTa1 || pps_[2] == kDefaultFiDi);
  std::vector<std::uint8_t> response = {0xFF, static_cast<std::uint8_t>(takesPps1 ? 0x11 : 0x01)};
  if (takesPps1) response.push_back(pps_[2]);
  std::uint8_t check = 0;
  for (std::uint8_t byte : response) check ^= byte;
  response.push_back(check);
  PutOnLine(response, clock_.Now(), Etus(kEtuPerCharacter), RateAgrees());
  // The new speed holds from the first character after the response.
  if (takesPps1) fiDi_ = pps_[2];
}

void T1DemoCard::BlockReceived() {
  const T1Decoded decoded = DecodeT1Block(rx_, T1Edc::kLrc);
  rx_.clear();
  if (decoded.verdict != T1Verdict::kValid) {
    const T1RError error =
        decoded.verdict == T1Verdict::kWrongEdc ? T1RError::kEdcOrParity : T1RError::kOther;
    return SendBlock(MakeRBlock(expectedSequence_, error));
  }
  const T1Block& block = decoded.block;
  switch (block.kind()) {
    case T1BlockKind::kInformation:
      return ReceivedIBlock(block);
    case T1BlockKind::kSupervisory:
      return ReceivedSBlock(block);
    case T1BlockKind::kReceiveReady:
      if (answerChained_ && block.receiveSequence() != lastAnswerSequence_) {
        return SendAnswerPiece({});
      }
      // Asked for again: whatever went last.
      if (!lastSent_.empty()) Transmit(lastSent_, {});
      return;
  }
}

void T1DemoCard::ReceivedIBlock(const T1Block& block) {
  if (block.sendSequence() != expectedSequence_) {
    // A block taken already: the reader missed the answer to it.
    if (!lastSent_.empty()) Transmit(lastSent_, {});
    return;
  }
  expectedSequence_ ^= 1;
  answerChained_ = false;
  command_.insert(command_.end(), block.information.begin(), block.information.end());
  if (block.more()) return SendBlock(MakeRBlock(expectedSequence_, T1RError::kNone));
  std::vector<std::uint8_t> apdu;
  apdu.swap(command_);
  Execute(apdu);
}

void T1DemoCard::ReceivedSBlock(const T1Block& block) {
  if (block.response()) {
    if (block.type() == T1SType::kWtx && waitingMultiplier_ != 0) {
      const T1Times times = T1TimesAt(CardParameters(), readerClockHz_, CardRate());
      const nanoseconds work = times.blockWaiting * waitingMultiplier_ * 3 / 4;
      waitingMultiplier_ = 0;
      return StartAnswer(std::move(waitingAnswer_), work);
    }
    return SendBlock(MakeRBlock(expectedSequence_, T1RError::kOther));
  }
  switch (block.type()) {
    case T1SType::kIfs:
      ifsd_ = block.information[0];
      break;
    case T1SType::kResynch:
      sendSequence_ = 0;
      expectedSequence_ = 0;
      ifsd_ = 32;
      command_.clear();
      answerChained_ = false;
      break;
    case T1SType::kAbort:
      command_.clear();
      answerChained_ = false;
      break;
    case T1SType::kWtx:
      return SendBlock(MakeRBlock(expectedSequence_, T1RError::kOther));
  }
  SendBlock(MakeSBlock(block.type(), true, block.information));
}

void T1DemoCard::Execute(const std::vector<std::uint8_t>& apdu) {
  if (ArmFault(apdu)) return;
  std::vector<std::uint8_t> answer = AnswerApdu(*commands_, apdu);
  if (faults_.waitingTimeExtension != 0) {
    waitingMultiplier_ = faults_.waitingTimeExtension;
    faults_.waitingTimeExtension = 0;
    waitingAnswer_ = std::move(answer);
    return SendBlock(MakeSBlock(T1SType::kWtx, false, {&waitingMultiplier_, 1}));
  }
  StartAnswer(std::move(answer), {});
}

bool T1DemoCard::ArmFault(const std::vector<std::uint8_t>& apdu) {
  if (apdu.size() < 4 || apdu.size() > 5 || apdu[0] != kFaultClass ||
      apdu[1] != kFaultInstruction) {
    return false;
  }
  const std::uint8_t p1 = apdu[2];
  const std::uint8_t p2 = std::max<std::uint8_t>(apdu[3], 1);
  if (p1 < 1 || p1 > 4) {
    StartAnswer({0x6A, 0x86}, {});
    return true;
  }
  // Answered first, so that the fault falls on what follows.
  StartAnswer({0x90, 0x00}, {});
  switch (p1) {
    case 1:
      faults_.wrongLrcBlocks = p2;
      break;
    case 2:
      faults_.lostByteBlocks = p2;
      break;
    case 3:
      faults_.waitingTimeExtension = p2;
      break;
    default:
      faults_.silent = true;
  }
  return true;
}

void T1DemoCard::StartAnswer(std::vector<std::uint8_t> answer, nanoseconds delay) {
  answer_ = std::move(answer);
  answerSent_ = 0;
  SendAnswerPiece(delay);
}

void T1DemoCard::SendAnswerPiece(nanoseconds delay) {
  const std::size_t piece = std::min<std::size_t>(ifsd_, answer_.size() - answerSent_);
  answerChained_ = answerSent_ + piece < answer_.size();
  const std::span<const std::uint8_t> bytes(answer_.data() + answerSent_, piece);
  answerSent_ += piece;
  lastAnswerSequence_ = sendSequence_;
  sendSequence_ ^= 1;
  SendBlock(MakeIBlock(lastAnswerSequence_, answerChained_, bytes), delay);
}

void T1DemoCard::SendBlock(const T1Block& block, nanoseconds delay) {
  lastSent_ = EncodeT1Block(block, T1Edc::kLrc);
  Transmit(lastSent_, delay);
}

void T1DemoCard::Transmit(std::vector<std::uint8_t> bytes, nanoseconds delay) {
  if (faults_.silent) return;
  if (faults_.wrongLrcBlocks > 0) {
    --faults_.wrongLrcBlocks;
    bytes.back() ^= 0x5A;
  }
  if (faults_.lostByteBlocks > 0) {
    --faults_.lostByteBlocks;
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
  }
  // The first character ends a block guard time after the last one on the line did.
  const nanoseconds start =
      std::max(lineFreeAt(), clock_.Now()) + Etus(kBlockGuardEtu) - Etus(kEtuPerCharacter) + delay;
  PutOnLine(bytes, start, Etus(kEtuPerCharacter), RateAgrees());
}

}  // namespace quorvel
