#pragma once

#include <map>
#include <string>

#include "iso7816/transmission_rate.h"
#include "port/clock.h"
#include "port/serial_device.h"
#include "port/serial_port_listing.h"

namespace quorvel {

// Opens the devices of this machine: serial devices through termios and the built-in
// demo cards, by port name (see port_names.h).
class SystemDeviceFactory final : public DeviceFactory {
 public:
  // overrides: port name -> device path, "DEMO", "DEMF", "DEM1", "DEMS", "DEMU" or "pcsc:Name"
  // (from the profile's [ports] section); an override wins over the default names. The demo
  // cards keep their time by clock. The ports present are looked up under roots.
  SystemDeviceFactory(std::map<std::string, std::string> overrides, Clock& clock,
                      SystemRoots roots = {});
  DeviceOpenResult Open(const std::string& portName) override;
  // The ports present (but those an override renames), the overrides, the demo cards and the
  // PC/SC readers present.
  std::vector<PortChoice> PortChoices() override;
  PortTarget Target(const std::string& portName) const override;
  // The clock the fast and T=1 demo cards are fed, which sets their rates: the usual 3.5712 MHz
  // unless set. Applies to the cards opened from now on.
  void SetReaderClockHz(std::uint32_t hz) { readerClockHz_ = hz; }

 private:
  bool Overridden(const std::string& name) const;

  std::map<std::string, std::string> overrides_;
  Clock& clock_;
  SystemRoots roots_;
  std::uint32_t readerClockHz_ = kDefaultReaderClockHz;
};

}  // namespace quorvel
