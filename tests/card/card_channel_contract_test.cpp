// What every card channel promises the session above it, run against each implementation:
// the serial line over the demo card (T=0 and the T=1 card), over a fake line playing a T=0
// card, and a PC/SC reader through the tests' own pcscd (its instances are named Pcscd*, so
// ctest gives them the service). Each card runs the demo card's application.
#include <stdlib.h>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "card/card_channel.h"
#include "card/pcsc_channel.h"
#include "card/serial_channel.h"
#include "explore/session_card_access.h"
#include "port/demo_card_commands.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/hex_bytes.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using testing::HexBytes;
using testing::MakeCommand;
using Bytes = std::vector<std::uint8_t>;

// One channel under test with what it stands on.
class ChannelRig {
 public:
  virtual ~ChannelRig() = default;
  virtual CardChannel& channel() = 0;
  // Bytes that reached the card's line so far; none where that cannot be seen.
  virtual std::optional<std::size_t> BytesSent() const { return std::nullopt; }
  // Readies the card's answer to the next reset, where the rig plays the card.
  virtual void BeforeReset() {}
  testing::RecordingMessageSink messages;
};

// The serial line over a built-in demo card that never sleeps.
class DemoLineRig final : public ChannelRig {
 public:
  CardChannel& channel() override { return line_; }

 private:
  testing::FakeClock clock_;
  SystemDeviceFactory devices_{{}, clock_};
  CCardPort port_{devices_, clock_, messages};
  SerialChannel line_{port_, clock_};
};

// The serial line over a fake line whose far end plays T=0 (ISO/IEC 7816-3 clause 10): the
// procedure byte INS, or the status word at once for a header the card refuses.
class FakeLineRig final : public ChannelRig {
 public:
  FakeLineRig() {
    line_.echo = true;
    line_.card = [this](testing::FakeLine& line, const Bytes& written) {
      Bytes data;
      if (awaiting_data_) {
        awaiting_data_ = false;
        data = written;
      } else if (written.size() == sizeof header_) {
        std::copy(written.begin(), written.end(), header_);
        if (const auto refusal = card_.Refusal(header_)) {
          line.Arrive({static_cast<std::uint8_t>(*refusal >> 8),
                       static_cast<std::uint8_t>(*refusal & 0xFF)});
          return;
        }
        line.Arrive({header_[1]});
        awaiting_data_ = card_.TakesData(header_) && header_[4] != 0;
        if (awaiting_data_) return;
      } else {
        return;
      }
      Bytes answer;
      card_.Run(header_, data, answer);
      line.Arrive(answer, std::chrono::milliseconds(1));
    };
  }
  CardChannel& channel() override { return serial_; }
  void BeforeReset() override {
    card_.Reset();
    line_.Arrive(HexBytes(kAtr), std::chrono::milliseconds(100));
  }
  std::optional<std::size_t> BytesSent() const override {
    std::size_t sent = 0;
    for (const Bytes& write : line_.writes) sent += write.size();
    return sent;
  }

  // TS 3B, T0 02 (two historical bytes), "AB": T=0 alone.
  static constexpr const char* kAtr = "3B 02 41 42";

 private:
  testing::FakeClock clock_;
  testing::FakeLine line_{clock_};
  testing::FakeDeviceFactory devices_{line_};
  CCardPort port_{devices_, clock_, messages};
  SerialChannel serial_{port_, clock_};
  DemoCardCommands card_;
  std::uint8_t header_[5] = {};
  bool awaiting_data_ = false;
};

// A PC/SC reader: the first of the tests' own pcscd, with the virtual demo card in it.
class PcscRig final : public ChannelRig {
 public:
  CardChannel& channel() override { return reader_; }

 private:
  SystemClock clock_;
  SystemDeviceFactory devices_{{}, clock_};
  PcscChannel reader_{devices_, messages, MessageAudience::kCommandLine};
};

struct Implementation {
  const char* name;
  std::function<std::unique_ptr<ChannelRig>()> make;
  const char* settings;
  const char* atr;
  CardProtocol protocol;
};

void PrintTo(const Implementation& implementation, std::ostream* out) {
  *out << implementation.name << " on \"" << implementation.settings << '"';
}

// The demo card's ATR on the serial line (T=0), the T=1 demo card's and the virtual card's, which
// offers T=0 and T=1 (tests/support/virtual_card).
const char* const kDemoAtr = "3B 6C 00 00 51 55 4F 52 56 45 4C 20 44 45 4D 4F";
const char* const kDemoT1Atr = "3B 9C 96 81 31 20 45 51 55 4F 52 56 45 4C 20 44 45 4D 31 C4";
const char* const kVirtualAtr = "3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F 68";

const std::string kHello = "Hello from the Quorvel demo card";

class CardChannelContract : public ::testing::TestWithParam<Implementation> {
 protected:
  void SetUp() override {
    if (std::string(GetParam().settings).rfind("PCS", 0) == 0 &&
        getenv("PCSCLITE_CSOCK_NAME") == nullptr) {
      GTEST_SKIP() << "needs the tests' own pcscd: run through ctest";
    }
    rig_ = GetParam().make();
  }

  CardChannel& Channel() { return rig_->channel(); }

  // Opens the reader and resets the card; the ATR as received.
  Bytes Reset() {
    const std::string settings = GetParam().settings;
    Channel().Open(settings);
    rig_->BeforeReset();
    Bytes atr = Channel().ResetCard(settings);
    Channel().ApplySettings(settings);
    Channel().Settle(atr);
    return atr;
  }

  SimAnswer Send(const Bytes& header, std::uint8_t direction, const Bytes& data = {}) {
    Channel().Exchange(MakeCommand(header, direction, data), std::nullopt, exchange_);
    return SimAnswerOf(exchange_);
  }

  std::unique_ptr<ChannelRig> rig_;
  ExchangeState exchange_;
};

TEST_P(CardChannelContract, AResetGivesTheAtrAndAProtocol) {
  EXPECT_EQ(Reset(), HexBytes(GetParam().atr));
  EXPECT_EQ(Channel().InUse().protocol, GetParam().protocol);
  EXPECT_TRUE(Channel().IsOpen());
  EXPECT_TRUE(rig_->messages.messages.empty()) << rig_->messages.messages[0];
}

TEST_P(CardChannelContract, CommandsOfCaseTwoAndThreeGiveTheirStatusWordAndResponse) {
  Reset();
  // ISO/IEC 7816-4: SELECT with no answer data (case 3), READ BINARY (case 2).
  for (const char* file : {"7F 10", "6F 01"}) {
    const SimAnswer selected = Send(HexBytes("00 A4 00 0C 02"), kToCard, HexBytes(file));
    EXPECT_TRUE(selected.completed) << file;
    EXPECT_EQ(selected.sw(), 0x9000) << file;
    EXPECT_TRUE(exchange_.response.empty()) << file;
  }
  const SimAnswer read = Send(HexBytes("00 B0 00 00 20"), kFromCard);
  EXPECT_EQ(read.sw(), 0x9000);
  EXPECT_EQ(std::string(exchange_.response.begin(), exchange_.response.end()), kHello);
  EXPECT_EQ(exchange_.stop, ExchangeStop::kComplete);
}

TEST_P(CardChannelContract, ARefusedCommandGivesItsStatusWord) {
  Reset();
  // 6D 00: instruction not supported (ISO/IEC 7816-4); 6E 00: class not supported.
  EXPECT_EQ(Send(HexBytes("00 CA 00 00 04"), kFromCard).sw(), 0x6D00);
  EXPECT_EQ(Send(HexBytes("A0 B0 00 00 04"), kFromCard).sw(), 0x6E00);
  EXPECT_TRUE(exchange_.response.empty());
  // The channel goes on after a refusal.
  EXPECT_EQ(Send(HexBytes("00 A4 00 0C 02"), kToCard, HexBytes("7F 10")).sw(), 0x9000);
}

TEST_P(CardChannelContract, AClosedChannelSendsNothing) {
  Reset();
  Channel().Close();
  EXPECT_FALSE(Channel().IsOpen());
  const std::optional<std::size_t> before = rig_->BytesSent();
  const SimAnswer answer = Send(HexBytes("00 B0 00 00 20"), kFromCard);
  EXPECT_FALSE(answer.completed);
  EXPECT_NE(exchange_.stop, ExchangeStop::kComplete);
  EXPECT_TRUE(exchange_.received.empty());
  EXPECT_TRUE(exchange_.response.empty());
  EXPECT_EQ(rig_->BytesSent(), before);
}

template <class Rig>
std::unique_ptr<ChannelRig> Make() {
  return std::make_unique<Rig>();
}

std::string NameOf(const ::testing::TestParamInfo<Implementation>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(SerialLine, CardChannelContract,
                         ::testing::Values(Implementation{"DemoCard", Make<DemoLineRig>,
                                                          "DEMO: baud=9600 parity=E data=8 stop=2",
                                                          kDemoAtr, CardProtocol::kT0},
                                           Implementation{"DemoCardInT1", Make<DemoLineRig>,
                                                          "DEM1: baud=9600 parity=E data=8 stop=2",
                                                          kDemoT1Atr, CardProtocol::kT1},
                                           Implementation{"FakeLine", Make<FakeLineRig>,
                                                          "COM2: baud=9600 parity=E data=8 stop=2",
                                                          FakeLineRig::kAtr, CardProtocol::kT0}),
                         NameOf);

INSTANTIATE_TEST_SUITE_P(
    PcscdReader, CardChannelContract,
    ::testing::Values(Implementation{"T0", Make<PcscRig>, "PCS0", kVirtualAtr, CardProtocol::kT0},
                      Implementation{"T1", Make<PcscRig>, "PCS0: baud=9600 proto=t1", kVirtualAtr,
                                     CardProtocol::kT1}),
    NameOf);

}  // namespace
}  // namespace quorvel
