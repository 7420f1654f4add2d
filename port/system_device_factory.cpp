#include "port/system_device_factory.h"

#include <algorithm>

#include "pcsc/reader_listing.h"
#include "pcsc/reader_lookup.h"
#include "port/demo_card.h"
#include "port/port_names.h"
#include "port/t1_demo_card.h"
#include "port/termios_device.h"
#include "sim/demo_sim_cards.h"

namespace quorvel {

SystemDeviceFactory::SystemDeviceFactory(std::map<std::string, std::string> overrides, Clock& clock,
                                         SystemRoots roots)
    : overrides_(std::move(overrides)), clock_(clock), roots_(std::move(roots)) {}

DeviceOpenResult SystemDeviceFactory::Open(const std::string& portName) {
  const PortTarget target = ResolvePortName(portName, overrides_);
  switch (target.kind) {
    case PortTarget::Kind::Demo:
      return {std::make_unique<DemoCard>(clock_), {}};
    case PortTarget::Kind::FastDemo:
      return {std::make_unique<DemoCard>(clock_, DemoCardModel::kFast, readerClockHz_), {}};
    case PortTarget::Kind::T1Demo:
      return {std::make_unique<T1DemoCard>(clock_, readerClockHz_), {}};
    case PortTarget::Kind::DemoSim:
      return {
          std::make_unique<DemoCard>(clock_, DemoCardModel::kDemo, readerClockHz_, MakeDemoSim()),
          {}};
    case PortTarget::Kind::DemoUicc:
      // Takes PPS, as most UICCs do.
      return {
          std::make_unique<DemoCard>(clock_, DemoCardModel::kFast, readerClockHz_, MakeDemoUicc()),
          {}};
    case PortTarget::Kind::Device:
      return TermiosDevice::Open(target.devicePath);
    case PortTarget::Kind::PcscReader:
      return {nullptr, "\"" + portName + "\" names a PC/SC reader, not a serial line"};
    case PortTarget::Kind::Unknown:
      break;
  }
  return {nullptr,
          "\"" + portName +
              "\" names no port: use COM1 to COM9, USB0 to USB9, ACM0 to ACM9, PCS0 to PCS9, "
              "DEMO, DEMF, DEM1, DEMS, DEMU or a name from the [ports] section of the profile"};
}

std::vector<PortChoice> SystemDeviceFactory::PortChoices() {
  std::vector<PortChoice> choices;
  for (PortChoice& port : ListSerialPorts(roots_)) {
    if (port.name.empty() || !Overridden(port.name)) choices.push_back(std::move(port));
  }
  for (const auto& [name, target] : overrides_) {
    choices.push_back({PortChoice::Source::kOverride, UppercasePortName(name), target, {}});
  }
  for (const char* demo :
       {kDemoPortName, kFastDemoPortName, kT1DemoPortName, kDemoSimPortName, kDemoUiccPortName}) {
    if (!Overridden(demo)) choices.push_back({PortChoice::Source::kDemo, demo, demo, {}});
  }
  // The PC/SC readers present now, a reader plugged in since included; none without pcscd.
  const PcscReaderList pcsc = ListPcscReaders();
  for (std::size_t i = 0; i < pcsc.readers.size(); ++i) {
    const std::string name = PcscPortName(i);
    choices.push_back(
        {PortChoice::Source::kPcsc, name.empty() || Overridden(name) ? std::string() : name,
         pcsc.readers[i].name, pcsc.readers[i].cardPresent ? "card present" : "no card"});
  }
  return choices;
}

PortTarget SystemDeviceFactory::Target(const std::string& portName) const {
  return ResolvePortName(portName, overrides_);
}

bool SystemDeviceFactory::Overridden(const std::string& name) const {
  return std::any_of(overrides_.begin(), overrides_.end(),
                     [&](const auto& entry) { return UppercasePortName(entry.first) == name; });
}

}  // namespace quorvel
