#include "cli/command_line.h"

#include <string_view>

#include "commands/scc_file.h"
#include "port/line_settings.h"
#include "port/port_names.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxSettingsLength = kSccTextSize - 1;  // what a settings field holds

enum class Option {
  kRun,
  kList,
  kHelp,
  kVersion,
  kPort,
  kSettings,
  kNoReset,
  kLog,
  kNoLog,
  kExplain,
  kFormat,
  kStrictTiming,
};

struct OptionName {
  std::string_view name;
  Option option;
  bool takesValue;
  bool runOnly;
};

constexpr OptionName kOptions[] = {
    {"--run", Option::kRun, false, false},
    {"--list", Option::kList, false, false},
    {"--help", Option::kHelp, false, false},
    {"-h", Option::kHelp, false, false},
    {"--version", Option::kVersion, false, false},
    {"--port", Option::kPort, true, true},
    {"--settings", Option::kSettings, true, true},
    {"--no-reset", Option::kNoReset, false, true},
    {"--log", Option::kLog, true, true},
    {"--no-log", Option::kNoLog, false, true},
    {"--explain", Option::kExplain, false, true},
    {"--format", Option::kFormat, true, true},
    {"--strict-timing", Option::kStrictTiming, false, true},
};

const OptionName* FindOption(std::string_view name) {
  for (const OptionName& known : kOptions) {
    if (known.name == name) return &known;
  }
  return nullptr;
}

CommandLine Refused(std::string error) {
  CommandLine line;
  line.mode = CommandLineMode::kUsageError;
  line.error = std::move(error);
  return line;
}

std::optional<std::string> CheckPortName(const std::string& name) {
  const bool plain =
      name.size() == kPortNameLength && name.find_first_of(": \t") == std::string::npos;
  if (plain) return std::nullopt;
  return "--port needs a port name of four characters, such as COM2, USB0 or DEMO, not \"" + name +
         "\"";
}

std::optional<std::string> CheckSettings(const std::string& settings) {
  LineSettings ignored;
  if (settings.size() > kMaxSettingsLength) {
    return "--settings takes at most " + std::to_string(kMaxSettingsLength) + " characters";
  }
  if (settings.size() < kPortNameLength || !ParseSettingsString(settings, ignored)) {
    return "--settings needs a settings string such as \"COM2: baud=9600 parity=E data=8 "
           "stop=2\", not \"" +
           settings + "\"";
  }
  return std::nullopt;
}

// Takes one option's value into `line`; returns what is wrong with it, if anything.
std::optional<std::string> TakeValue(Option option, const std::string& value, CommandLine& line) {
  switch (option) {
    case Option::kPort:
      line.port = value;
      return CheckPortName(value);
    case Option::kSettings:
      line.settings = value;
      return CheckSettings(value);
    case Option::kLog:
      line.logFile = value;
      if (value.empty()) return std::string("--log needs a file name");
      return std::nullopt;
    case Option::kFormat:
      if (value == "rows") {
        line.format = RowFormat::kRows;
      } else if (value == "jsonl") {
        line.format = RowFormat::kJsonLines;
      } else {
        return "--format takes rows or jsonl, not \"" + value + "\"";
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void TakeFlag(Option option, CommandLine& line, bool& run, bool& list, bool& help, bool& version) {
  switch (option) {
    case Option::kRun:
      run = true;
      break;
    case Option::kList:
      list = true;
      break;
    case Option::kHelp:
      help = true;
      break;
    case Option::kVersion:
      version = true;
      break;
    case Option::kNoReset:
      line.reset = false;
      break;
    case Option::kNoLog:
      line.log = false;
      break;
    case Option::kExplain:
      line.explain = true;
      break;
    case Option::kStrictTiming:
      line.strictTiming = true;
      break;
    default:
      break;
  }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool run = false, list = false, help = false, version = false;
  std::string firstRunOnly;  // the first option that needs --run, to name it when --run is missing
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      if (line.file)
        return Refused("only one file can be given: \"" + *line.file + "\" and \"" + argument +
                       "\"");
      line.file = argument;
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const OptionName* option = FindOption(name);
    if (option == nullptr) return Refused("unknown option \"" + name + "\"");
    if (option->runOnly && firstRunOnly.empty()) firstRunOnly = name;
    if (!option->takesValue) {
      if (equals != std::string::npos) return Refused(name + " takes no value");
      TakeFlag(option->option, line, run, list, help, version);
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return Refused(name + " needs a value");
    }
    if (auto problem = TakeValue(option->option, value, line)) return Refused(*problem);
  }

  if (help) {
    line.mode = CommandLineMode::kHelp;
    return line;
  }
  if (version) {
    line.mode = CommandLineMode::kVersion;
    return line;
  }
  if (run && list) return Refused("--run and --list cannot be used together");
  if (!run && !firstRunOnly.empty()) return Refused(firstRunOnly + " goes only with --run");
  if (line.logFile && !line.log) return Refused("--log and --no-log cannot be used together");
  if ((run || list) && !line.file) {
    return Refused(std::string(run ? "--run" : "--list") + " needs an SCC file");
  }
  line.mode = run    ? CommandLineMode::kRun
              : list ? CommandLineMode::kList
                     : CommandLineMode::kWindow;
  return line;
}

std::string UsageLine() {
  return "Usage: quorvel [FILE.scc] | --run FILE.scc [OPTION...] | --list FILE.scc | --help | "
         "--version";
}

std::string HelpText() {
  return R"(Usage: quorvel [FILE.scc]
       quorvel --run FILE.scc [OPTION...]
       quorvel --list FILE.scc
       quorvel --help | --version

Quorvel talks to an ISO/IEC 7816 smart card through a serial-port card reader.
Without options it opens its window; with FILE.scc the window starts with that file
loaded, as Load would load it.

  --run FILE.scc      Without a window: reset the card, then execute every command of
                      the file in order, with its settings strings, log file, Bin and
                      Inv. Standard output gets the rows of the output list, one a line.
  --list FILE.scc     Print the file as text: log file name, Bin, Inv, both settings
                      strings and every command. Handy for reviewing and diffing.
  --help              Show this help and exit.
  --version           Show the version and exit.

Options of --run:
  --port NAME         Use port NAME (four characters: COM1, USB0, ACM0, DEMO or a name
                      from the [ports] section of the profile) in both settings strings.
  --settings STRING   Use STRING as both the Reset and the Execute settings.
  --no-reset          Skip the Reset: the commands go to the card as it is.
  --log FILE          Write the log to FILE in place of the file's log file name:
                      a file that can be written (or made), never the SCC file.
  --no-log            Write no log file.
  --explain           Add under each row what it means, in lines starting with "  # ".
  --format FORMAT     rows (the default) or jsonl: one JSON object a line, for the
                      Reset and for each command.
  --strict-timing     Wait every described wait in full, as the window does. Without
                      it a wait ends as soon as the bytes it waits for are in, never
                      later than the full wait; the bytes, rows and log are the same.
                      One bound: the next command follows the status bytes at once,
                      up to 200 ms sooner, so bytes a card sends unasked after its
                      status bytes may land elsewhere in the next command's rows.

Exit status:
  0  every command completed (and for --list, --help, --version)
  1  at least one command showed "Command execution failed!"
  2  nothing could run: bad usage, a file that cannot be read or is not an SCC
     file, a log that cannot be written or is the SCC file, a port that cannot
     be opened; an existing log is left as it was
  3  standard output or the log could not all be written (a full disk, a
     file-size limit, a closed output); for --run the commands still all ran

Errors go to standard error with the texts the window would show.

Example:
  quorvel --run personalise.scc --port DEMO --log personalise.log
)";
}

}  // namespace quorvel
