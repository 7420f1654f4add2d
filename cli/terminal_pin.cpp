#include "cli/terminal_pin.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace quorvel {
namespace {

constexpr std::size_t kLongestAnswer = 64;

// The terminal as it was before the echo went off, for a signal that ends the program then.
int g_terminal = -1;
termios g_before{};

extern "C" void GiveTheTerminalBack(int signal) {
  tcsetattr(g_terminal, TCSANOW, &g_before);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

// The echo off (the line feed still echoed) until it goes; the terminal as it was then.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &before_) != 0) return;
    g_terminal = fd_;
    g_before = before_;
    struct sigaction give {};
    give.sa_handler = GiveTheTerminalBack;
    sigemptyset(&give.sa_mask);
    sigaction(SIGINT, &give, &old_int_);
    sigaction(SIGTERM, &give, &old_term_);
    sigaction(SIGHUP, &give, &old_hup_);
    termios quiet = before_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL | ICANON;
    on_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (!on_) return;
    tcsetattr(fd_, TCSANOW, &before_);
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    sigaction(SIGHUP, &old_hup_, nullptr);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  bool on_ = false;
  termios before_{};
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
  struct sigaction old_hup_ {};
};

}  // namespace

TerminalPinQuestion::~TerminalPinQuestion() {
  if (fd_ >= 0) close(fd_);
}

std::string TerminalPinQuestion::Open(const char* path) {
  fd_ = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return std::strerror(errno);
  if (isatty(fd_)) return std::string();
  close(fd_);
  fd_ = -1;
  return "not a terminal";
}

std::optional<std::string> TerminalPinQuestion::AskPin(const std::string& name,
                                                       const std::string& text) {
  if (fd_ < 0) return std::nullopt;
  std::string answer;
  bool ended = false;
  {
    // The echo goes off before the question shows, so nothing typed after it is lost.
    const EchoOff quiet(fd_);
    WriteAll(fd_, text + "\n" + name + ": ");
    char byte = 0;
    for (;;) {
      const ssize_t got = read(fd_, &byte, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      if (byte == '\n' || byte == '\r') {
        ended = true;
        break;
      }
      // Longer than any PIN: taken up to its end, then refused as it stands.
      if (answer.size() < kLongestAnswer) answer.push_back(byte);
    }
    byte = 0;
  }
  if (!ended) WriteAll(fd_, "\n");
  if (answer.empty()) return std::nullopt;
  return answer;
}

}  // namespace quorvel
