#include "port/port_names.h"

#include <gtest/gtest.h>

#include "port/system_device_factory.h"
#include "support/fake_clock.h"

namespace quorvel {
namespace {

using Kind = PortTarget::Kind;

TEST(PortNamesTest, MapsTheDefaultNames) {
  const std::pair<const char*, const char*> names[] = {
      {"COM1", "/dev/ttyS0"},   {"COM2", "/dev/ttyS1"},   {"COM9", "/dev/ttyS8"},
      {"com2", "/dev/ttyS1"},   {"USB0", "/dev/ttyUSB0"}, {"USB9", "/dev/ttyUSB9"},
      {"ACM0", "/dev/ttyACM0"}, {"acm3", "/dev/ttyACM3"}};
  for (auto [name, path] : names) {
    const PortTarget target = ResolvePortName(name, {});
    EXPECT_EQ(target.kind, Kind::Device) << name;
    EXPECT_EQ(target.devicePath, path) << name;
  }
  EXPECT_EQ(ResolvePortName("DEMO", {}).kind, Kind::Demo);
  EXPECT_EQ(ResolvePortName("demo", {}).kind, Kind::Demo);
  EXPECT_EQ(ResolvePortName("DEMF", {}).kind, Kind::FastDemo);
  EXPECT_EQ(ResolvePortName("demf", {}).kind, Kind::FastDemo);
  EXPECT_EQ(ResolvePortName("DEMS", {}).kind, Kind::DemoSim);
  EXPECT_EQ(ResolvePortName("demu", {}).kind, Kind::DemoUicc);
  EXPECT_EQ(ResolvePortName("dem1", {}).kind, Kind::T1Demo);
}

TEST(PortNamesTest, KnowsNoOtherNames) {
  for (const char* name : {"COM0", "COM", "CO", "", "COMA", "LPT1", "COM10", "TTY1"}) {
    EXPECT_EQ(ResolvePortName(name, {}).kind, Kind::Unknown) << name;
  }
}

TEST(PortNamesTest, AnOverrideWinsOverTheDefaults) {
  const std::map<std::string, std::string> overrides = {
      {"com2", "/dev/serial/by-id/usb-reader-if00"},
      {"COM3", "demo"},
      {"PTY0", "/dev/pts/4"},
      {"COM4", "Demf"},
      {"COM5", "dems"},
      {"COM6", "dem1"}};
  EXPECT_EQ(ResolvePortName("COM2", overrides).devicePath, "/dev/serial/by-id/usb-reader-if00");
  EXPECT_EQ(ResolvePortName("COM3", overrides).kind, Kind::Demo);
  EXPECT_EQ(ResolvePortName("COM4", overrides).kind, Kind::FastDemo);
  EXPECT_EQ(ResolvePortName("COM5", overrides).kind, Kind::DemoSim);
  EXPECT_EQ(ResolvePortName("COM6", overrides).kind, Kind::T1Demo);
  EXPECT_EQ(ResolvePortName("PTY0", overrides).devicePath, "/dev/pts/4");
  EXPECT_EQ(ResolvePortName("COM1", overrides).devicePath, "/dev/ttyS0");
}

TEST(PortNamesTest, PcscReadersByPlaceOrByNameFromThePorts) {
  for (const auto& [name, index] : {std::pair{"PCS0", 0u}, {"pcs7", 7u}, {"PCS9", 9u}}) {
    const PortTarget target = ResolvePortName(name, {});
    EXPECT_EQ(target.kind, Kind::PcscReader) << name;
    EXPECT_EQ(target.pcscReader.index, index) << name;
  }
  EXPECT_EQ(ResolvePortName("PCSA", {}).kind, Kind::Unknown);
  const std::map<std::string, std::string> overrides = {{"COM7", "pcsc:Virtual PCD 00 00"},
                                                        {"CARD", "PCSC:  Gemalto "},
                                                        {"PCS1", "/dev/ttyUSB3"},
                                                        {"ANY0", "pcsc:"},
                                                        {"TTY0", "/dev/pcsc:x"}};
  const struct {
    const char* port;
    Kind kind;
    const char* reader;
  } cases[] = {{"COM7", Kind::PcscReader, "Virtual PCD 00 00"},
               {"card", Kind::PcscReader, "Gemalto"},
               {"ANY0", Kind::PcscReader, ""},  // a prefix of every name: fits one reader alone
               {"PCS1", Kind::Device, ""},
               {"TTY0", Kind::Device, ""}};
  for (const auto& c : cases) {
    const PortTarget target = ResolvePortName(c.port, overrides);
    EXPECT_EQ(target.kind, c.kind) << c.port;
    EXPECT_EQ(target.pcscReader.name, c.reader) << c.port;
    EXPECT_FALSE(target.pcscReader.index) << c.port;
  }
}

TEST(PortNamesTest, DevicesGetTheDefaultNamesThatOpenThem) {
  for (const char* device : {"ttyS0", "ttyS8", "ttyUSB0", "ttyUSB9", "ttyACM4"}) {
    const std::string name = PortNameForDevice(device);
    EXPECT_EQ(ResolvePortName(name, {}).devicePath, std::string("/dev/") + device) << device;
  }
  for (const char* device : {"ttyS9", "ttyS10", "ttyUSB10", "ttyAMA0", "tty1", "ttyUSB"}) {
    EXPECT_EQ(PortNameForDevice(device), "") << device;
  }
}

TEST(SystemDeviceFactoryTest, OpensTheDemoCardAndExplainsUnknownNames) {
  testing::FakeClock clock;
  SystemDeviceFactory factory({{"COM7", "DEMO"}}, clock);
  EXPECT_NE(factory.Open("DEMO").device, nullptr);
  EXPECT_NE(factory.Open("COM7").device, nullptr);
  EXPECT_NE(factory.Open("DEMF").device, nullptr);
  EXPECT_NE(factory.Open("DEMS").device, nullptr);
  EXPECT_NE(factory.Open("DEMU").device, nullptr);
  EXPECT_NE(factory.Open("DEM1").device, nullptr);
  const DeviceOpenResult unknown = factory.Open("XYZ1");
  EXPECT_EQ(unknown.device, nullptr);
  EXPECT_NE(unknown.reason.find("XYZ1"), std::string::npos);
  const DeviceOpenResult missing =
      SystemDeviceFactory({{"COM2", "/nonexistent/tty"}}, clock).Open("COM2");
  EXPECT_EQ(missing.device, nullptr);
  EXPECT_EQ(missing.reason, "/nonexistent/tty: No such file or directory");
}

}  // namespace
}  // namespace quorvel
