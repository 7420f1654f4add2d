#include "trace/tracing_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hex_bytes.h"
#include "trace/gsmtap_packet.h"
#include "trace/traced_exchange.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;
using testing::HexBytes;
using Time = std::chrono::system_clock::time_point;

const Time kStart = Time(std::chrono::seconds(1'700'000'000));

struct Packet {
  Time at;
  int kind;
  bool cutShort;
  std::vector<std::uint8_t> payload;
};

class RecordingSink final : public TraceSink {
 public:
  void Write(Time at, std::span<const std::uint8_t> gsmtap) override {
    packets.push_back(
        {at, gsmtap[12], gsmtap[kGsmtapSubSlotOffset] == kGsmtapSubSlotCutShort,
         std::vector<std::uint8_t>(gsmtap.begin() + kGsmtapHeaderBytes, gsmtap.end())});
  }
  int writeError() const override { return 0; }
  std::vector<Packet> packets;
};

// Names the steps it is shown, in order.
class StepNames final : public SessionDisplay {
 public:
  void ResetBegun(ExchangeRecord) override { steps += "begun "; }
  void ResetAnswered(const ResetAnswer&) override { steps += "atr "; }
  void SpeedSettled(const SpeedAnswer&) override { steps += "pps "; }
  void CommandAnswered(CommandAnswer answer) override {
    steps += "command(" + std::to_string(answer.received.size()) + ") ";
  }
  std::string steps;
};

// An answer as the serial line's T=0 session makes it: `sent` is the header and the data that
// went to the card, `received` what the rows show.
CommandAnswer Answer(const char* sent, std::uint8_t direction, const char* received,
                     const char* status, ExchangeStop stop = ExchangeStop::kComplete) {
  CommandAnswer answer;
  answer.sent = HexBytes(sent);
  std::copy(answer.sent.begin(), answer.sent.begin() + 5, answer.record.header);
  answer.record.direction = direction;
  answer.record.stop = stop;
  answer.record.started = kStart;
  answer.record.took = milliseconds(12);
  answer.received = HexBytes(received);
  const auto sw = HexBytes(status);
  answer.result = stop == ExchangeStop::kComplete ? 1 : 0;
  if (answer.result == 1 && direction != kToCard && answer.received.size() > kDataPosition)
    answer.response.assign(answer.received.begin() + kDataPosition, answer.received.end());
  answer.statusArrived = static_cast<int>(sw.size());
  std::copy(sw.begin(), sw.end(), answer.statusWord);
  return answer;
}

// What a T=0 exchange puts in its APDU packet: the command as sent, the data that came, and
// the status bytes that came (ISO/IEC 7816-3 clause 10: header, procedure byte, data, SW1 SW2).
TEST(TracingDisplayTest, ApduPayloadOfEachWayAnExchangeEnds) {
  const struct {
    const char* name;
    CommandAnswer answer;
    const char* payload;
    bool complete;
  } cases[] = {
      {"case 2: READ BINARY",
       Answer("00 B0 00 00 03", kFromCard, "00 B0 00 00 03 B0 41 42 43", "90 00"),
       "00 B0 00 00 03 41 42 43 90 00", true},
      {"case 3: SELECT",
       Answer("00 A4 00 0C 02 7F 10", kToCard, "00 A4 00 0C 02 A4 7F 10", "90 00"),
       "00 A4 00 0C 02 7F 10 90 00", true},
      {"case 1", Answer("00 44 00 00 00", kToCard, "00 44 00 00 00 44", "62 83"),
       "00 44 00 00 00 62 83", true},
      {"refused in place of the procedure byte",
       Answer("00 CA 00 00 04", kFromCard, "00 CA 00 00 04 6D 00", "",
              ExchangeStop::kWrongProcedureByte),
       "00 CA 00 00 04 6D 00", false},
      {"silent card", Answer("00 B0 00 00 02", kFromCard, "00 B0", "", ExchangeStop::kNoEcho),
       "00 B0 00 00 02", false},
      {"no procedure byte",
       Answer("00 B0 00 00 02", kFromCard, "00 B0 00 00 02", "", ExchangeStop::kNoProcedureByte),
       "00 B0 00 00 02", false},
      {"data echo cut short: the data as sent",
       Answer("00 D6 00 00 03 01 02 03", kToCard, "00 D6 00 00 03 D6 01", "",
              ExchangeStop::kShortDataEcho),
       "00 D6 00 00 03 01 02 03", false},
      {"SW2 never came", Answer("00 B0 00 00 01", kFromCard, "00 B0 00 00 01 B0 55", "6A"),
       "00 B0 00 00 01 55 6A", false},
  };
  for (const auto& c : cases) {
    const TracedExchange traced = TracedExchangeOf(c.answer);
    EXPECT_EQ(ApduPayload(traced, true), HexBytes(c.payload)) << c.name;
    EXPECT_EQ(traced.complete, c.complete) << c.name;
    EXPECT_EQ(traced.at, kStart + milliseconds(12)) << c.name;
  }
}

// The data of the commands that carry PINs, whatever the class: ISO/IEC 7816-4 VERIFY (20),
// CHANGE REFERENCE DATA (24), DISABLE / ENABLE VERIFICATION REQUIREMENT (26, 28), RESET
// RETRY COUNTER (2C); GSM 11.11 VERIFY, CHANGE, DISABLE, ENABLE and UNBLOCK CHV (A0 20 to 2C);
// ETSI TS 102 221 the same for the UICC's PINs (00 20 to 2C).
TEST(TracingDisplayTest, PinDataIsMaskedUnlessKept) {
  const struct {
    const char* sent;
    const char* masked;
  } cases[] = {
      {"00 20 00 01 04 31 32 33 34", "00 20 00 01 04 FF FF FF FF"},
      {"A0 20 00 01 08 31 32 33 34 FF FF FF FF", "A0 20 00 01 08 FF FF FF FF FF FF FF FF"},
      {"00 24 00 01 08 31 32 33 34 35 36 37 38", "00 24 00 01 08 FF FF FF FF FF FF FF FF"},
      {"A0 26 00 01 08 31 32 33 34 FF FF FF FF", "A0 26 00 01 08 FF FF FF FF FF FF FF FF"},
      {"00 28 00 01 02 31 32", "00 28 00 01 02 FF FF"},
      {"80 2C 00 01 03 01 02 03", "80 2C 00 01 03 FF FF FF"},
      {"00 20 00 01 00", "00 20 00 01 00"},  // asks for the tries left: no data
      {"00 A4 00 0C 02 3F 00", "00 A4 00 0C 02 3F 00"},
      {"00 22 41 A4 03 83 01 01", "00 22 41 A4 03 83 01 01"},
  };
  for (const auto& c : cases) {
    TracedExchange traced;
    traced.sent = HexBytes(c.sent);
    traced.status = HexBytes("90 00");
    auto masked = HexBytes(c.masked);
    masked.insert(masked.end(), {0x90, 0x00});
    EXPECT_EQ(ApduPayload(traced, false), masked) << c.sent;
    auto kept = HexBytes(c.sent);
    kept.insert(kept.end(), {0x90, 0x00});
    EXPECT_EQ(ApduPayload(traced, true), kept) << c.sent;
  }
}

TEST(TracingDisplayTest, EveryStepGoesOnAndTheLineBytesToEachSink) {
  StepNames shown;
  TracingDisplay display(shown, [] { return kStart + milliseconds(400); });
  RecordingSink masked, kept, detached;
  display.Attach(masked, false);
  display.Attach(kept, true);
  display.Attach(detached, false);
  display.Detach(detached);
  EXPECT_FALSE(display.Attached(detached));

  display.ResetBegun(ExchangeRecord{});
  ResetAnswer reset;
  reset.started = kStart;
  reset.took = milliseconds(300);
  reset.atr = HexBytes("3B 90 96 00");
  display.ResetAnswered(reset);
  SpeedAnswer speed;  // ISO/IEC 7816-3: the request's echo, then the card's response
  speed.speed.requestSent = true;
  std::copy_n(HexBytes("FF 10 96 79").begin(), 4, speed.speed.request);
  speed.received = HexBytes("FF 10 96 79 FF 10 96 79");
  display.SpeedSettled(speed);
  display.CommandAnswered(
      Answer("00 20 00 01 02 31 32", kToCard, "00 20 00 01 02 20 31 32", "90 00"));
  display.CommandAnswered(Answer("00 CA 00 00 04", kFromCard, "00 CA 00 00 04 6D 00", "",
                                 ExchangeStop::kWrongProcedureByte));

  EXPECT_EQ(shown.steps, "begun atr pps command(8) command(7) ");
  EXPECT_TRUE(detached.packets.empty());
  ASSERT_EQ(masked.packets.size(), 5u);
  const struct {
    int kind;
    Time at;
    const char* payload;
    bool cutShort;
  } expected[] = {
      {1, kStart + milliseconds(300), "3B 90 96 00", false},
      {2, kStart + milliseconds(400), "FF 10 96 79", false},
      {3, kStart + milliseconds(400), "FF 10 96 79", false},
      {0, kStart + milliseconds(12), "00 20 00 01 02 FF FF 90 00", false},
      {0, kStart + milliseconds(12), "00 CA 00 00 04 6D 00", true},
  };
  for (std::size_t i = 0; i < masked.packets.size(); ++i) {
    EXPECT_EQ(masked.packets[i].kind, expected[i].kind) << i;
    EXPECT_EQ(masked.packets[i].at, expected[i].at) << i;
    EXPECT_EQ(masked.packets[i].payload, HexBytes(expected[i].payload)) << i;
    EXPECT_EQ(masked.packets[i].cutShort, expected[i].cutShort) << i;
  }
  ASSERT_EQ(kept.packets.size(), 5u);
  EXPECT_EQ(kept.packets[3].payload, HexBytes("00 20 00 01 02 31 32 90 00"));
}

// No request (TA2, or nothing to ask for): no PPS packet. A card that did not answer: the
// request alone. An empty ATR: nothing came, nothing to show.
TEST(TracingDisplayTest, OnlyWhatCrossedTheLineIsTraced) {
  StepNames shown;
  TracingDisplay display(shown);
  RecordingSink sink;
  display.Attach(sink, false);
  display.ResetAnswered(ResetAnswer{});
  display.SpeedSettled(SpeedAnswer{});
  SpeedAnswer unanswered;
  unanswered.speed.requestSent = true;
  std::copy_n(HexBytes("FF 10 96 79").begin(), 4, unanswered.speed.request);
  unanswered.received = HexBytes("FF 10 96 79");
  display.SpeedSettled(unanswered);
  EXPECT_EQ(shown.steps, "atr pps pps ");
  ASSERT_EQ(sink.packets.size(), 1u);
  EXPECT_EQ(sink.packets[0].kind, 2);
}

}  // namespace
}  // namespace quorvel
