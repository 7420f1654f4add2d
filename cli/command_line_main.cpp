#include "cli/command_line_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/profile.h"
#include "cli/batch_run.h"
#include "cli/scc_input.h"
#include "cli/scc_listing.h"
#include "cli/stream_message_sink.h"
#include "files/file_replace.h"
#include "port/system_device_factory.h"
#include "res/publisher.h"

namespace quorvel {
namespace {

// A standard descriptor the program was started without is taken by /dev/null, opened
// for reading only: nothing opened later (a log, the port) can take its number and get
// the rows, and writing to it still fails, as on the closed one.
void HoldClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) close(held);  // another took its place meanwhile
  }
}

}  // namespace

int RunCommandLine(const CommandLine& line, std::ostream& out, std::ostream& err) {
  HoldClosedStandardDescriptors();
  // A file-size limit on standard output or the log makes a write fail, which is told,
  // instead of ending the program.
  IgnoreFileSizeSignal();
  StreamMessageSink messages(err);
  CheckedOutput output(out, messages);
  switch (line.mode) {
    case CommandLineMode::kHelp:
      output.Write(HelpText());
      return output.failed() ? kExitOutputLost : kExitCompleted;
    case CommandLineMode::kVersion:
      output.Write("quorvel " + std::string(res::kVersion) + "\n");
      return output.failed() ? kExitOutputLost : kExitCompleted;
    case CommandLineMode::kList: {
      const auto file = ReadSccFile(*line.file, messages);
      if (!file) return kExitNothingRan;
      output.Write(ListScc(*file));
      return output.failed() ? kExitOutputLost : kExitCompleted;
    }
    case CommandLineMode::kRun: {
      const Profile profile = Profile::Load(Profile::DefaultPath());
      SystemClock clock;
      SystemDeviceFactory devices(profile.Section("ports"), clock);
      return RunBatch(line, {devices, clock, messages, output});
    }
    case CommandLineMode::kWindow:
    case CommandLineMode::kUsageError:
      break;
  }
  if (!line.error.empty()) messages.ShowMessage("quorvel: " + line.error);
  messages.ShowMessage(UsageLine());
  return kExitNothingRan;
}

}  // namespace quorvel
