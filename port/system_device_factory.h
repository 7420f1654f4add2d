#pragma once

#include <map>
#include <string>

#include "port/clock.h"
#include "port/serial_device.h"
#include "port/serial_port_listing.h"

namespace quorvel {

// Opens the devices of this machine: serial devices through termios and the built-in
// demo card, by port name (see port_names.h).
class SystemDeviceFactory final : public DeviceFactory {
 public:
  // overrides: port name -> device path or "DEMO" (from the profile's [ports] section);
  // an override wins over the default names. The demo card keeps its time by clock.
  // The ports present are looked up under roots.
  SystemDeviceFactory(std::map<std::string, std::string> overrides, Clock& clock,
                      SystemRoots roots = {});
  DeviceOpenResult Open(const std::string& portName) override;
  // The ports present (but those an override renames), the overrides, and DEMO.
  std::vector<PortChoice> PortChoices() override;

 private:
  bool Overridden(const std::string& name) const;

  std::map<std::string, std::string> overrides_;
  Clock& clock_;
  SystemRoots roots_;
};

}  // namespace quorvel
