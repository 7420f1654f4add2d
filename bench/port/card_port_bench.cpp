// The card port's own cost on a pseudo-terminal, next to the same system calls made
// directly: the difference is what the port adds beyond the kernel.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <vector>

#include "port/card_port.h"
#include "port/demo_card.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

class PtyLine {
 public:
  PtyLine() {
    if (openpty(&farEnd_, &terminal_, nullptr, nullptr, nullptr) != 0) return;
    path_ = ttyname(terminal_);
    termios raw{};
    tcgetattr(terminal_, &raw);
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(terminal_, TCSANOW, &raw);
  }
  ~PtyLine() {
    close(terminal_);
    close(farEnd_);
  }
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int farEnd() const { return farEnd_; }
  int terminal() const { return terminal_; }

  // Takes count bytes off an fd, waiting for them to arrive.
  static void Drain(int fd, std::size_t count) {
    std::uint8_t sink[512];
    pollfd ready{fd, POLLIN, 0};
    for (std::size_t got = 0; got < count && poll(&ready, 1, 1000) == 1;) {
      const ssize_t n = read(fd, sink, sizeof sink);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  static void AwaitInput(int fd) {
    pollfd ready{fd, POLLIN, 0};
    poll(&ready, 1, 1000);
  }

 private:
  int farEnd_ = -1;
  int terminal_ = -1;
  std::string path_;
};

struct PortOnPty {
  PtyLine pty;
  testing::FakeClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices{{{"PTY0", pty.path()}}, clock};
  CCardPort port{devices, clock, messages};
  PortOnPty() {
    port.Open("PTY0: baud=115200 parity=E data=8 stop=2");
    port.ApplySettings("PTY0: baud=115200 parity=E data=8 stop=2");
  }
};

void BM_PtyWriteDirect(benchmark::State& state) {
  PtyLine pty;
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    benchmark::DoNotOptimize(write(pty.terminal(), bytes.data(), bytes.size()));
    PtyLine::Drain(pty.farEnd(), bytes.size());
  }
}
BENCHMARK(BM_PtyWriteDirect)->Arg(1)->Arg(255);

void BM_PtyWriteThroughPort(benchmark::State& state) {
  PortOnPty line;
  line.port.SetInverse(static_cast<std::int32_t>(state.range(1)));
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    benchmark::DoNotOptimize(line.port.Write(bytes.data(), static_cast<unsigned>(bytes.size())));
    PtyLine::Drain(line.pty.farEnd(), bytes.size());
  }
}
BENCHMARK(BM_PtyWriteThroughPort)->ArgsProduct({{1, 255}, {0, 1}})->ArgNames({"bytes", "inv"});

void BM_PtyReadDirect(benchmark::State& state) {
  PtyLine pty;
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::vector<std::uint8_t> buffer(bytes.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(write(pty.farEnd(), bytes.data(), bytes.size()));
    PtyLine::AwaitInput(pty.terminal());
    benchmark::DoNotOptimize(read(pty.terminal(), buffer.data(), buffer.size()));
  }
}
BENCHMARK(BM_PtyReadDirect)->Arg(1)->Arg(255);

void BM_PtyReadThroughPort(benchmark::State& state) {
  PortOnPty line;
  line.port.SetInverse(static_cast<std::int32_t>(state.range(1)));
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::vector<std::uint8_t> buffer(bytes.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(write(line.pty.farEnd(), bytes.data(), bytes.size()));
    PtyLine::AwaitInput(line.pty.terminal());
    benchmark::DoNotOptimize(
        line.port.Read(buffer.data(), static_cast<unsigned>(buffer.size()), 0));
  }
}
BENCHMARK(BM_PtyReadThroughPort)->ArgsProduct({{1, 255}, {0, 1}})->ArgNames({"bytes", "inv"});

// A device that costs next to nothing, to show the port's own work per call.
class NullDevice final : public SerialDevice {
 public:
  bool SetQueueSizes(std::size_t, std::size_t) override { return true; }
  bool GetReadTimeouts(ReadTimeouts&) override { return true; }
  bool SetReadTimeouts(const ReadTimeouts&) override { return true; }
  bool GetLineSettings(LineSettings&) override { return true; }
  bool SetLineSettings(const LineSettings&) override { return true; }
  bool SetRts(bool) override { return true; }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    benchmark::DoNotOptimize(buffer);
    return count;
  }
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override {
    benchmark::DoNotOptimize(bytes);
    return count;
  }
  void WaitForInput(std::chrono::nanoseconds) override {}
};

class NullDevices final : public DeviceFactory {
 public:
  DeviceOpenResult Open(const std::string&) override {
    return {std::make_unique<NullDevice>(), {}};
  }
};

void BM_PortOwnCost(benchmark::State& state) {
  testing::FakeClock clock;
  testing::RecordingMessageSink messages;
  NullDevices devices;
  CCardPort port(devices, clock, messages);
  port.Open("NUL0:");
  port.SetInverse(static_cast<std::int32_t>(state.range(1)));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
  const auto count = static_cast<unsigned>(bytes.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(port.Write(bytes.data(), count));
    benchmark::DoNotOptimize(port.Read(bytes.data(), count, 0));
  }
}
BENCHMARK(BM_PortOwnCost)->ArgsProduct({{1, 255}, {0, 1}})->ArgNames({"bytes", "inv"});

// The demo card's cost per byte: each written byte is echoed and heard by the card,
// then read back; the clock moves on so everything has arrived.
void BM_DemoCardEchoPerByte(benchmark::State& state) {
  testing::FakeClock clock;
  DemoCard card(clock);
  const std::vector<std::uint8_t> bytes(255, 0x5A);
  std::vector<std::uint8_t> buffer(bytes.size());
  for (auto _ : state) {
    card.Write(bytes.data(), bytes.size());
    clock.Advance(std::chrono::seconds(1));
    benchmark::DoNotOptimize(card.Read(buffer.data(), buffer.size()));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_DemoCardEchoPerByte);

}  // namespace
}  // namespace quorvel
