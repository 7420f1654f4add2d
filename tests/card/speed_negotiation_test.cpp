#include "card/speed_negotiation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "card/command_exchange.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/hex_bytes.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using testing::FakeLine;
using testing::HexBytes;

constexpr const char* kSettings = "COM2: baud=9600 parity=E data=8 stop=2";
constexpr std::uint32_t kClock = 3'571'200;

// A card behind an echoing line: it answers a PPS request with `answer` after `delay`.
struct Card {
  const char* atr;
  const char* answer;
  milliseconds delay{20};
};

struct Case {
  const char* name;
  const char* atr;
  const char* answer;
  int delayMs;
  SpeedOutcome outcome;
  std::uint32_t baud;
  bool resetAgain;
  const char* received;  // the PPS row's bytes; "" when nothing was sent
  const char* note;
};

using enum SpeedOutcome;
const char* const kRefusedNote =
    "The card refused the PPS request: reset again at 9600 baud; protocol T=0";
const char* const kNoAnswerNote =
    "The card did not answer the PPS request: reset again at 9600 baud; protocol T=0";
const char* const kAcceptedNote =
    "PPS accepted: Fi=512, Di=32; the line runs at 223200 baud; protocol T=0";
// 1000 ms of initial waiting time and a character of 1.25 ms: 1002 ms before each character.
const Case kCases[] = {
    {"accepted", "3B 10 96", "FF 10 96 79", 20, kAccepted, 223200, false, "FF 10 96 79 FF 10 96 79",
     kAcceptedNote},
    {"PPS1 left out", "3B 10 96", "FF 00 FF", 20, kKeptDefault, 9600, false, "FF 10 96 79 FF 00 FF",
     "PPS answered without PPS1: the card keeps Fi=372, Di=1; the line stays at 9600 baud; "
     "protocol T=0"},
    {"refused", "3B 10 96", "FF 10 95 7A", 20, kFailed, 9600, true, "FF 10 96 79 FF 10 95 7A",
     kRefusedNote},
    {"cut short", "3B 10 96", "FF 10 96", 20, kFailed, 9600, true, "FF 10 96 79 FF 10 96",
     "The card's PPS response was cut short: reset again at 9600 baud; protocol T=0"},
    {"wrong PCK", "3B 10 96", "FF 10 96 78", 20, kFailed, 9600, true, "FF 10 96 79 FF 10 96 78",
     "The PCK of the card's PPS response is wrong: reset again at 9600 baud; protocol T=0"},
    {"no answer", "3B 10 96", "", 20, kFailed, 9600, true, "FF 10 96 79", kNoAnswerNote},
    {"too late", "3B 10 96", "FF 10 96 79", 1003, kFailed, 9600, true, "FF 10 96 79",
     kNoAnswerNote},
    {"just in time", "3B 10 96", "FF 10 96 79", 1002, kAccepted, 223200, false,
     "FF 10 96 79 FF 10 96 79", kAcceptedNote},
    {"TA2 with TA1's values", "3B 90 96 10 00", "FF 10 96 79", 20, kSpecificMode, 223200, false, "",
     "No PPS: TA2 sets the specific mode with Fi=512, Di=32; the line runs at 223200 baud; "
     "protocol T=0"},
    {"TA2 with implicit values", "3B 90 96 10 10", "FF 10 96 79", 20, kSpecificMode, 9600, false,
     "",
     "No PPS: TA2 sets the specific mode with implicit values; the line stays at 9600 baud; "
     "protocol T=0"},
    {"no TA1", "3B 00", "FF 10 96 79", 20, kNoPps, 9600, false, "",
     "No PPS: the ATR offers no speed but the default; the line stays at 9600 baud; protocol T=0"},
    {"no ATR", "", "FF 10 96 79", 20, kNoPps, 9600, false, "",
     "No PPS: there is no whole ATR to go by; the line stays at 9600 baud; protocol T=0"},
};

class SpeedNegotiationTest : public ::testing::Test {
 protected:
  // Runs the negotiation against `card`, with the inverse convention when asked.
  SpeedNegotiation Run(const Card& card, PortTiming timing, bool inverse = false,
                       ProtocolChoice choice = ProtocolChoice::kByCard, bool changeSpeed = true) {
    line.writes.clear();
    line.pending.clear();
    line.echo = true;
    const Bytes answer = OnTheLine(HexBytes(card.answer), inverse);
    const milliseconds delay = card.delay;
    line.card = [answer, delay](FakeLine& l, const Bytes& written) {
      if (written.size() >= 3 && !answer.empty()) l.Arrive(answer, delay);
    };
    port.SetTiming(timing);
    port.SetInverse(inverse ? 1 : 0);
    port.Open(kSettings);
    port.ApplySettings(kSettings);
    return NegotiateSpeed(port, HexBytes(card.atr), kClock, choice, changeSpeed);
  }

  static Bytes OnTheLine(Bytes bytes, bool inverse) {
    if (inverse)
      std::transform(bytes.begin(), bytes.end(), bytes.begin(), CCardPort::ConvertInverse);
    return bytes;
  }

  testing::FakeClock clock;
  FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
};

TEST_F(SpeedNegotiationTest, EachAnswerWithEitherTimingAndConvention) {
  for (const Case& c : kCases) {
    for (PortTiming timing : {PortTiming::kFixed, PortTiming::kDeadline}) {
      for (bool inverse : {false, true}) {
        const SpeedNegotiation result =
            Run({c.atr, c.answer, milliseconds(c.delayMs)}, timing, inverse);
        const std::string where = std::string(c.name) +
                                  (timing == PortTiming::kFixed ? " fixed" : " deadline") +
                                  (inverse ? " inverse" : "");
        EXPECT_EQ(result.outcome, c.outcome) << where;
        EXPECT_EQ(result.baud, c.baud) << where;
        EXPECT_EQ(result.resetAgain, c.resetAgain) << where;
        EXPECT_EQ(result.received, HexBytes(c.received)) << where;
        EXPECT_EQ(result.note, c.note) << where;
        // Only the rate changes; the request goes out once, converted for the convention.
        EXPECT_EQ(line.line.baudRate, c.baud) << where;
        EXPECT_EQ(line.line.parity, Parity::Even) << where;
        EXPECT_EQ(line.line.stopBits, StopBits::Two) << where;
        EXPECT_EQ(line.writes.size(), result.requestSent ? 1u : 0u) << where;
        if (result.requestSent) {
          EXPECT_EQ(line.writes[0], OnTheLine(HexBytes("FF 10 96 79"), inverse)) << where;
        }
      }
    }
  }
  EXPECT_THAT(messages.messages, ::testing::IsEmpty());
}

TEST_F(SpeedNegotiationTest, FixedTimingWaitsTheWholeWindowDeadlinesOnlyForTheAnswer) {
  Run({"3B 10 96", "FF 10 96 79"}, PortTiming::kFixed);
  EXPECT_THAT(clock.waits, ::testing::ElementsAre(milliseconds(1002)));
  const auto before = clock.Now();
  Run({"3B 10 96", "FF 10 96 79"}, PortTiming::kDeadline);
  EXPECT_EQ(clock.Now() - before, milliseconds(20));
  // TC2 sets WI = 1: 100 ms of waiting time.
  Run({"3B 90 96 40 01", ""}, PortTiming::kFixed);
  EXPECT_EQ(clock.waits.back(), milliseconds(102));
}

// ISO/IEC 7816-3 8.2.3 and 9: the first protocol offered applies without PPS; another is
// selected by PPS0, with PPS1 only when the speed is asked for too; TA2 fixes the protocol;
// 8.2.5: no PPS after a wrong TCK.
TEST_F(SpeedNegotiationTest, TheProtocolChosenIsSelectedByPpsOrNoCommandIsSent) {
  using Choice = ProtocolChoice;
  const char* const kT1First = "3B 90 96 81 00 87";  // TA1 96, T=1 then T=0
  const char* const kT0First = "3B 90 96 80 01 87";  // TA1 96, T=0 then T=1
  const struct {
    const char* name;
    const char* atr;
    Choice choice;
    bool changeSpeed;
    const char* answer;
    const char* request;  // "" when none goes out
    SpeedOutcome outcome;
    std::optional<CardProtocol> protocol;
    std::uint32_t baud;
    std::string note;
  } cases[] = {
      {"T=0 by card, switch off", kT1First, Choice::kByCard, false, "FF 00 FF", "FF 00 FF",
       kAccepted, CardProtocol::kT0, 9600,
       "PPS accepted: T=0 selected; the line stays at 9600 baud; protocol T=0"},
      {"T=0 by card, switch on", kT1First, Choice::kByCard, true, "FF 10 96 79", "FF 10 96 79",
       kAccepted, CardProtocol::kT0, 223200, kAcceptedNote},
      {"T=1 first and chosen", kT1First, Choice::kT1, false, "", "", kNoPps, CardProtocol::kT1,
       9600, "No PPS: speed negotiation is off; the line stays at 9600 baud; protocol T=1"},
      {"T=1 on a T=0-first card", kT0First, Choice::kT1, false, "FF 01 FE", "FF 01 FE", kAccepted,
       CardProtocol::kT1, 9600,
       "PPS accepted: T=1 selected; the line stays at 9600 baud; protocol T=1"},
      {"T=1 refused", kT0First, Choice::kT1, false, "", "FF 01 FE", kFailed, std::nullopt, 9600,
       "The card did not answer the PPS request: reset again at 9600 baud; without PPS the card "
       "speaks T=0, and proto=t1 asks for T=1: no command is sent"},
      {"T=1 not offered", "3B 10 96", Choice::kT1, true, "FF 11 96 78", "", kNoProtocol,
       std::nullopt, 9600,
       "No PPS: the card offers T=0, and proto=t1 asks for T=1: no command is sent"},
      {"neither offered", "3B 80 0E 8E", Choice::kByCard, true, "", "", kNoProtocol, std::nullopt,
       9600, "No PPS: the card offers T=14, and Quorvel speaks T=0 and T=1: no command is sent"},
      {"TA2 fixes T=1, T=0 asked", "3B 90 96 11 01 16", Choice::kT0, true, "", "", kNoProtocol,
       std::nullopt, 9600,
       "No PPS: TA2 fixes the card to T=1, and proto=t0 asks for T=0: no command is sent"},
      {"wrong TCK", "3B 90 96 81 00 86", Choice::kByCard, true, "FF 10 96 79", "", kNoPps,
       CardProtocol::kT1, 9600,
       "No PPS: the ATR's TCK is wrong; the line stays at 9600 baud; protocol T=1"},
      {"wrong TCK, T=0 asked", "3B 90 96 81 00 86", Choice::kT0, true, "FF 10 96 79", "", kNoPps,
       std::nullopt, 9600,
       "No PPS: the ATR's TCK is wrong; the line stays at 9600 baud; without PPS the card speaks "
       "T=1, and proto=t0 asks for T=0: no command is sent"},
  };
  for (const auto& c : cases) {
    const SpeedNegotiation result =
        Run({c.atr, c.answer}, PortTiming::kDeadline, false, c.choice, c.changeSpeed);
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_EQ(result.protocol, c.protocol) << c.name;
    EXPECT_EQ(result.baud, c.baud) << c.name;
    EXPECT_EQ(line.line.baudRate, c.baud) << c.name;
    EXPECT_EQ(result.note, c.note) << c.name;
    const std::vector<Bytes> requests =
        *c.request == 0 ? std::vector<Bytes>{} : std::vector<Bytes>{HexBytes(c.request)};
    EXPECT_EQ(line.writes, requests) << c.name;
  }
}

// ISO/IEC 7816-3 7.2 and 10.2: WT lies between two characters, not over the whole response.
TEST_F(SpeedNegotiationTest, TheCardMayTakeTheWaitingTimeBeforeEachCharacter) {
  const struct {
    int at[4];  // ms after the request: FF 10 96 79
    SpeedOutcome outcome;
    const char* received;
  } cases[] = {
      {{40, 80, 120, 160}, kAccepted, "FF 10 96 79 FF 10 96 79"},  // WT = 100 ms with WI = 1
      {{101, 202, 303, 404}, kAccepted, "FF 10 96 79 FF 10 96 79"},
      {{40, 80, 300, 340}, kFailed, "FF 10 96 79 FF 10"},  // over twice WT: cut short
  };
  for (const auto& c : cases) {
    for (PortTiming timing : {PortTiming::kFixed, PortTiming::kDeadline}) {
      line.writes.clear();
      line.pending.clear();
      line.echo = true;
      line.card = [&c](FakeLine& l, const Bytes& written) {
        if (written.size() != 4) return;
        for (int i = 0; i < 4; ++i) l.Arrive({written[i]}, milliseconds(c.at[i]));
      };
      port.SetTiming(timing);
      port.Open(kSettings);
      port.ApplySettings(kSettings);
      const SpeedNegotiation result = NegotiateSpeed(port, HexBytes("3B 90 96 40 01"), kClock);
      EXPECT_EQ(result.outcome, c.outcome) << c.at[2];
      EXPECT_EQ(result.received, HexBytes(c.received)) << c.at[2];
    }
  }
}

// ISO/IEC 7816-3 table 7: TA1 96 names f(max) = 5 MHz. (The notes above, at 3.5712 MHz, warn
// of nothing.)
TEST_F(SpeedNegotiationTest, ReaderClockAboveFmaxIsWarnedOfInTheNote) {
  port.Open(kSettings);
  EXPECT_THAT(NegotiateSpeed(port, HexBytes("3B 10 96"), 6'000'000).note,
              ::testing::EndsWith("; warning: the reader's 6 MHz clock is above the card's f(max) "
                                  "of 5 MHz"));
}

TEST_F(SpeedNegotiationTest, ARateThePortCannotRunIsNotAskedForOrLeadsToAReset) {
  const struct {
    const char* atr;
    SpeedOutcome outcome;
    bool resetAgain;
    const char* note;
  } cases[] = {
      {"3B 10 96", SpeedOutcome::kRateUnavailable, false,
       "The serial port cannot run at 223200 baud: no PPS; the line stays at 9600 baud; "
       "protocol T=0"},
      {"3B 90 96 10 00", SpeedOutcome::kRateUnavailable, true,
       "The serial port cannot run at 223200 baud: reset again at 9600 baud; protocol T=0"},
      {"3B 10 95", SpeedOutcome::kAccepted, false,
       "PPS accepted: Fi=512, Di=16; the line runs at 111600 baud; protocol T=0"},
      // T=1 first, T=0 too: the PPS selects T=0 alone.
      {"3B 90 96 81 00 87", SpeedOutcome::kRateUnavailable, false,
       "The serial port cannot run at 223200 baud, so PPS asks for T=0 alone; PPS accepted: "
       "T=0 selected; the line stays at 9600 baud; protocol T=0"},
  };
  for (const auto& c : cases) {
    FakeLine limited(clock);
    limited.fastestRate = 115200;
    limited.echo = true;
    limited.card = [](FakeLine& l, const Bytes& written) { l.Arrive(written, milliseconds(5)); };
    testing::FakeDeviceFactory factory(limited);
    CCardPort limitedPort(factory, clock, messages);
    limitedPort.Open(kSettings);
    limitedPort.ApplySettings(kSettings);
    const SpeedNegotiation result = NegotiateSpeed(limitedPort, HexBytes(c.atr), kClock);
    EXPECT_EQ(result.outcome, c.outcome) << c.atr;
    EXPECT_EQ(result.resetAgain, c.resetAgain) << c.atr;
    EXPECT_EQ(result.note, c.note) << c.atr;
    EXPECT_EQ(limited.line.baudRate, result.baud) << c.atr;
  }
  CCardPort closed(devices, clock, messages);
  EXPECT_EQ(NegotiateSpeed(closed, HexBytes("3B 10 96"), kClock).note,
            "No PPS: the port is closed");
}

// The whole path on the fast demo card: Reset, PPS, then a command at the card's speed.
TEST(SpeedNegotiationWithTheDemoCardsTest, TheFastCardRunsAtItsSpeedAfterPps) {
  for (const char* name : {"DEMF", "DEMO"}) {
    testing::FakeClock clock;
    testing::RecordingMessageSink messages;
    SystemDeviceFactory devices({}, clock);
    CCardPort port(devices, clock, messages);
    port.SetTiming(PortTiming::kDeadline);
    const std::string settings = std::string(name) + ": baud=9600 parity=E data=8 stop=2";
    port.Open(settings.c_str());
    port.PulseReset(settings.c_str());
    std::uint8_t atr[64];
    const unsigned atrLength = port.Read(atr, 64, 0);
    const SpeedNegotiation result =
        NegotiateSpeed(port, std::span<const std::uint8_t>(atr, atrLength), kClock);
    const bool fast = std::string(name) == "DEMF";
    EXPECT_EQ(result.outcome, fast ? SpeedOutcome::kAccepted : SpeedOutcome::kNoPps) << name;
    EXPECT_EQ(result.baud, fast ? 223200u : 9600u) << name;

    ExchangeState state;
    CardCommand challenge = NewCardCommand();
    const std::uint8_t header[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    std::copy(std::begin(header), std::end(header), challenge.header);
    challenge.direction = kFromCard;
    const auto started = clock.Now();
    ASSERT_EQ(ExchangeCommand(port, challenge, state), 1) << name;
    EXPECT_THAT(state.statusWord, ::testing::ElementsAre(0x90, 0x00)) << name;
    // 16 characters on the line: 20 ms at 9600 baud, under a millisecond at 223200.
    EXPECT_LT(clock.Now() - started, fast ? milliseconds(1) : milliseconds(21)) << name;
  }
}

}  // namespace
}  // namespace quorvel
