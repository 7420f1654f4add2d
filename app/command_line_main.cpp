#include "app/command_line_main.h"

#include "app/batch_run.h"
#include "app/profile.h"
#include "app/scc_input.h"
#include "app/scc_listing.h"
#include "app/stream_message_sink.h"
#include "files/file_replace.h"
#include "port/system_device_factory.h"
#include "res/publisher.h"

namespace quorvel {

int RunCommandLine(const CommandLine& line, std::ostream& out, std::ostream& err) {
  StreamMessageSink messages(err);
  switch (line.mode) {
    case CommandLineMode::kHelp:
      out << HelpText();
      return kExitCompleted;
    case CommandLineMode::kVersion:
      out << "quorvel " << res::kVersion << '\n';
      return kExitCompleted;
    case CommandLineMode::kList: {
      const auto file = ReadSccFile(*line.file, messages);
      if (!file) return kExitNothingRan;
      out << ListScc(*file);
      return kExitCompleted;
    }
    case CommandLineMode::kRun: {
      // A log that reaches a file-size limit stops being written; the run goes on.
      IgnoreFileSizeSignal();
      const Profile profile = Profile::Load(Profile::DefaultPath());
      SystemClock clock;
      SystemDeviceFactory devices(profile.Section("ports"), clock);
      return RunBatch(line, {devices, clock, messages, out});
    }
    case CommandLineMode::kWindow:
    case CommandLineMode::kUsageError:
      break;
  }
  if (!line.error.empty()) err << "quorvel: " << line.error << '\n';
  err << UsageLine() << '\n';
  return kExitNothingRan;
}

}  // namespace quorvel
