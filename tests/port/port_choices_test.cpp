#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "port/port_name_completion.h"
#include "port/serial_port_listing.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_system_tree.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using Source = PortChoice::Source;

std::vector<std::string> Lines(const std::vector<PortChoice>& choices) {
  std::vector<std::string> lines;
  for (const PortChoice& choice : choices) lines.push_back(PortChoiceLine(choice));
  return lines;
}

class PortListingTest : public ::testing::Test {
 protected:
  std::string Dev(const std::string& tty) const { return tree.roots().dev + "/" + tty; }

  testing::TempFolder folder{"sysfs"};
  testing::FakeSystemTree tree{folder.path()};
};

TEST_F(PortListingTest, ListsThePortsWithHardwareUnderTheirNamesUsbFirst) {
  tree.AddUart("ttyS0", 4);
  tree.AddUart("ttyS1", 0);  // the driver found no UART there
  tree.AddVirtual("ttyS2");
  tree.AddVirtual("tty1");
  tree.AddUsbModem("ttyACM0", "Reader CDC");
  tree.AddUsbSerial("ttyUSB1", "CP2102 USB to UART Bridge Controller", "Silicon Labs");
  tree.AddUsbSerial("ttyUSB0", "FT232R USB UART", "FTDI");
  tree.AddUsbSerial("ttyUSB12", "FT232R USB UART");
  tree.AddUsbSerial("ttyUSB3", "FT232R USB UART");
  std::filesystem::remove(Dev("ttyUSB3"));  // no node in /dev

  EXPECT_THAT(Lines(ListSerialPorts(tree.roots())),
              ElementsAre("USB0  " + Dev("ttyUSB0") + "  FT232R USB UART",
                          "USB1  " + Dev("ttyUSB1") + "  CP2102 USB to UART Bridge Controller",
                          Dev("ttyUSB12") +
                              "  FT232R USB UART  (no name of its own: give it one under [ports])",
                          "ACM0  " + Dev("ttyACM0") + "  Reader CDC", "COM1  " + Dev("ttyS0")));
  EXPECT_TRUE(ListSerialPorts({"/nonexistent", "/nonexistent"}).empty());
}

TEST_F(PortListingTest, OverridesRenamePortsAndComeWithTheDemoCard) {
  tree.AddUart("ttyS0", 4);
  tree.AddUsbSerial("ttyUSB0", "FT232R USB UART");
  testing::FakeClock clock;
  SystemDeviceFactory factory(
      {{"usb0", "/dev/serial/by-id/reader"}, {"COM5", "demo"}, {"DEMF", "/dev/ttyS3"}}, clock,
      tree.roots());
  EXPECT_THAT(Lines(factory.PortChoices()),
              ElementsAre("COM1  " + Dev("ttyS0"), "COM5  the built-in demo card",
                          "DEMF  /dev/ttyS3", "USB0  /dev/serial/by-id/reader",
                          "DEMO  the built-in demo card", "DEM1  the built-in T=1 demo card",
                          "DEMS  the built-in GSM SIM", "DEMU  the built-in UICC with a USIM"));
  SystemDeviceFactory plain({{"usb0", "/dev/serial/by-id/reader"}, {"COM5", "demo"}}, clock,
                            tree.roots());
  const auto choices = plain.PortChoices();
  EXPECT_THAT(Lines(choices),
              ElementsAre("COM1  " + Dev("ttyS0"), "COM5  the built-in demo card",
                          "USB0  /dev/serial/by-id/reader", "DEMO  the built-in demo card",
                          "DEMF  the built-in fast demo card (speed by PPS)",
                          "DEM1  the built-in T=1 demo card", "DEMS  the built-in GSM SIM",
                          "DEMU  the built-in UICC with a USIM"));
  EXPECT_EQ(DescribePortChoices(choices, "COM2: baud=9600 parity=E data=8 stop=2"),
            "Serial ports on this machine:\n  COM1  " + Dev("ttyS0") +
                "\nYour names from [ports]:\n  COM5  the built-in demo card\n"
                "  USB0  /dev/serial/by-id/reader\n"
                "Built in:\n  DEMO  the built-in demo card\n"
                "  DEMF  the built-in fast demo card (speed by PPS)\n"
                "  DEM1  the built-in T=1 demo card\n"
                "  DEMS  the built-in GSM SIM\n"
                "  DEMU  the built-in UICC with a USIM\n"
                "To use one, put its name first in the Execute settings, as in \"COM1: baud=9600 "
                "parity=E data=8 stop=2\", and click Reset (on the command line: --port COM1).");
  EXPECT_EQ(DescribePortChoices({{Source::kDemo, "DEMO", "DEMO", ""}}, "COM2"),
            "Serial ports on this machine: none found\nBuilt in:\n  DEMO  the built-in demo card\n"
            "To use one, put its name first in the Execute settings, as in \"DEMO:\", and click "
            "Reset (on the command line: --port DEMO).");
}

TEST(PortNameCompletionTest, OffersTheNamesThatFitWhereTheNameIsTyped) {
  const std::vector<PortChoice> choices = {{Source::kPresent, "USB0", "/dev/ttyUSB0", "FT232R"},
                                           {Source::kPresent, "", "/dev/ttyAMA0", ""},
                                           {Source::kPresent, "COM1", "/dev/ttyS0", ""},
                                           {Source::kOverride, "USB7", "/tmp/reader", ""},
                                           {Source::kDemo, "DEMO", "DEMO", ""}};
  const auto settings = [&](std::string_view text, std::size_t cursor) {
    std::vector<std::string> offered;
    for (const auto& completion : CompletePortName(text, cursor, choices))
      offered.push_back(completion.settings);
    return offered;
  };
  EXPECT_THAT(settings("us: baud=9600 parity=E", 2),
              ElementsAre("USB0: baud=9600 parity=E", "USB7: baud=9600 parity=E"));
  EXPECT_THAT(settings(": baud=9600", 0), ElementsAre("USB0: baud=9600", "COM1: baud=9600",
                                                      "USB7: baud=9600", "DEMO: baud=9600"));
  EXPECT_THAT(settings("de", 2), ElementsAre("DEMO:"));
  EXPECT_THAT(settings("COM2: baud=9600", 8), ElementsAre());  // typing in the clauses
  EXPECT_THAT(settings("LPT1: baud=9600", 4), ElementsAre());
  EXPECT_EQ(CompletePortName("U", 1, choices)[0].label, "USB0  /dev/ttyUSB0  FT232R");
}

}  // namespace
}  // namespace quorvel
