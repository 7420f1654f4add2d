#include "explore/session_card_access.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "sim/file_walker.h"
#include "support/session_rig.h"

namespace quorvel {
namespace {

using testing::DemoCardRig;

// Rows that close an exchange: its status row ("90 00", no trailing blank as hex rows have)
// or, for a refusal in place of the procedure byte, the failure row.
std::size_t ClosingRows(const std::vector<std::string>& rows) {
  static const std::regex status("[0-9A-F-]{2} [0-9A-F-]{2}");
  std::size_t count = 0;
  for (const std::string& row : rows)
    count += row == kExecutionFailed || std::regex_match(row, status) ? 1 : 0;
  return count;
}

// Both demo cards walked over the echoing line (GSM 11.11 answers with 9F XX and a class 00
// refused with 6E 00 in place of the procedure byte; TS 102 221 FCPs after 61 XX, 69 82 for
// the files behind PIN1): every command is an exchange of the session, shown in the rows.
TEST(SessionCardAccessTest, WalksTheDemoCardsThroughTheSerialSessionEachCommandAnExchange) {
  struct Case {
    const char* settings;
    CardKind kind;
    std::size_t exchanges;  // as the README counts them
  };
  const Case cases[] = {
      {"DEMS: baud=9600 parity=E data=8 stop=2", CardKind::kGsmSim, 63},
      {"DEMU: baud=9600 parity=E data=8 stop=2", CardKind::kUicc, 79},
  };
  for (const Case& c : cases) {
    DemoCardRig demo;
    CardSession& session = demo.rig.session;
    session.SetAutomaticResponses(true);
    session.Reset(c.settings, c.settings);
    const std::size_t resetRows = demo.rig.rows.entries.size();
    const std::atomic<bool> stop{false};
    CardWalk walk;
    {
      SessionCardAccess access(session, stop);
      EXPECT_FALSE(session.automaticResponses()) << "the walker sends its own GET RESPONSE";
      walk = WalkCard(access);
      EXPECT_EQ(access.exchanges(), walk.exchanges);
    }
    EXPECT_TRUE(session.automaticResponses()) << "the switch is back as it was";
    EXPECT_EQ(walk.kind, c.kind) << c.settings;
    EXPECT_TRUE(walk.completed) << walk.outcome;
    EXPECT_EQ(walk.exchanges, c.exchanges) << c.settings;
    const std::vector<std::string> rows(demo.rig.rows.entries.begin() + resetRows,
                                        demo.rig.rows.entries.end());
    EXPECT_EQ(ClosingRows(rows), walk.exchanges) << c.settings;
    EXPECT_THAT(rows, ::testing::Contains(kExecutionFailed)) << "refusals are answers too";
  }
}

TEST(SessionCardAccessTest, AStopRequestedBeforeTheWalkSendsNothing) {
  DemoCardRig demo;
  const char* settings = "DEMU: baud=9600 parity=E data=8 stop=2";
  demo.rig.session.Reset(settings, settings);
  const std::size_t resetRows = demo.rig.rows.entries.size();
  const std::atomic<bool> stop{true};
  SessionCardAccess access(demo.rig.session, stop);
  const CardWalk walk = WalkCard(access);
  EXPECT_FALSE(walk.completed);
  EXPECT_EQ(walk.exchanges, 0u);
  EXPECT_EQ(demo.rig.rows.entries.size(), resetRows);
}

// How an exchange's end reads as the walker's answer (the serial line's T=0, ISO/IEC 7816-3
// 10.3.3: SW1 SW2 may stand in place of the procedure byte).
TEST(SessionCardAccessTest, AnExchangeIsAnAnswerWhenItsStatusWordArrived) {
  struct Case {
    const char* name;
    ExchangeStop stop;
    std::vector<std::uint8_t> received;
    int statusArrived;
    bool completed;
    std::uint16_t sw;
  };
  const Case cases[] = {
      {"status phase",
       ExchangeStop::kComplete,
       {0xA0, 0xB0, 0, 0, 2, 0xB0, 0x12, 0x34},
       2,
       true,
       0x9000},
      {"one status byte", ExchangeStop::kComplete, {0xA0, 0xB0, 0, 0, 2, 0xB0}, 1, false, 0},
      {"refusal",
       ExchangeStop::kWrongProcedureByte,
       {0, 0xA4, 0, 4, 2, 0x6E, 0x00},
       0,
       true,
       0x6E00},
      {"SW1 alone", ExchangeStop::kWrongProcedureByte, {0, 0xA4, 0, 4, 2, 0x6E}, 0, false, 0},
      {"no echo", ExchangeStop::kNoEcho, {0, 0xA4}, 0, false, 0},
      {"no procedure byte", ExchangeStop::kNoProcedureByte, {0, 0xA4, 0, 4, 2}, 0, false, 0},
  };
  for (const Case& c : cases) {
    ExchangeState state;
    state.stop = c.stop;
    state.received = c.received;
    state.statusArrived = c.statusArrived;
    state.statusWord[0] = 0x90;
    if (c.stop == ExchangeStop::kComplete) state.response = {0x12, 0x34};
    const SimAnswer answer = SimAnswerOf(state);
    EXPECT_EQ(answer.completed, c.completed) << c.name;
    if (!c.completed) continue;
    EXPECT_EQ(answer.sw(), c.sw) << c.name;
    EXPECT_EQ(answer.data.size(), c.stop == ExchangeStop::kComplete ? 2u : 0u) << c.name;
  }
}

}  // namespace
}  // namespace quorvel
