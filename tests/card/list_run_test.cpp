#include "card/list_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "commands/script_expectation.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/fake_serial_device.h"
#include "support/session_rig.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;
using Summary = ListRunSummary;

ListRunItem Item(int entry, std::vector<std::uint8_t> header, std::uint8_t direction,
                 std::vector<std::uint8_t> data = {}, const char* expect = "") {
  return ListRunItem{entry, testing::MakeCommand(header, direction, data),
                     ParseExpectation(expect).expectation, std::nullopt};
}

ListRunOptions Options(bool stopAtFailure) {
  ListRunOptions options;
  options.stops = {stopAtFailure, stopAtFailure};
  options.executeSettings = options.resetSettings = "DEMO: baud=9600 parity=E data=8 stop=2";
  return options;
}

// Three commands for the demo card; the second is refused (6D 00 in place of INS).
const std::vector<ListRunItem> kList = {
    Item(1, {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}),
    Item(2, {0x00, 0xCA, 0x00, 0x00, 0x00}, kFromCard),
    Item(3, {0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard),
};

struct RunCase {
  const char* name;
  bool stopAtFailure;
  int stopBefore;   // index whose start asks for a stop; -1 for none
  bool portClosed;  // no Reset opened the port
  Summary::End end;
  int ran;
  int completed;
  std::vector<int> started;
};

TEST(ListRunTest, StopsWhereTheUserTheFailureOrThePortSays) {
  const RunCase cases[] = {
      {"all", false, -1, false, Summary::End::kAllRan, 3, 2, {0, 1, 2}},
      {"at a failure", true, -1, false, Summary::End::kFailed, 2, 1, {0, 1}},
      {"by the user", false, 0, false, Summary::End::kStopped, 1, 1, {0}},
      {"port closed", false, -1, true, Summary::End::kPortGone, 1, 0, {0}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::DemoCardRig demo;
    auto [clock, session] = std::tie(demo.clock, demo.rig.session);
    const char* settings = "DEMO: baud=9600 parity=E data=8 stop=2";
    if (!c.portClosed) session.Reset(settings, settings);  // no Reset: the port stays closed

    std::atomic<bool> stop{false};
    std::vector<int> started;
    const auto began = clock.Now();
    ListRunHooks hooks;
    hooks.starting = [&](std::size_t index) {
      started.push_back(static_cast<int>(index));
      if (static_cast<int>(index) == c.stopBefore) stop = true;
    };
    const Summary summary =
        RunCommandList(session, clock, kList, Options(c.stopAtFailure), stop, hooks);
    EXPECT_EQ(summary.end, c.end);
    EXPECT_EQ(summary.count, 3);
    EXPECT_EQ(summary.ran, c.ran);
    EXPECT_EQ(summary.completed, c.completed);
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(summary.took, clock.Now() - began);
  }
}

TEST(ListRunTest, ResetsRunInPlaceAndExpectationsAreChecked) {
  testing::DemoCardRig demo;
  testing::SessionRig& t = demo.rig;
  // ETSI TS 101 955 Annex B patterns: the SELECT's 61 09, then a GET CHALLENGE said to answer
  // 6A 82 (it answers 90 00), after a Reset that starts the card afresh.
  const std::vector<ListRunItem> list = {
      {1, std::nullopt, {}, std::nullopt},
      Item(2, {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}, "(61 XX)"),
      {3, std::nullopt, {}, std::nullopt},
      Item(4, {0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard, {}, "(6A 82)"),
      Item(5, {0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard),
  };
  std::atomic<bool> stop{false};
  const Summary summary = RunCommandList(t.session, demo.clock, list, Options(true), stop, {});
  EXPECT_EQ(summary.end, Summary::End::kUnmet);
  EXPECT_EQ(summary.count, 3);
  EXPECT_EQ(summary.ran, 2);
  EXPECT_EQ(summary.expecting, 2);
  EXPECT_EQ(summary.unmet, 1);
  EXPECT_EQ(std::count(t.rows.entries.begin(), t.rows.entries.end(), "Reset..."), 2);
  EXPECT_THAT(t.output.ExplainRow(static_cast<int>(t.rows.entries.size()) - 1),
              ::testing::HasSubstr("The command expected 6A 82, got 90 00."));
  EXPECT_EQ(t.total, 16u + 14);  // counted anew from the second Reset: its ATR, then GET CHALLENGE
}

TEST(ListRunTest, ARefusalThatWasExpectedCompletesAndAnUnmetAnswerStopsOnlyWhenAsked) {
  // The command line's rules: failures run on, answers not as expected stop the run.
  const std::vector<ListRunItem> list = {
      Item(1, {0x00, 0xCA, 0x00, 0x00, 0x04}, kFromCard, {}, "(6D 00)"),
      Item(2, {0x00, 0xCA, 0x00, 0x00, 0x00}, kFromCard),
      Item(3, {0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard, {}, "(6A 82)"),
      Item(4, {0x00, 0x84, 0x00, 0x00, 0x08}, kFromCard),
  };
  for (const bool keepGoing : {false, true}) {
    testing::DemoCardRig demo;
    const char* settings = "DEMO: baud=9600 parity=E data=8 stop=2";
    demo.rig.session.Reset(settings, settings);
    ListRunOptions options = Options(false);
    options.stops.atUnmet = !keepGoing;
    std::atomic<bool> stop{false};
    const Summary summary = RunCommandList(demo.rig.session, demo.clock, list, options, stop, {});
    EXPECT_EQ(summary.end, keepGoing ? Summary::End::kAllRan : Summary::End::kUnmet);
    EXPECT_EQ(summary.ran, keepGoing ? 4 : 3);
    EXPECT_EQ(summary.completed, keepGoing ? 3 : 2);  // the 6D 00 that was expected, not the other
    EXPECT_EQ(summary.unmet, 1);
  }
}

TEST(ListRunTest, AReaderThatGoesAwayStopsTheRunWithOneMessageAndNothingMoreSent) {
  testing::FakeClock clock;
  testing::FakeLine line{clock};
  line.echo = true;
  line.card = [](testing::FakeLine& l, const std::vector<std::uint8_t>& written) {
    if (written.size() == 5) l.Arrive({written[1], 0x90, 0x00}, milliseconds(1));
  };
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig t(devices, clock);
  t.port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  line.goneAt = milliseconds(60);  // unplugged during the second command
  std::vector<ListRunItem> list;
  for (int entry = 1; entry <= 5; ++entry)
    list.push_back(Item(entry, {0x00, 0xB0, 0x00, 0x00, 0x00}, kFromCard));
  std::atomic<bool> stop{false};
  const Summary summary = RunCommandList(t.session, clock, list, Options(false), stop, {});
  EXPECT_EQ(summary.end, Summary::End::kPortGone);
  EXPECT_EQ(summary.ran, 2);
  EXPECT_EQ(line.writes.size(), 2u);
  EXPECT_EQ(t.messages.messages.size(), 1u);
}

TEST(ListRunTest, TheRunLineSaysWhereItIsAndHowItEnded) {
  const auto took = milliseconds(4210);
  const struct {
    Summary summary;
    const char* text;
  } cases[] = {
      {{Summary::End::kAllRan, 40, 40, 38, 0, 0, took},
       "40 commands: 38 completed, 2 failed, 4.21 s"},
      {{Summary::End::kFailed, 40, 7, 6, 0, 0, took},
       "Stopped at command 7 of 40, which failed. 7 commands: 6 completed, 1 failed, 4.21 s"},
      {{Summary::End::kStopped, 40, 1, 1, 0, 0, took},
       "Stopped after command 1 of 40. 1 command: 1 completed, 0 failed, 4.21 s"},
      {{Summary::End::kPortGone, 3, 2, 1, 0, 0, took},
       "Stopped at command 2 of 3: the port is closed. 2 commands: 1 completed, 1 failed, 4.21 s"},
      {{Summary::End::kUnmet, 9, 4, 4, 3, 1, took},
       "Stopped at command 4 of 9, whose answer was not as expected. 4 commands: 4 completed, 0 "
       "failed, 1 answer not as expected, 4.21 s"},
      {{Summary::End::kAllRan, 9, 9, 9, 3, 2, took},
       "9 commands: 9 completed, 0 failed, 2 answers not as expected, 4.21 s"},
  };
  for (const auto& c : cases) EXPECT_EQ(ListRunSummaryText(c.summary), c.text);
  EXPECT_EQ(ListRunProgressText(12, 40, milliseconds(3250)), "Command 12 of 40, 3.2 s");
  EXPECT_EQ(ListRunProgressText(1, 0, milliseconds(300)), "Reset, 0.3 s");
}

}  // namespace
}  // namespace quorvel
