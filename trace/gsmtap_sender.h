#pragma once

#include <netinet/in.h>

#include <string>

#include "trace/gsmtap_target.h"
#include "trace/trace_sink.h"

namespace quorvel {

// Sends each GSMTAP packet in a UDP datagram of its own as it comes, the way Wireshark
// listening on an interface sees a session while it runs. The name is resolved once, when
// opened. Nobody needs to listen at the port: the socket is not connected, so a port
// without a listener is no error.
class GsmtapSender final : public TraceSink {
 public:
  GsmtapSender() = default;
  ~GsmtapSender() override;
  GsmtapSender(const GsmtapSender&) = delete;
  GsmtapSender& operator=(const GsmtapSender&) = delete;

  // Resolves the host to its first IPv4 address and makes the socket; empty when both
  // went, else why not in one line.
  std::string Open(const GsmtapTarget& target);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  void Write(std::chrono::system_clock::time_point at,
             std::span<const std::uint8_t> gsmtap) override;
  int writeError() const override { return send_error_; }

 private:
  int fd_ = -1;
  sockaddr_in to_{};
  int send_error_ = 0;
};

}  // namespace quorvel
