#include "card/card_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "card/automatic_response.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/fake_clock.h"
#include "support/fake_controls.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"
#include "support/session_rig.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

struct ResetOutcome {
  std::vector<std::string> rows;
  std::chrono::nanoseconds took;
};

// A reset whose card sends `atr` in two pieces, 60 and 70 ms after the reset began.
ResetOutcome ResetWith(PortTiming timing, std::vector<std::uint8_t> atr) {
  testing::FakeClock clock;
  testing::FakeLine line{clock};
  const std::vector<std::uint8_t> head(atr.begin(), atr.begin() + 2);
  const std::vector<std::uint8_t> rest(atr.begin() + 2, atr.end());
  line.Arrive(head, milliseconds(60));
  line.Arrive(rest, milliseconds(70));
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig t(devices, clock);
  t.port.SetTiming(timing);
  const char* settings = "COM2: baud=9600 parity=E data=8 stop=2";
  t.session.Reset(settings, settings);
  return {t.rows.entries, t.session.lastTiming().took};
}

// With deadlines a reset takes what the fixed read at the end of the 250 ms takes: a card
// may send more than its ATR announces. Only 64 bytes end it sooner.
TEST(CardSessionTest, WithDeadlinesAResetTakesWhatTheFixedWaitTakes) {
  std::vector<std::uint8_t> long_answer(70);
  std::iota(long_answer.begin(), long_answer.end(), std::uint8_t{0x3B});
  const struct {
    const char* name;
    std::vector<std::uint8_t> sent;
    std::vector<std::string> rows;
    milliseconds deadlineTook;
  } cases[] = {
      // TS 3B, T0 80 (TD1 follows, no historical bytes), TD1 01 (T=1 offered), TCK 81.
      {"a whole ATR", {0x3B, 0x80, 0x01, 0x81}, {"Reset...", "3B 80 01 81 "}, milliseconds(300)},
      // T0 10: TA1 only, so the ATR is 3B 10 14; the card sends one byte more.
      {"a byte after the ATR",
       {0x3B, 0x10, 0x14, 0x50},
       {"Reset...", "3B 10 14 50 "},
       milliseconds(300)},
      {"more than 64 bytes",
       long_answer,
       {"Reset...", "3B 3C 3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A ",
        "4B 4C 4D 4E 4F 50 51 52 53 54 55 56 57 58 59 5A ",
        "5B 5C 5D 5E 5F 60 61 62 63 64 65 66 67 68 69 6A ",
        "6B 6C 6D 6E 6F 70 71 72 73 74 75 76 77 78 79 7A "},
       milliseconds(70)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ResetOutcome fixed = ResetWith(PortTiming::kFixed, c.sent);
    const ResetOutcome deadline = ResetWith(PortTiming::kDeadline, c.sent);
    EXPECT_EQ(fixed.rows, c.rows);
    EXPECT_EQ(deadline.rows, fixed.rows);
    EXPECT_EQ(fixed.took, milliseconds(300));
    EXPECT_EQ(deadline.took, c.deadlineTook);
  }
}

using Bytes = std::vector<std::uint8_t>;

// A session over a card played by `card` (the demo card when it is empty), reset once.
class AutomaticResponseTest : public ::testing::Test {
 protected:
  void Use(std::function<Bytes(const Bytes& header)> answerToHeader) {
    line.echo = true;
    line.card = [answerToHeader](testing::FakeLine& l, const Bytes& written) {
      if (written.size() == 5) l.Arrive(answerToHeader(written), milliseconds(1));
    };
    fake.port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  }
  void UseTheDemoCard() {
    demo = std::make_unique<testing::DemoCardRig>();
    const char* settings = "DEMO: baud=9600 parity=E data=8 stop=2";
    demo->rig.session.Reset(settings, settings);
    demo->rig.output.RemoveAllRows();
  }
  // The demo card's session once it is in use, else the scripted card's.
  testing::SessionRig& Rig() { return demo ? demo->rig : fake; }
  CardSession& Session() { return Rig().session; }
  // The rows of one Execute with automatic answers on.
  std::vector<std::string> Execute(const CardCommand& command) {
    Session().SetAutomaticResponses(true);
    const auto first = Rig().rows.entries.size();
    last_result = Session().Execute(command);
    return {Rig().rows.entries.begin() + static_cast<std::ptrdiff_t>(first),
            Rig().rows.entries.end()};
  }
  std::string Explained(std::size_t row) { return Rig().output.ExplainRow(static_cast<int>(row)); }

  testing::FakeClock clock;
  testing::FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig fake{devices, clock};
  std::unique_ptr<testing::DemoCardRig> demo;
  int last_result = -1;
};

TEST_F(AutomaticResponseTest, TheDemoCardsAnswersAreFetchedAndResent) {
  UseTheDemoCard();
  // 61 09 in the status row: GET RESPONSE with P3 = 09 (ISO/IEC 7816-3, T=0 case 4).
  const CardCommand select =
      testing::MakeCommand({0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}, "select 7F10");
  EXPECT_THAT(Execute(select),
              ElementsAre("00 A4 00 00 02 A4 7F 10 ", "61 09",
                          "00 C0 00 00 09 C0 62 07 82 01 38 83 02 7F 10 ", "90 00"));
  EXPECT_THAT(Explained(2),
              ::testing::HasSubstr("GET RESPONSE sent automatically after 61 09 (command \"select "
                                   "7F10\")."));
  EXPECT_EQ(last_result, 1);

  // 6C 0A in place of the procedure byte: the same command with P3 = 0A (T=0 case 2).
  Execute(testing::MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x6F, 0x01}, ""));
  const auto before = Rig().rows.entries.size();
  EXPECT_THAT(Execute(testing::MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x00}, kFromCard, {}, "read")),
              ElementsAre("Command execution failed!", "00 B0 00 00 00 6C 20 ",
                          "00 B0 00 00 20 B0 48 65 6C 6C 6F 20 66 72 6F 6D ",
                          "20 74 68 65 20 51 75 6F 72 76 65 6C 20 64 65 6D ", "6F 20 63 61 72 64 ",
                          "90 00"));
  EXPECT_THAT(Explained(before + 2),
              ::testing::HasSubstr("Sent again with P3=20 after 6C 20 (command \"read\")."));
  EXPECT_EQ(last_result, 1);                          // the answer the card asked for came
  EXPECT_EQ(Rig().total, 16u + 8 + 15 + 8 + 7 + 38);  // the ATR, then every exchange
}

TEST_F(AutomaticResponseTest, WithTheSwitchOffOnlyTheListsCommandGoes) {
  UseTheDemoCard();
  Rig().session.SetAutomaticResponses(false);
  Rig().session.Execute(
      testing::MakeCommand({0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}, ""));
  EXPECT_THAT(Rig().rows.entries, ElementsAre("00 A4 00 00 02 A4 7F 10 ", "61 09"));
}

TEST_F(AutomaticResponseTest, ClassA0AsksWith9FAndLongAnswersComeInSteps) {
  // GSM 11.11: 9F XX after a SELECT of class A0; GET RESPONSE keeps the class. 61 00 asks
  // for 256 bytes or more: fetched 255 at a time, the rest announced by its own 61 XX.
  Use([](const Bytes& header) -> Bytes {
    if (header[1] == 0xA4) return {0xA4};  // then the file id, then 9F 16 below
    if (header[1] == 0xC0 && header[4] == 0x16) {
      Bytes answer{0xC0};
      answer.resize(1 + 0x16, 0x55);
      answer.insert(answer.end(), {0x61, 0x00});
      return answer;
    }
    if (header[1] == 0xC0 && header[4] == 0xFF) {
      Bytes answer(1 + 255, 0x77);
      answer[0] = 0xC0;
      answer.insert(answer.end(), {0x61, 0x03});
      return answer;
    }
    return {0xC0, 1, 2, 3, 0x90, 0x00};
  });
  line.card = [inner = line.card](testing::FakeLine& l, const Bytes& written) {
    inner(l, written);
    if (written.size() == 2) l.Arrive({0x9F, 0x16}, milliseconds(1));  // after the file id
  };
  const std::vector<std::string> shown = Execute(
      testing::MakeCommand({0xA0, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x20}, "select DF GSM"));
  std::vector<std::string> statusRows;
  for (const auto& row : shown)
    if (row.size() == 5) statusRows.push_back(row);
  EXPECT_THAT(statusRows, ElementsAre("9F 16", "61 00", "61 03", "90 00"));
  EXPECT_THAT(line.writes, ::testing::Contains(Bytes{0xA0, 0xC0, 0x00, 0x00, 0x16}));
  EXPECT_THAT(line.writes, ::testing::Contains(Bytes{0xA0, 0xC0, 0x00, 0x00, 0xFF}));
  EXPECT_THAT(line.writes, ::testing::Contains(Bytes{0xA0, 0xC0, 0x00, 0x00, 0x03}));
}

TEST_F(AutomaticResponseTest, ACardThatAlwaysAsksForMoreIsAnsweredOnly32Times) {
  Use([](const Bytes& header) -> Bytes {
    Bytes answer(1 + header[4], 0x11);
    answer[0] = header[1];
    answer.insert(answer.end(), {0x61, 0x00});
    return answer;
  });
  Execute(testing::MakeCommand({0x00, 0xB2, 0x01, 0x04, 0x10}, kFromCard, {}, "endless"));
  EXPECT_EQ(line.writes.size(), 1u + kMaxAutomaticCommands);
  const std::string last = Explained(Rig().rows.entries.size() - 1);
  EXPECT_THAT(last, ::testing::HasSubstr("this is the last of the 32 commands sent "
                                         "automatically after one command of the list"));
  EXPECT_THAT(Explained(1), ::testing::Not(::testing::HasSubstr("this is the last")));
}

TEST_F(AutomaticResponseTest, AStopRequestEndsTheChainBetweenTwoExchanges) {
  // Stop, and closing the window, wait for the exchange in progress, not for a whole chain.
  std::atomic<bool> stop{false};
  Session().SetStopFlag(&stop);
  Session().SetAutomaticResponses(true);
  Use([&stop](const Bytes& header) -> Bytes {
    stop = true;  // asked while the first exchange is on the line
    Bytes answer(1 + header[4], 0x11);
    answer[0] = header[1];
    answer.insert(answer.end(), {0x61, 0x00});
    return answer;
  });
  const ExecuteOutcome outcome = Session().Execute(
      testing::MakeCommand({0x00, 0xB2, 0x01, 0x04, 0x10}, kFromCard, {}, "endless"), {});
  EXPECT_EQ(line.writes.size(), 1u);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_FALSE(outcome.succeeded());
  Session().SetStopFlag(nullptr);
}

TEST_F(AutomaticResponseTest, WrongLengthIsCorrectedOnlyForACommandThatReadsAndOnlyOnce) {
  // ISO/IEC 7816-3 12.2.3: 6C XX gives the exact Le of a case 2 command. A command that
  // sends data is never sent again (padded or cut); a card that asks again for the P3 it
  // was given is not asked again.
  const struct {
    const char* name;
    CardCommand command;
    Bytes answer;  // to every header
    std::vector<Bytes> writes;
  } cases[] = {
      {"data to the card",
       testing::MakeCommand({0x00, 0xEA, 0x00, 0x00, 0x02}, kToCard, {0x11, 0x22}, "put"),
       {0x6C, 0x04},
       {{0x00, 0xEA, 0x00, 0x00, 0x02}}},
      {"the same length again",
       testing::MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x10}, kFromCard, {}, "read"),
       {0x6C, 0x20},
       {{0x00, 0xB0, 0x00, 0x00, 0x10}, {0x00, 0xB0, 0x00, 0x00, 0x20}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    line.writes.clear();
    Use([&c](const Bytes&) { return c.answer; });
    Execute(c.command);
    EXPECT_EQ(line.writes, c.writes);
  }
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(AutomaticCommandTest, OnlyAWholeStatusWordThatAsksForMoreIsAnswered) {
  // ISO/IEC 7816-4: 61 XX more data, 6C XX wrong Le; GSM 11.11: 9F XX response data.
  const struct {
    const char* name;
    int result;
    ExchangeStop stop;
    std::vector<std::uint8_t> received;  // echo, procedure byte and what followed
    std::vector<std::uint8_t> status;    // the status bytes that arrived
    std::optional<std::uint16_t> word;
    bool answered;
  } cases[] = {
      {"61 09 after the data", 1, ExchangeStop::kComplete, {}, {0x61, 0x09}, 0x6109, true},
      {"90 00", 1, ExchangeStop::kComplete, {}, {0x90, 0x00}, 0x9000, false},
      {"SW2 never came", 1, ExchangeStop::kComplete, {}, {0x61}, std::nullopt, false},
      {"6C 20 in place of INS",
       0,
       ExchangeStop::kWrongProcedureByte,
       {0, 0xB0, 0, 0, 0, 0x6C, 0x20},
       {},
       0x6C20,
       true},
      {"6C without its SW2",
       0,
       ExchangeStop::kWrongProcedureByte,
       {0, 0xB0, 0, 0, 0, 0x6C},
       {},
       std::nullopt,
       false},
      {"the null byte then 61",
       0,
       ExchangeStop::kWrongProcedureByte,
       {0, 0xB0, 0, 0, 0, 0x60, 0x61},
       {},
       0x6061,
       false},
      {"no procedure byte",
       0,
       ExchangeStop::kNoProcedureByte,
       {0, 0xB0, 0, 0, 0},
       {},
       std::nullopt,
       false},
  };
  const CardCommand read = testing::MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x00}, kFromCard, {}, "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExchangeState state;
    state.stop = c.stop;
    state.received = c.received;
    std::copy(c.status.begin(), c.status.end(), state.statusWord);
    state.statusArrived = static_cast<int>(c.status.size());
    EXPECT_EQ(AnsweringStatusWord(c.result, state), c.word);
    EXPECT_EQ(NextAutomaticCommand(read, c.result, state).has_value(), c.answered);
  }
}

TEST(AutomaticCommandTest, GetResponseKeepsTheChannelAndDropsSecureMessagingAndChaining) {
  // ISO/IEC 7816-4 5.4.1 (class byte codings), ETSI TS 102 221 10.1.1 (8X, CX and A0).
  const struct {
    std::uint8_t cla;
    std::uint8_t getResponse;
  } cases[] = {
      {0x00, 0x00}, {0x01, 0x01}, {0x0C, 0x00}, {0x10, 0x00}, {0x13, 0x03}, {0x80, 0x00},
      {0x84, 0x00}, {0x83, 0x03}, {0xA0, 0xA0}, {0x4B, 0x4B}, {0x7B, 0x4B}, {0xC2, 0x42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.cla));
    EXPECT_EQ(GetResponseClass(c.cla), c.getResponse);
  }
}

TEST(AutomaticCommandTest, AWarningToACaseFourCommandSentAsCaseThreeFetchesItsAnswer) {
  // ETSI TS 102 221 7.3.1.1.4, case 4b: 62 XX or 63 XX, then GET RESPONSE with Le = 00.
  ExchangeState state;
  state.stop = ExchangeStop::kComplete;
  state.statusWord[0] = 0x62;
  state.statusWord[1] = 0x83;
  state.statusArrived = 2;
  const CardCommand put = testing::MakeCommand({0x80, 0xE2, 0x00, 0x00, 0x01}, kToCard, {0x11}, "");
  EXPECT_FALSE(NextAutomaticCommand(put, 1, state, false).has_value());
  const auto next = NextAutomaticCommand(put, 1, state, true);
  ASSERT_TRUE(next.has_value());
  EXPECT_THAT(next->command.header, ::testing::ElementsAre(0x00, 0xC0, 0x00, 0x00, 0x00));
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

struct SpeedCase {
  const char* name;
  const char* port;
  bool negotiate;
  std::vector<std::string> rows;  // after the ATR's rows
  const char* speed;              // the Reset's explanation of protocol and speed
};

TEST(ResetWithSpeedNegotiationTest, ThePpsRowFollowsTheAtrOnlyWhenAskedFor) {
  const SpeedCase cases[] = {
      {"switch off: the described Reset",
       "DEMF",
       false,
       {},
       "No PPS: speed negotiation is off; the line stays at 9600 baud; protocol T=0"},
      // ISO/IEC 7816-3 PPS: FF 10 96 79 echoed, then the card's equal response.
      {"DEMF takes TA1 96",
       "DEMF",
       true,
       {"FF 10 96 79 FF 10 96 79 "},
       "PPS accepted: Fi=512, Di=32; the line runs at 223200 baud; protocol T=0"},
      {"DEMO offers no TA1",
       "DEMO",
       true,
       {},
       "No PPS: the ATR offers no speed but the default; the line stays at 9600 baud; "
       "protocol T=0"},
  };
  for (const SpeedCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::DemoCardRig demo;
    auto [session, rows, output, total] =
        std::tie(demo.rig.session, demo.rig.rows, demo.rig.output, demo.rig.total);
    session.SetSpeedNegotiation(c.negotiate);
    const std::string settings = std::string(c.port) + ": baud=9600 parity=E data=8 stop=2";
    session.Reset(settings.c_str(), settings.c_str());
    const std::size_t atrRows = std::string(c.port) == "DEMF" ? 2 : 1;
    ASSERT_EQ(rows.entries.size(), 1 + atrRows + c.rows.size());
    EXPECT_EQ(std::vector<std::string>(rows.entries.begin() + 1 + atrRows, rows.entries.end()),
              c.rows);
    EXPECT_EQ(total, (std::string(c.port) == "DEMF" ? 19u : 16u) + (c.rows.empty() ? 0 : 8));
    const std::string marker = output.ExplainRow(0);
    if (!c.rows.empty()) {
      EXPECT_THAT(output.ExplainRow(static_cast<int>(rows.entries.size()) - 1),
                  ::testing::HasSubstr("PPS1 96: Fi=512, Di=32: 223200 baud at 3.5712 MHz"));
      // The card now speaks at 223200 baud: a command goes through at once.
      const CardCommand challenge =
          testing::MakeCommand({0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard, {}, "");
      EXPECT_EQ(session.Execute(challenge), 1);
    }
    // Either way the Reset says what became of the protocol and the speed, PPS or not.
    EXPECT_THAT(marker, ::testing::HasSubstr(std::string("\nProtocol and speed: ") + c.speed));
  }
}

TEST(ResetWithSpeedNegotiationTest, ACardThatDoesNotAnswerThePpsIsResetOnceMoreWithoutIt) {
  testing::FakeClock clock;
  testing::FakeLine line{clock};
  line.echo = true;
  // TS 3B, T0 10 (TA1 follows, no historical bytes), TA1 96; silent after its ATR.
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig t(devices, clock);
  auto [session, rows, output, total] = std::tie(t.session, t.rows, t.output, t.total);
  session.SetSpeedNegotiation(true);
  line.Arrive({0x3B, 0x10, 0x96}, milliseconds(100));
  const char* settings = "COM2: baud=9600 parity=E data=8 stop=2";
  session.Reset(settings, settings);
  EXPECT_EQ(session.lastSpeed().outcome, SpeedOutcome::kFailed);
  // The ATR, the echo of the request and nothing from the card, then the second reset,
  // whose ATR never came (this card answers one reset only).
  EXPECT_THAT(rows.entries, ElementsAre("Reset...", "3B 10 96 ", "FF 10 96 79 ", "Reset..."));
  EXPECT_THAT(output.ExplainRow(3), ::testing::HasSubstr("A second reset, without PPS: "));
  EXPECT_EQ(total, 0u);  // the second reset's count
}

// A card without the protocol the Execute settings choose gets nothing until the next Reset.
TEST(ResetWithSpeedNegotiationTest, ACardWithoutTheProtocolChosenGetsNoCommand) {
  testing::FakeClock clock;
  testing::FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig t(devices, clock);
  line.Arrive({0x3B, 0x10, 0x96}, milliseconds(100));
  t.session.Reset("COM2: baud=9600 proto=t1", "COM2: baud=9600");
  line.writes.clear();
  EXPECT_EQ(t.session.Execute(testing::MakeCommand({0, 0xB0, 0, 0, 8}, kFromCard, {}, "")), 0);
  EXPECT_THAT(line.writes, ::testing::IsEmpty());
  EXPECT_THAT(t.output.ExplainRow(static_cast<int>(t.rows.entries.size()) - 1),
              ::testing::HasSubstr("Nothing was sent, as the last Reset said: No PPS: the card "
                                   "offers T=0, and proto=t1 asks for T=1: no command is sent."));
}

}  // namespace
}  // namespace quorvel
