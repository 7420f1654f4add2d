// quorvel_virtual_card: a card for vpcd, the virtual reader driver of pcscd, so the PC/SC tests
// and benchmarks have a card without hardware. It connects to vpcd on the loopback interface
// and answers as the demo card does (or as the loopback card of the tests, or as the demo SIM
// cards DEMS and DEMU).
//
//   quorvel_virtual_card [--port N] [--t1-only] [--loopback | --sim | --uicc] [--control]
//                        [--wait SECONDS]
//
// --port: vpcd's port, 35963 for the reader "Virtual PCD 00 00" (the default), 35964 for
// "Virtual PCD 00 01". --sim, --uicc: the files of DEMS (a GSM SIM) or DEMU (a UICC with a
// USIM, PIN1 enabled) in place of the demo card's. --control: commands one a line on standard
// input: "remove" (the card leaves the reader), "insert" (it comes back, a fresh card), "drop" (it
// leaves on the next command instead of answering it), "hold" (it keeps the next command
// unanswered), "release" (it answers the command held), "quit"; the end of the input quits too.
// What happens is told on standard output, one word a line: connected, ready (pcscd has asked for
// the ATR), removed, dropped, held (a command is held), closed (vpcd ended the connection).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "port/demo_card_commands.h"
#include "sim/demo_sim_cards.h"
#include "support/virtual_card/loopback_card.h"
#include "support/virtual_card/virtual_card.h"

namespace {

using quorvel::testing::VirtualCard;

// The application behind the card.
enum class Application { kDemo, kLoopback, kSim, kUicc };

struct Options {
  int port = 35963;
  bool t1Only = false;
  Application application = Application::kDemo;
  bool control = false;
  int waitSeconds = 10;
};

void Tell(const char* event) {
  std::printf("%s\n", event);
  std::fflush(stdout);
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--t1-only") {
      options.t1Only = true;
    } else if (arg == "--loopback") {
      options.application = Application::kLoopback;
    } else if (arg == "--sim") {
      options.application = Application::kSim;
    } else if (arg == "--uicc") {
      options.application = Application::kUicc;
    } else if (arg == "--control") {
      options.control = true;
    } else if ((arg == "--port" || arg == "--wait") && i + 1 < argc) {
      (arg == "--port" ? options.port : options.waitSeconds) = std::atoi(argv[++i]);
    } else {
      return false;
    }
  }
  return options.port > 0 && options.port < 65536 && options.waitSeconds >= 0;
}

// vpcd sends a message's length and its payload as two segments: acknowledging at once keeps
// the delayed acknowledgement (about 40 ms) out of every message.
void AcknowledgeAtOnce(int socket) {
  const int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Connects to vpcd, trying until it listens or the wait is over; -1 then.
int ConnectToReader(const Options& options) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.waitSeconds);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(options.port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (;;) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      AcknowledgeAtOnce(fd);
      return fd;
    }
    close(fd);
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool ReadExactly(int fd, std::uint8_t* buffer, std::size_t count) {
  while (count > 0) {
    const ssize_t got = recv(fd, buffer, count, 0);
    if (got <= 0) return false;
    AcknowledgeAtOnce(fd);
    buffer += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool SendMessage(int fd, const std::vector<std::uint8_t>& payload) {
  std::vector<std::uint8_t> message = {static_cast<std::uint8_t>(payload.size() >> 8),
                                       static_cast<std::uint8_t>(payload.size())};
  message.insert(message.end(), payload.begin(), payload.end());
  std::size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

VirtualCard NewCard(const Options& options) {
  using namespace quorvel;
  const auto protocols =
      options.t1Only ? testing::OfferedProtocols::kT1Only : testing::OfferedProtocols::kT0AndT1;
  switch (options.application) {
    case Application::kLoopback:
      return VirtualCard(testing::VirtualCardAtr(protocols, "QUORVEL LOOP"),
                         std::make_unique<testing::LoopbackCard>());
    case Application::kSim:
      return VirtualCard(testing::VirtualCardAtr(protocols, "QUORVEL GSM "), MakeDemoSim());
    case Application::kUicc:
      return VirtualCard(testing::VirtualCardAtr(protocols, "QUORVEL USIM"), MakeDemoUicc());
    case Application::kDemo:
      break;
  }
  return VirtualCard(testing::VirtualCardAtr(protocols, "QUORVEL DEMO"),
                     std::make_unique<DemoCardCommands>());
}

class Session {
 public:
  explicit Session(const Options& options) : options_(options), card_(NewCard(options)) {}

  int Run() {
    if (!Insert()) return 1;
    std::string pending;
    for (;;) {
      pollfd fds[2] = {{reader_, POLLIN, 0}, {options_.control ? 0 : -1, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents != 0) {
        char chunk[256];
        const ssize_t got = read(0, chunk, sizeof chunk);
        if (got <= 0) return 0;
        pending.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
          const std::string command = pending.substr(0, end);
          pending.erase(0, end + 1);
          if (!Obey(command)) return command == "quit" ? 0 : 1;
        }
      }
      if (reader_ >= 0 && fds[0].revents != 0 && !Serve()) {
        Remove();
        Tell("closed");
        if (!options_.control) return 0;
      }
    }
  }

 private:
  bool Insert() {
    reader_ = ConnectToReader(options_);
    if (reader_ < 0) {
      std::fprintf(stderr, "quorvel_virtual_card: vpcd does not listen on port %d\n",
                   options_.port);
      return false;
    }
    card_ = NewCard(options_);
    askedForAtr_ = false;
    Tell("connected");
    return true;
  }

  void Remove() {
    if (reader_ >= 0) close(reader_);
    reader_ = -1;
    held_.reset();  // gone with the card, never answered
  }

  // False to stop: quit, or a command that cannot be carried out.
  bool Obey(const std::string& command) {
    if (command == "remove") {
      Remove();
      Tell("removed");
    } else if (command == "insert") {
      if (reader_ < 0 && !Insert()) return false;
    } else if (command == "drop") {
      dropNext_ = true;
    } else if (command == "hold") {
      holdNext_ = true;
    } else if (command == "release") {
      if (held_) Answer(*std::exchange(held_, std::nullopt));
    } else if (command == "quit") {
      return false;
    } else if (!command.empty()) {
      std::fprintf(stderr, "quorvel_virtual_card: unknown command \"%s\"\n", command.c_str());
    }
    return true;
  }

  // One message from vpcd and its answer; false when the connection has ended.
  bool Serve() {
    std::uint8_t length[2];
    if (!ReadExactly(reader_, length, 2)) return false;
    std::vector<std::uint8_t> message(static_cast<std::size_t>(length[0] << 8 | length[1]));
    if (!ReadExactly(reader_, message.data(), message.size())) return false;
    if (message.size() > 1 && dropNext_) {
      dropNext_ = false;
      Remove();
      Tell("dropped");
      return true;
    }
    if (message.size() > 1 && holdNext_) {
      holdNext_ = false;
      held_ = std::move(message);
      Tell("held");
      return true;
    }
    if (!Answer(message)) return false;
    if (message.size() == 1 && message[0] == 4 && !askedForAtr_) {
      askedForAtr_ = true;
      Tell("ready");
    }
    return true;
  }

  // False when the answer could not be sent.
  bool Answer(const std::vector<std::uint8_t>& message) {
    const auto answer = card_.Answer(message);
    return !answer || SendMessage(reader_, *answer);
  }

  Options options_;
  VirtualCard card_;
  int reader_ = -1;
  bool dropNext_ = false;
  bool holdNext_ = false;
  std::optional<std::vector<std::uint8_t>> held_;
  bool askedForAtr_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: quorvel_virtual_card [--port N] [--t1-only] [--loopback | --sim | --uicc] "
                 "[--control] [--wait SECONDS]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  return Session(options).Run();
}
