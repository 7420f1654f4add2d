#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quorvel::testing {

// vpcd's two readers, as pcscd names them, and the ports their cards reach them on.
inline constexpr const char* kSharedCardReader = "Virtual PCD 00 00";
inline constexpr const char* kTestCardReader = "Virtual PCD 00 01";
inline constexpr const char* kTestCardPort = "35964";

// The virtual card program (tests/support/virtual_card) run by a test, in the reader that the
// private pcscd leaves empty, and steered through its standard input: "remove", "insert",
// "drop", "quit". Each event it reports ("connected", "ready", "removed", "dropped") can be
// waited for. The card quits when the object goes (or the test process ends, which closes its
// input).
class VirtualCardProcess {
 public:
  explicit VirtualCardProcess(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {QUORVEL_VIRTUAL_CARD, "--port", kTestCardPort, "--control"});
    std::vector<char*> argv;
    for (std::string& option : options) argv.push_back(option.data());
    argv.push_back(nullptr);
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) return;
    if (pipe2(output, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    // The card's ends of the pipes stay open in the card alone.
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    toCard_ = input[1];
    fromCard_ = output[0];
  }

  ~VirtualCardProcess() {
    Tell("quit");
    if (toCard_ >= 0) close(toCard_);
    if (fromCard_ >= 0) close(fromCard_);
    if (pid_ <= 0) return;
    for (int i = 0; i < 200; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  VirtualCardProcess(const VirtualCardProcess&) = delete;
  VirtualCardProcess& operator=(const VirtualCardProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // Sends a command; false when the card has gone (its input closed, with no SIGPIPE raised).
  bool Tell(const std::string& command) {
    if (toCard_ < 0) return false;
    const std::string line = command + "\n";
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    const bool written = write(toCard_, line.data(), line.size()) == ssize_t(line.size());
    const timespec now = {0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return written;
  }

  // Reads the card's reports until `event`; false when it did not come within the bound.
  bool WaitFor(const std::string& event,
               std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (line == event) return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd = {fromCard_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[256];
      const ssize_t got = read(fromCard_, chunk, sizeof chunk);
      if (got <= 0) return false;
      pending_.append(chunk, static_cast<std::size_t>(got));
    }
  }

 private:
  pid_t pid_ = -1;
  int toCard_ = -1;
  int fromCard_ = -1;
  std::string pending_;
};

}  // namespace quorvel::testing
