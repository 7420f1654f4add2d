#include "card/paced_reader.h"

#include <algorithm>

namespace quorvel {

PacedReader::PacedReader(CCardPort& port, Clock& clock, std::function<bool()> stopRequested)
    : port_(port), clock_(clock), stopRequested_(std::move(stopRequested)) {}

unsigned PacedReader::Read(std::uint8_t* buffer, unsigned count, std::chrono::nanoseconds first,
                           std::chrono::nanoseconds gap) {
  stopped_ = false;
  unsigned got = 0;
  std::chrono::nanoseconds deadline = first;
  while (got < count) {
    if (stopRequested_ && stopRequested_()) {
      // What has come already is kept, so that its rows show what crossed the line.
      if (const unsigned waiting = ReadWaiting(buffer + got, count - got); waiting > 0) {
        got += waiting;
        lastArrival_ = clock_.Now();
      }
      stopped_ = true;
      break;
    }
    const auto sliceEnd = std::min(deadline, clock_.Now() + kStopPoll);
    // One byte ends the wait, so that the next one's deadline counts from when it came.
    if (port_.ReadUntil(buffer + got, 1, sliceEnd) == 0) {
      if (clock_.Now() >= deadline || !port_.IsOpen()) break;
      continue;
    }
    ++got;
    got += ReadWaiting(buffer + got, count - got);
    lastArrival_ = clock_.Now();
    deadline = lastArrival_ + gap;
  }
  return got;
}

unsigned PacedReader::ReadWaiting(std::uint8_t* buffer, unsigned count) {
  if (count == 0) return 0;
  return port_.ReadUntil(buffer, count, clock_.Now());
}

}  // namespace quorvel
