#include "port/t1_demo_card.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>

#include "card/t1_protocol.h"
#include "card/t1_serial_link.h"
#include "iso7816/atr.h"
#include "support/fake_clock.h"
#include "support/hex_bytes.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::HexBytes;

constexpr const char* kSettings = "DEM1: baud=9600 parity=E data=8 stop=2";
constexpr std::uint32_t kClock = 3'571'200;

// Opens DEM1 cards and keeps the last one within reach, to tell it its faults.
class Dem1Factory final : public DeviceFactory {
 public:
  explicit Dem1Factory(Clock& clock) : clock_(clock) {}
  DeviceOpenResult Open(const std::string&) override {
    auto card = std::make_unique<T1DemoCard>(clock_, kClock);
    last = card.get();
    return {std::move(card), {}};
  }
  T1DemoCard* last = nullptr;

 private:
  Clock& clock_;
};

// DEM1 end to end: reset, ATR, PPS sent by hand, IFSD announced, then APDUs over the line.
class Dem1Test : public ::testing::Test {
 protected:
  Bytes Reset(bool pps) {
    port.Open(kSettings);
    port.PulseResetLine(kSettings);
    Bytes atr(64);
    atr.resize(port.ReadWithin(atr.data(), 64, CCardPort::kAnswerWait));
    const T1Parameters parameters = ReadT1Parameters(atr);
    std::uint32_t baud = 9600;
    if (pps) {
      const Bytes request = HexBytes("FF 11 96 78");
      port.Write(request.data(), 4);
      Bytes exchanged(8);
      exchanged.resize(port.ReadWithin(exchanged.data(), 8, milliseconds(20)));
      EXPECT_THAT(exchanged, ElementsAreArray(HexBytes("FF 11 96 78 FF 11 96 78")));
      baud = 223'200;
      EXPECT_TRUE(port.SetBaudRate(baud));
    }
    link.emplace(port, clock, parameters, kClock, baud);
    protocol.emplace(parameters);
    EXPECT_TRUE(protocol->AnnounceIfsd(*link, state)) << state.failure;
    EXPECT_TRUE(Send("00 A4 00 0C 02 7F 10").complete) << state.failure;
    EXPECT_TRUE(Send("00 A4 00 0C 02 6F 03").complete) << state.failure;
    return atr;
  }

  T1Answer Send(const std::string& apdu) {
    return protocol->Transmit(*link, HexBytes(apdu), state);
  }

  std::vector<std::string> Meanings() const {
    std::vector<std::string> meanings;
    for (const ExchangeBlock& block : state.blocks) meanings.push_back(block.meaning);
    return meanings;
  }

  testing::FakeClock clock;
  Dem1Factory devices{clock};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  std::optional<T1SerialLink> link;
  std::optional<T1Protocol> protocol;
  ExchangeState state;
};

TEST_F(Dem1Test, AnswersResetWithAnAtrForT1Only) {
  const Bytes atr = Reset(false);
  EXPECT_THAT(atr, ElementsAreArray(T1DemoCard::AnswerToReset()));
  const AtrDescription description = DecodeAtr(atr, kClock);
  EXPECT_EQ(description.protocols, 1u << 1);
  EXPECT_EQ(description.check, AtrCheck::kCorrect);
  const T1Parameters parameters = ReadT1Parameters(atr);
  EXPECT_EQ(parameters.ifsc, 32u);
  EXPECT_EQ(parameters.cwi, 5u);
  EXPECT_EQ(parameters.bwi, 4u);
}

TEST_F(Dem1Test, ReadsTheLongestAnswerInChainedBlocksBeforeAndAfterPps) {
  Bytes content(255);
  std::iota(content.begin(), content.end(), 0);
  for (const bool pps : {false, true}) {
    SCOPED_TRACE(pps ? "after PPS" : "at 9600 baud");
    Reset(pps);
    // A busy machine: a block written at once still crosses the line back to back, well
    // within the character waiting time of 43 etu (0.19 ms at 223200 baud).
    clock.drift = std::chrono::microseconds(300);
    const T1Answer answer = Send("00 B0 00 00 FF");
    ASSERT_TRUE(answer.complete) << state.failure;
    EXPECT_THAT(answer.data, ElementsAreArray(content));
    EXPECT_EQ(state.statusWord[0], 0x90);
    EXPECT_THAT(Meanings(), ElementsAreArray({
                                "I-block N(S)=0, 5 bytes of the command",
                                "I-block N(S)=0, more follows, 254 bytes of the answer; LRC right",
                                "R-block N(R)=1: asks for the next block of the answer",
                                "I-block N(S)=1, 3 bytes of the answer; LRC right",
                            }));
    EXPECT_EQ(port.LineInUse()->baudRate, pps ? 223'200u : 9600u);
  }
}

TEST_F(Dem1Test, RecoversFromItsFaultsOrFailsCleanly) {
  struct Case {
    const char* name;
    std::function<void(T1DemoFaults&)> fault;
    const char* meaning;            // a block of the exchange
    const char* failure = nullptr;  // none: the answer came whole
  };
  const Case cases[] = {
      {"a wrong LRC once", [](T1DemoFaults& f) { f.wrongLrcBlocks = 1; },
       "R-block N(R)=0, EDC or parity error"},
      {"a lost byte", [](T1DemoFaults& f) { f.lostByteBlocks = 1; },
       "R-block N(R)=0, other error: asks for the card's block again after a block that broke off"},
      {"more time", [](T1DemoFaults& f) { f.waitingTimeExtension = 2; },
       "S(WTX response) x2: grants the next block 2 times"},
      {"a wrong LRC three times", [](T1DemoFaults& f) { f.wrongLrcBlocks = 3; },
       "S(RESYNCH request)", "the command was lost; run it again"},
      {"silence", [](T1DemoFaults& f) { f.silent = true; }, "S(RESYNCH request)",
       "the card needs a Reset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset(false);
    c.fault(devices.last->faults());
    const auto start = clock.Now();
    const T1Answer answer = Send("00 B0 00 00 10");
    EXPECT_THAT(Meanings(), ::testing::Contains(HasSubstr(c.meaning)));
    EXPECT_EQ(answer.complete, c.failure == nullptr) << state.failure;
    if (c.failure != nullptr) {
      EXPECT_THAT(state.failure, HasSubstr(c.failure));
    }
    if (c.meaning == std::string("S(WTX response) x2: grants the next block 2 times")) {
      EXPECT_GT(clock.Now() - start, link->times().blockWaiting);
    }
    // After the loss the next command goes through; after silence the card needs a Reset,
    // having been given six block waiting times (and each block's line time).
    if (std::string(c.name) == "silence") {
      EXPECT_TRUE(protocol->needsReset());
      EXPECT_LT(clock.Now() - start,
                6 * (link->times().blockWaiting + kSerialAdapterMargin + milliseconds(10)));
    } else {
      EXPECT_TRUE(Send("00 B0 00 00 10").complete) << state.failure;
    }
  }
}

TEST_F(Dem1Test, TheFaultCommandArmsAFaultForWhatFollows) {
  Reset(false);
  ASSERT_TRUE(Send("80 FA 02 01").complete);
  EXPECT_EQ(state.statusWord[0], 0x90);
  ASSERT_TRUE(Send("00 B0 00 00 FF").complete) << state.failure;
  EXPECT_THAT(Meanings(), ::testing::Contains(HasSubstr("other error")));
}

}  // namespace
}  // namespace quorvel
