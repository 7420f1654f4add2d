#include "port/settings_string.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

LineSettings Parsed(const char* text, LineSettings start = {}) {
  EXPECT_TRUE(ParseSettingsString(text, start)) << text;
  return start;
}

TEST(SettingsStringTest, ReadsTheDefaultStrings) {
  const LineSettings reset = Parsed("COM2: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(reset.baudRate, 9600u);
  EXPECT_EQ(reset.parity, Parity::Even);
  EXPECT_EQ(reset.dataBits, 8);
  EXPECT_EQ(reset.stopBits, StopBits::Two);
  EXPECT_EQ(Parsed("COM2: baud=10472 parity=E data=8 stop=2").baudRate, 10472u);
}

TEST(SettingsStringTest, LeavesWhatTheStringDoesNotName) {
  LineSettings start;
  start.baudRate = 19200;
  start.parity = Parity::Odd;
  start.outCtsFlow = true;
  start.dtrControl = DtrControl::Handshake;
  LineSettings expected = start;
  expected.dataBits = 7;
  EXPECT_EQ(Parsed("COM2: data=7", start), expected);
}

TEST(SettingsStringTest, ReadsEveryClauseWithoutRegardToCase) {
  const LineSettings s = Parsed(
      "usb0: BAUD=115200 Parity=m DATA=5 stop=1.5 TO=ON xon=on odsr=on octs=on dtr=hs "
      "rts=tg idsr=on");
  EXPECT_EQ(s.baudRate, 115200u);
  EXPECT_EQ(s.parity, Parity::Mark);
  EXPECT_EQ(s.dataBits, 5);
  EXPECT_EQ(s.stopBits, StopBits::OnePointFive);
  EXPECT_TRUE(s.outXonXoff && s.inXonXoff && s.outDsrFlow && s.outCtsFlow && s.dsrSensitivity);
  EXPECT_EQ(s.dtrControl, DtrControl::Handshake);
  EXPECT_EQ(s.rtsControl, RtsControl::Toggle);

  const LineSettings off = Parsed("parity=s stop=1 xon=off octs=off dtr=off rts=hs", s);
  EXPECT_EQ(off.parity, Parity::Space);
  EXPECT_EQ(off.stopBits, StopBits::One);
  EXPECT_FALSE(off.outXonXoff || off.inXonXoff || off.outCtsFlow);
  EXPECT_TRUE(off.outDsrFlow);
  EXPECT_EQ(off.dtrControl, DtrControl::Disable);
  EXPECT_EQ(off.rtsControl, RtsControl::Handshake);
  EXPECT_EQ(Parsed("parity=n dtr=on rts=on rts=off").rtsControl, RtsControl::Disable);
  EXPECT_EQ(Parsed("COM1: parity=o").parity, Parity::Odd);
}

TEST(SettingsStringTest, ExpandsTheShortClassicRates) {
  EXPECT_EQ(Parsed("COM1: baud=96").baudRate, 9600u);
  EXPECT_EQ(Parsed("COM1: baud=11").baudRate, 110u);
  EXPECT_EQ(Parsed("COM1: baud=19").baudRate, 19200u);
  EXPECT_EQ(Parsed("COM1: baud=300").baudRate, 300u);
}

TEST(SettingsStringTest, ReadsTheOlderForm) {
  const LineSettings s = Parsed("COM1: 96,n,8,1");
  EXPECT_EQ(s.baudRate, 9600u);
  EXPECT_EQ(s.parity, Parity::None);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.stopBits, StopBits::One);

  LineSettings start;
  start.dataBits = 7;
  EXPECT_EQ(Parsed("COM1: 1200,E", start).dataBits, 7);
  const LineSettings hardware = Parsed("COM3:19,o,7,2,p");
  EXPECT_TRUE(hardware.outCtsFlow && hardware.outDsrFlow);
  EXPECT_EQ(hardware.rtsControl, RtsControl::Handshake);
  const LineSettings software = Parsed("COM3: 2400, e, 8, 2, X", hardware);
  EXPECT_TRUE(software.outXonXoff && software.inXonXoff);
  EXPECT_FALSE(software.outCtsFlow || software.outDsrFlow);
}

// proto= chooses the card's protocol, in any case, and leaves the line alone; a bad value is
// refused like any bad clause.
TEST(SettingsStringTest, ReadsTheProtocolChoiceApartFromTheLine) {
  const struct {
    const char* text;
    std::optional<ProtocolChoice> choice;
  } cases[] = {
      {"COM2: baud=9600 parity=E data=8 stop=2", ProtocolChoice::kByCard},
      {"COM2: baud=9600 proto=t0", ProtocolChoice::kT0},
      {"PCS0: PROTO=T1 baud=9600", ProtocolChoice::kT1},
      {"COM2: proto=t0 proto=t1", ProtocolChoice::kT1},
      {"COM1: 96,n,8,1", ProtocolChoice::kByCard},
      {"COM2: proto=t2", std::nullopt},
      {"COM2: proto=", std::nullopt},
      {"COM2: baud=x proto=t1", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadProtocolChoice(c.text), c.choice) << c.text;
    LineSettings line;
    EXPECT_EQ(ParseSettingsString(c.text, line), c.choice.has_value()) << c.text;
  }
  EXPECT_EQ(Parsed("COM2: proto=t1"), LineSettings{});
}

TEST(SettingsStringTest, RefusesWhatItCannotReadAndChangesNothing) {
  const char* refused[] = {"",
                           "COM2:",
                           "COM2: baud=",
                           "COM2: baud=0",
                           "COM2: baud=-9600",
                           "COM2: baud=9600x",
                           "COM2: baud=99999999999",
                           "COM2: parity=x",
                           "COM2: parity=even",
                           "COM2: data=9",
                           "COM2: data=4",
                           "COM2: stop=3",
                           "COM2: xon=yes",
                           "COM2: dtr=tg",
                           "COM2: rts=maybe",
                           "COM2: speed=9600",
                           "COM2: baud=9600 parity",
                           "COM2: baud = 9600",
                           "COM2: 96,q,8,1",
                           "COM2: 96,n,8,1,z",
                           "COM2: 96,n,8,1,x,1",
                           "COM2: ,n,8,1"};
  for (const char* text : refused) {
    LineSettings settings;
    settings.baudRate = 4800;
    EXPECT_FALSE(ParseSettingsString(text, settings)) << text;
    EXPECT_EQ(settings, [] {
      LineSettings unchanged;
      unchanged.baudRate = 4800;
      return unchanged;
    }()) << text;
  }
  LineSettings settings;
  EXPECT_FALSE(ParseSettingsString("COM2: baud=9600 parity=q", settings));
  EXPECT_EQ(settings.baudRate, LineSettings{}.baudRate);  // not half applied
}

}  // namespace
}  // namespace quorvel
