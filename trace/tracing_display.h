#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "card/session_display.h"
#include "trace/trace_sink.h"

namespace quorvel {

// A session's display that also traces it: every step goes on to the display it wraps, and
// the bytes that crossed the line go as GSMTAP packets to each sink attached: the ATR, the
// PPS request and response, and each exchange (every automatic GET RESPONSE or resend one of
// its own). With no sink attached it only passes the steps on.
class TracingDisplay final : public SessionDisplay {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;

  // `now` stamps the PPS packets, whose steps carry no time of their own.
  explicit TracingDisplay(SessionDisplay& shown, WallClock now = std::chrono::system_clock::now);

  // From the next step on, packets go to `sink` too; PIN data as sent only with
  // keepSecretCodes. The sink must outlive its attachment.
  void Attach(TraceSink& sink, bool keepSecretCodes);
  void Detach(TraceSink& sink);
  bool Attached(const TraceSink& sink) const;

  void ResetBegun(ExchangeRecord record) override;
  void ResetAnswered(const ResetAnswer& answer) override;
  void SpeedSettled(const SpeedAnswer& answer) override;
  void CommandAnswered(CommandAnswer answer) override;

 private:
  struct Output {
    TraceSink* sink;
    bool keepSecretCodes;
  };

  SessionDisplay& shown_;
  WallClock now_;
  std::vector<Output> sinks_;
};

}  // namespace quorvel
