#include "port/system_device_factory.h"

#include "port/demo_card.h"
#include "port/port_names.h"
#include "port/termios_device.h"

namespace quorvel {

SystemDeviceFactory::SystemDeviceFactory(std::map<std::string, std::string> overrides, Clock& clock)
    : overrides_(std::move(overrides)), clock_(clock) {}

DeviceOpenResult SystemDeviceFactory::Open(const std::string& portName) {
  const PortTarget target = ResolvePortName(portName, overrides_);
  switch (target.kind) {
    case PortTarget::Kind::Demo:
      return {std::make_unique<DemoCard>(clock_), {}};
    case PortTarget::Kind::Device:
      return TermiosDevice::Open(target.devicePath);
    case PortTarget::Kind::Unknown:
      break;
  }
  return {nullptr, "\"" + portName +
                       "\" names no port: use COM1 to COM9, USB0 to USB9, ACM0 to ACM9, DEMO or "
                       "a name from the [ports] section of the profile"};
}

}  // namespace quorvel
