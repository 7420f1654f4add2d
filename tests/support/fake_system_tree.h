#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "port/serial_port_listing.h"

namespace quorvel::testing {

// A sysfs and a /dev of their own under a folder, with terminals laid out as Linux lays
// them out: each class/tty entry links to its device, USB devices carry their product.
class FakeSystemTree {
 public:
  explicit FakeSystemTree(std::filesystem::path root) : root_(std::move(root)) {
    std::filesystem::create_directories(root_ / "sys/class/tty");
    std::filesystem::create_directories(root_ / "dev");
  }

  SystemRoots roots() const { return {(root_ / "sys").string(), (root_ / "dev").string()}; }

  // A USB serial adapter: the terminal's device is a port below the USB interface.
  void AddUsbSerial(const std::string& tty, const std::string& product,
                    const std::string& manufacturer = {}) {
    const auto usb = UsbDevice(product, manufacturer);
    AddTerminal(tty, usb / (usb.filename().string() + ":1.0") / tty);
  }
  // A modem-class adapter: the terminal's device is the USB interface itself.
  void AddUsbModem(const std::string& tty, const std::string& product) {
    const auto usb = UsbDevice(product, {});
    AddTerminal(tty, usb / (usb.filename().string() + ":1.0"));
  }
  // A UART of the 8250 driver; type 0 is one where nothing was found.
  void AddUart(const std::string& tty, int type) {
    AddTerminal(tty, root_ / "sys/devices/platform/serial8250" / tty);
    Write(root_ / "sys/class/tty" / tty / "type", std::to_string(type) + "\n");
  }
  // A terminal with no hardware behind it, such as a virtual console.
  void AddVirtual(const std::string& tty) { AddTerminal(tty, {}); }

 private:
  std::filesystem::path UsbDevice(const std::string& product, const std::string& manufacturer) {
    const auto usb = root_ / "sys/devices/pci0000:00/usb1" / ("1-" + std::to_string(++usb_));
    std::filesystem::create_directories(usb);
    Write(usb / "product", product + "\n");
    if (!manufacturer.empty()) Write(usb / "manufacturer", manufacturer + "\n");
    return usb;
  }
  void AddTerminal(const std::string& tty, const std::filesystem::path& device) {
    const auto entry = root_ / "sys/class/tty" / tty;
    std::filesystem::create_directories(entry);
    if (!device.empty()) {
      std::filesystem::create_directories(device);
      std::filesystem::create_directory_symlink(device, entry / "device");
    }
    Write(root_ / "dev" / tty, "");
  }
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
  }

  std::filesystem::path root_;
  int usb_ = 0;
};

}  // namespace quorvel::testing
