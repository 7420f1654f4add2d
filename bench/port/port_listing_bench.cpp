// Listing the serial ports, as a failed open does, on a machine with 100 terminals:
// 40 virtual consoles, 32 UARTs of which 2 are real, 14 USB serial and 14 modem-class
// adapters. The whole listing must stay well under 5 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "port/serial_port_listing.h"
#include "support/fake_system_tree.h"

namespace quorvel {
namespace {

class HundredTerminals {
 public:
  HundredTerminals() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-sysfs-XXXXXX");
    root_ = mkdtemp(pattern.data());
    testing::FakeSystemTree tree(root_);
    for (int i = 0; i < 40; ++i) tree.AddVirtual("tty" + std::to_string(i));
    for (int i = 0; i < 32; ++i) tree.AddUart("ttyS" + std::to_string(i), i < 2 ? 4 : 0);
    for (int i = 0; i < 14; ++i) {
      tree.AddUsbSerial("ttyUSB" + std::to_string(i), "FT232R USB UART", "FTDI");
      tree.AddUsbModem("ttyACM" + std::to_string(i), "Reader CDC");
    }
    roots_ = tree.roots();
  }
  ~HundredTerminals() { std::filesystem::remove_all(root_); }
  const SystemRoots& roots() const { return roots_; }

 private:
  std::filesystem::path root_;
  SystemRoots roots_;
};

void BM_PortListingOf100Terminals(benchmark::State& state) {
  const HundredTerminals machine;
  for (auto _ : state) {
    const auto ports = ListSerialPorts(machine.roots());
    if (ports.size() != 30) state.SkipWithError("the listing missed ports");
    benchmark::DoNotOptimize(ports.data());
  }
}
BENCHMARK(BM_PortListingOf100Terminals)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
