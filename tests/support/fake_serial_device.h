#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "port/clock.h"
#include "port/serial_device.h"

namespace quorvel::testing {

// The far end of a fake serial line, owned by the test: bytes are scheduled to arrive
// at given clock times, every call is recorded, and each step can be made to fail.
// The devices handed out by FakeDeviceFactory all act on one FakeLine.
struct FakeLine {
  explicit FakeLine(Clock& lineClock) : clock(lineClock) {}

  // Bytes become readable `after` from now, all at once, behind every byte due by then.
  void Arrive(const std::vector<std::uint8_t>& bytes,
              std::chrono::nanoseconds after = std::chrono::nanoseconds(0)) {
    const auto at = clock.Now() + after;
    auto place = std::find_if(pending.begin(), pending.end(),
                              [at](const TimedByte& queued) { return queued.at > at; });
    for (std::uint8_t b : bytes) place = std::next(pending.insert(place, {at, b}));
  }

  Clock& clock;
  // Script: written bytes come straight back when echo is on; then card (if set) sees
  // them and may schedule its answer through Arrive.
  bool echo = false;
  std::function<void(FakeLine&, const std::vector<std::uint8_t>& written)> card;

  // Failures.
  bool failQueueSizes = false;
  bool failGetTimeouts = false;
  bool failSetTimeouts = false;
  bool failGetLine = false;
  bool failSetLine = false;
  std::size_t writeLimit = SIZE_MAX;  // most bytes one write accepts
  // The fastest rate the device runs: a faster one is kept as this, as a driver keeps the
  // nearest rate its divisors give.
  std::uint32_t fastestRate = UINT32_MAX;
  // From this clock time on the device is gone: it reads and writes nothing, and its
  // waits end at once, as a hung-up terminal's do.
  std::chrono::nanoseconds goneAt = std::chrono::nanoseconds::max();
  bool Gone() const { return clock.Now() >= goneAt; }

  // Records.
  std::vector<std::vector<std::uint8_t>> writes;
  std::vector<std::size_t> readRequests;  // the count asked at each read attempt
  std::vector<std::pair<bool, std::chrono::nanoseconds>> rtsChanges;
  std::vector<LineSettings> linesSet;
  std::size_t queueInput = 0;
  std::size_t queueOutput = 0;
  ReadTimeouts timeouts{5, 7};  // something a port must change
  LineSettings line;
  int devicesOpen = 0;

  struct TimedByte {
    std::chrono::nanoseconds at;
    std::uint8_t value;
  };
  std::deque<TimedByte> pending;
};

class FakeSerialDevice final : public SerialDevice {
 public:
  explicit FakeSerialDevice(FakeLine& line) : line_(line) { ++line_.devicesOpen; }
  ~FakeSerialDevice() override { --line_.devicesOpen; }

  bool SetQueueSizes(std::size_t input, std::size_t output) override {
    line_.queueInput = input;
    line_.queueOutput = output;
    return !line_.failQueueSizes;
  }
  bool GetReadTimeouts(ReadTimeouts& timeouts) override {
    timeouts = line_.timeouts;
    return !line_.failGetTimeouts;
  }
  bool SetReadTimeouts(const ReadTimeouts& timeouts) override {
    if (line_.failSetTimeouts) return false;
    line_.timeouts = timeouts;
    return true;
  }
  bool GetLineSettings(LineSettings& settings) override {
    settings = line_.line;
    return !line_.failGetLine && !line_.Gone();
  }
  bool SetLineSettings(const LineSettings& settings) override {
    if (line_.failSetLine || line_.Gone()) return false;
    line_.line = settings;
    line_.line.baudRate = std::min(settings.baudRate, line_.fastestRate);
    line_.linesSet.push_back(settings);
    return true;
  }
  bool IsGone() const override { return line_.Gone(); }
  std::string GoneReason() const override { return "/dev/fake: Input/output error"; }
  bool SetRts(bool raised) override {
    line_.rtsChanges.push_back({raised, line_.clock.Now()});
    return false;  // like a pseudo-terminal: the line cannot be changed
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    line_.readRequests.push_back(count);
    if (line_.Gone()) return 0;
    std::size_t taken = 0;
    while (taken < count && !line_.pending.empty() &&
           line_.pending.front().at <= line_.clock.Now()) {
      buffer[taken++] = line_.pending.front().value;
      line_.pending.pop_front();
    }
    return taken;
  }
  void WaitForInput(std::chrono::nanoseconds timeout) override {
    if (line_.Gone()) return;
    auto until = line_.clock.Now() + timeout;
    if (!line_.pending.empty()) until = std::min(until, line_.pending.front().at);
    line_.clock.WaitUntil(until);
  }
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override {
    if (line_.Gone()) return 0;
    const std::vector<std::uint8_t> written(bytes, bytes + std::min(count, line_.writeLimit));
    line_.writes.push_back(written);
    if (line_.echo) line_.Arrive(written);
    if (line_.card) line_.card(line_, written);
    return written.size();
  }

 private:
  FakeLine& line_;
};

class FakeDeviceFactory final : public DeviceFactory {
 public:
  explicit FakeDeviceFactory(FakeLine& line) : line_(line) {}

  DeviceOpenResult Open(const std::string& portName) override {
    openedNames.push_back(portName);
    devicesOpenAtOpen.push_back(line_.devicesOpen);
    if (!failureReason.empty()) return {nullptr, failureReason};
    return {std::make_unique<FakeSerialDevice>(line_), {}};
  }

  std::vector<PortChoice> PortChoices() override {
    ++choicesRead;
    return choices;
  }

  std::vector<std::string> openedNames;
  std::vector<int> devicesOpenAtOpen;  // devices still open when each open began
  std::string failureReason;           // non-empty: every open fails with it
  std::vector<PortChoice> choices;     // what PortChoices offers
  int choicesRead = 0;

 private:
  FakeLine& line_;
};

}  // namespace quorvel::testing
