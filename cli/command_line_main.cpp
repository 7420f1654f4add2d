#include "cli/command_line_main.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/profile.h"
#include "cli/batch_run.h"
#include "cli/command_file.h"
#include "cli/conversion.h"
#include "cli/explore_run.h"
#include "cli/printable_text.h"
#include "cli/stream_message_sink.h"
#include "cli/terminal_pin.h"
#include "commands/script_writer.h"
#include "files/file_replace.h"
#include "iso7816/transmission_rate.h"
#include "port/reader_clock.h"
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
      const auto script = ReadCommandFile(*line.file, messages);
      if (!script) return kExitNothingRan;
      output.Write(WriteScriptText(*script));
      return output.failed() ? kExitOutputLost : kExitCompleted;
    }
    case CommandLineMode::kConvert:
      return ConvertCommandFile(line, messages);
    case CommandLineMode::kRun:
    case CommandLineMode::kExplore: {
      // Without a terminal to ask on, the PIN cannot be asked for: nothing is touched.
      TerminalPinQuestion terminal;
      if (line.verifyPin1) {
        if (const std::string problem = terminal.Open(); !problem.empty()) {
          messages.ShowMessage(
              "--verify-pin1 asks for the PIN on the terminal, and there is "
              "none (/dev/tty: " +
              problem + "). Run it from a terminal.");
          return kExitNothingRan;
        }
      }
      const Profile profile = Profile::Load(Profile::DefaultPath());
      SystemClock clock;
      SystemDeviceFactory devices(profile.Section("ports"), clock);
      // --clock wins, and then the profile's value is not even looked at.
      const std::uint32_t readerClockHz =
          line.clockHz ? *line.clockHz
                       : ReaderClockOfProfile(profile.Section("reader"), messages,
                                              MessageAudience::kCommandLine);
      devices.SetReaderClockHz(readerClockHz);
      const BatchServices services{devices, clock, messages, output, readerClockHz};
      if (line.mode == CommandLineMode::kExplore) return RunExplore(line, services, &terminal);
      return RunBatch(line, services);
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
