#include "trace/gsmtap_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "trace/gsmtap_packet.h"

namespace quorvel {

GsmtapSender::~GsmtapSender() {
  Close();
}

std::string GsmtapSender::Open(const GsmtapTarget& target) {
  Close();
  send_error_ = 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(target.port);
  if (const int error = ::getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
      error != 0) {
    return error == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(error);
  }
  std::memcpy(&to_, found->ai_addr, sizeof to_);
  ::freeaddrinfo(found);
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return std::strerror(errno);
  return std::string();
}

void GsmtapSender::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void GsmtapSender::Write(std::chrono::system_clock::time_point,
                         std::span<const std::uint8_t> gsmtap) {
  if (fd_ < 0) return;
  ssize_t sent;
  do {
    sent = ::sendto(fd_, gsmtap.data(), gsmtap.size(), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
  } while (sent < 0 && errno == EINTR);
  // A datagram is sent whole or not at all; later packets are still tried.
  if (sent < 0 && send_error_ == 0) send_error_ = errno;
}

}  // namespace quorvel
