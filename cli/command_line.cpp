#include "cli/command_line.h"

#include <string_view>

#include "commands/scc_file.h"
#include "port/line_settings.h"
#include "port/port_names.h"
#include "port/reader_clock.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxSettingsLength = kSccTextSize - 1;  // what a settings field holds

enum class Option {
  kRun,
  kExplore,
  kVerifyPin1,
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
  kConvert,
  kAutoResponse,
  kPps,
  kFullT0,
  kKeepGoing,
  kClock,
  kTrace,
  kGsmtap,
  kTracePins,
};

// The modes an option goes with; none: any.
enum ModeMask : unsigned { kAnyMode = 0, kRunMode = 1, kExploreMode = 2, kCardModes = 3 };

struct OptionName {
  std::string_view name;
  Option option;
  bool takesValue;
  unsigned modes;
};

constexpr OptionName kOptions[] = {
    {"--run", Option::kRun, false, kAnyMode},
    {"--explore", Option::kExplore, false, kAnyMode},
    {"--list", Option::kList, false, kAnyMode},
    {"--help", Option::kHelp, false, kAnyMode},
    {"-h", Option::kHelp, false, kAnyMode},
    {"--version", Option::kVersion, false, kAnyMode},
    {"--port", Option::kPort, true, kCardModes},
    {"--settings", Option::kSettings, true, kCardModes},
    {"--no-reset", Option::kNoReset, false, kRunMode},
    {"--log", Option::kLog, true, kCardModes},
    {"--no-log", Option::kNoLog, false, kCardModes},
    {"--explain", Option::kExplain, false, kRunMode},
    {"--format", Option::kFormat, true, kCardModes},
    {"--strict-timing", Option::kStrictTiming, false, kCardModes},
    {"--convert", Option::kConvert, false, kAnyMode},
    {"--auto-response", Option::kAutoResponse, false, kRunMode},
    {"--pps", Option::kPps, false, kCardModes},
    {"--full-t0", Option::kFullT0, false, kCardModes},
    {"--keep-going", Option::kKeepGoing, false, kRunMode},
    {"--clock", Option::kClock, true, kCardModes},
    {"--trace", Option::kTrace, true, kCardModes},
    {"--gsmtap", Option::kGsmtap, true, kCardModes},
    {"--trace-pins", Option::kTracePins, false, kCardModes},
    {"--verify-pin1", Option::kVerifyPin1, false, kExploreMode},
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
    case Option::kTrace:
      line.traceFile = value;
      if (value.empty()) return std::string("--trace needs a file name");
      return std::nullopt;
    case Option::kGsmtap: {
      GsmtapTargetParse target = ParseGsmtapTarget(value);
      line.gsmtap = std::move(target.target);
      if (!line.gsmtap) return target.error;
      return std::nullopt;
    }
    case Option::kClock: {
      const ReaderClockSetting clock = ParseReaderClock(value, "--clock");
      line.clockHz = clock.hz;
      if (!clock.hz) return clock.error;
      return std::nullopt;
    }
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

// The modes an option asks for; more than one is a usage error.
struct AskedModes {
  bool run = false;
  bool explore = false;
  bool list = false;
  bool convert = false;
  bool help = false;
  bool version = false;
};

void TakeFlag(Option option, CommandLine& line, AskedModes& asked) {
  switch (option) {
    case Option::kRun:
      asked.run = true;
      break;
    case Option::kExplore:
      asked.explore = true;
      break;
    case Option::kVerifyPin1:
      line.verifyPin1 = true;
      break;
    case Option::kConvert:
      asked.convert = true;
      break;
    case Option::kAutoResponse:
      line.automaticResponses = true;
      break;
    case Option::kPps:
      line.speedNegotiation = true;
      break;
    case Option::kFullT0:
      line.fullT0 = true;
      break;
    case Option::kKeepGoing:
      line.keepGoing = true;
      break;
    case Option::kTracePins:
      line.tracePins = true;
      break;
    case Option::kList:
      asked.list = true;
      break;
    case Option::kHelp:
      asked.help = true;
      break;
    case Option::kVersion:
      asked.version = true;
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

// "--no-reset goes only with --run", for the first option given that the mode does not take.
std::optional<std::string> OptionOutOfMode(const std::vector<const OptionName*>& given,
                                           unsigned mode) {
  for (const OptionName* option : given) {
    if ((option->modes & mode) != 0) continue;
    const char* with = option->modes == kRunMode       ? "--run"
                       : option->modes == kExploreMode ? "--explore"
                                                       : "--run or --explore";
    return std::string(option->name) + " goes only with " + with;
  }
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  AskedModes asked;
  std::vector<std::string> files;
  std::vector<const OptionName*> modeBound;  // options given that only some modes take
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      files.push_back(argument);
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
    if (option->modes != kAnyMode) modeBound.push_back(option);
    if (!option->takesValue) {
      if (equals != std::string::npos) return Refused(name + " takes no value");
      TakeFlag(option->option, line, asked);
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

  if (!files.empty()) line.file = files[0];
  if (asked.help) {
    line.mode = CommandLineMode::kHelp;
    return line;
  }
  if (asked.version) {
    line.mode = CommandLineMode::kVersion;
    return line;
  }
  if (asked.run + asked.explore + asked.list + asked.convert > 1)
    return Refused("--run, --explore, --list and --convert cannot be used together");
  const unsigned mode = asked.run ? kRunMode : asked.explore ? kExploreMode : kAnyMode;
  if (auto problem = OptionOutOfMode(modeBound, mode)) return Refused(*problem);
  if (asked.convert) {
    if (files.size() != 2)
      return Refused("--convert needs two files: the one to read and the one to write");
    line.output = files[1];
    line.mode = CommandLineMode::kConvert;
    return line;
  }
  if (asked.explore && !files.empty())
    return Refused("--explore takes no file, not \"" + files[0] + "\": it walks the card");
  if (files.size() > 1)
    return Refused("only one file can be given: \"" + files[0] + "\" and \"" + files[1] + "\"");
  const bool run = asked.run;
  const bool list = asked.list;
  if (line.logFile && !line.log) return Refused("--log and --no-log cannot be used together");
  if (line.tracePins && !line.traceFile && !line.gsmtap)
    return Refused("--trace-pins goes only with --trace or --gsmtap");
  if ((run || list) && !line.file) {
    return Refused(std::string(run ? "--run" : "--list") + " needs a command file");
  }
  line.mode = run             ? CommandLineMode::kRun
              : asked.explore ? CommandLineMode::kExplore
              : list          ? CommandLineMode::kList
                              : CommandLineMode::kWindow;
  return line;
}

std::string UsageLine() {
  return "Usage: quorvel [FILE] | --run FILE [OPTION...] | --explore [OPTION...] | --list FILE | "
         "--convert IN OUT | --help | --version";
}

std::string HelpText() {
  return R"(Usage: quorvel [FILE]
       quorvel --run FILE [OPTION...]
       quorvel --explore [OPTION...]
       quorvel --list FILE
       quorvel --convert IN OUT
       quorvel --help | --version

Quorvel talks to an ISO/IEC 7816 smart card through a serial-port card reader
or a PC/SC reader (most USB card readers, through pcscd). Without options it
opens its window; with FILE the window starts with that file loaded, as Load
would load it. A FILE is an SCC file or a command script (text), told by its
content.

  --run FILE          Without a window: reset the card, then run every line of the
                      file in order (a script's "reset" lines reset the card where they
                      stand), with its settings strings, log file, Bin and Inv.
                      Standard output gets the rows of the output list, one a line. A
                      command whose answer is not the one the script expects ends the
                      run, with the difference on standard error.
  --explore           Without a window: reset the card and walk the files a SIM or
                      USIM has (never guessing file ids), each read as its SELECT
                      answer describes it; print the tree of files with their
                      decoded values. Every exchange goes to the log as in a run.
                      Sends nothing but SELECT, GET RESPONSE, READ BINARY and READ
                      RECORD unless --verify-pin1 is given. The settings are those
                      of a new list ("COM2: baud=9600 parity=E data=8 stop=2", log
                      test.txt) after --port and --settings.
  --list FILE         Print the file as a command script: its settings, then every
                      command with its header, data and comment. Handy for reviewing
                      and diffing; --convert reads it back.
  --convert IN OUT    Write the command list of IN to OUT: the SCC layout when OUT
                      ends in .scc, a command script otherwise. An SCC file cannot
                      keep expected answers or reset lines: such a list is refused.
  --help              Show this help and exit.
  --version           Show the version and exit.

Options of --run and --explore:
  --port NAME         Use port NAME (four characters: COM1, USB0, ACM0, a PC/SC reader
                      PCS0 to PCS9 in the order PC/SC lists them, a demo card DEMO,
                      DEMF, DEM1, DEMS or DEMU, or a name from the [ports] section of
                      the profile, where NAME=pcsc:Reader Name picks a PC/SC reader
                      by its name or the start of it) in both settings strings. On
                      a PC/SC reader the line clauses of the settings (baud, parity,
                      ...), the file's Inv, --pps and --clock have no effect: the
                      reader handles them; proto=t0 or proto=t1 chooses the
                      protocol there as on the serial line. The card is held
                      exclusively from the Reset on.
  --settings STRING   Use STRING as both the Reset and the Execute settings.
  --no-reset          (--run) Skip the first Reset: the commands go to the card as
                      it is (on a PC/SC reader, as the reader holds it, in the
                      protocol proto= chooses, else in the one pcscd picks).
  --log FILE          Write the log to FILE in place of the file's log file name
                      (--explore: test.txt): a file that can be written (or made),
                      never the command file.
  --no-log            Write no log file.
  --explain           (--run) Add under each row what it means, in lines starting
                      with "  # ".
  --format FORMAT     rows (the default) or jsonl: one JSON object a line, for each
                      Reset and for each exchange; with --explore, for each file.
  --auto-response     (--run) Answer 61xx and 9Fxx with GET RESPONSE and 6Cxx with
                      the same command again with P3 = xx, up to 32 times after one
                      command; each is an exchange of its own, with its rows.
  --pps               After each Reset, ask for the speed the card's ATR offers (PPS)
                      and run the line at it; a card that refuses is reset once more
                      and used at the settings string's speed. Standard error says
                      what became of the speed.
  --full-t0           On the serial line, follow every T=0 procedure byte: NULL (60)
                      waits again, the complement of INS moves one byte, a status
                      word in place of the procedure byte ends the command, P3 = 00
                      reads 256 bytes, and the card may take its work waiting time
                      between bytes. Without it only INS is taken, as always.
  --clock HZ          The clock the reader feeds the card, in Hz (1000000 to
                      20000000; 3571200 unless the profile's [reader] clock= says
                      otherwise): the speeds follow from it.
  --keep-going        (--run) Run on past commands whose answers are not the expected
                      ones.
  --trace FILE        Write every exchange to FILE as Wireshark reads it: GSMTAP
                      packets (the ATR, PPS, each command with its answer) in a pcap
                      file, written as they happen. Open it with wireshark or
                      tshark -r FILE.
  --gsmtap HOST[:PORT]
                      Send the same packets over UDP to HOST, port 4729 unless
                      PORT is given, as they happen: Wireshark listening on the
                      loopback interface shows the session live (--gsmtap 127.0.0.1).
  --trace-pins        Keep the PINs in the traces. Without it the data of VERIFY,
                      CHANGE REFERENCE DATA, DISABLE and ENABLE VERIFICATION
                      REQUIREMENT and RESET RETRY COUNTER (UNBLOCK) is FF bytes of
                      the same length there; the log is unchanged.
  --verify-pin1       (--explore) Ask for PIN1 (CHV1 on a SIM) on the terminal,
                      without echo, after saying how many tries are left; send it
                      once with VERIFY, then walk. On a serial reader the PIN's
                      digits come back as an echo: they are in the log.
  --strict-timing     Wait every described wait in full, as the window does. Without
                      it a wait ends as soon as the bytes it waits for are in, never
                      later than the full wait; the bytes, rows and log are the same.
                      One bound: the next command follows the status bytes at once,
                      up to 200 ms sooner, so bytes a card sends unasked after its
                      status bytes may land elsewhere in the next command's rows.

Exit status:
  0  every command completed, as expected; the walk of --explore went through
     every known file (and for --list, --convert, --help, --version)
  1  a command showed "Command execution failed!" (a command sent automatically
     included), or answered other than its script expects; the walk stopped
     early (the card stopped answering), the card is no SIM or UICC, or PIN1
     was not verified
  2  nothing could run or was written: bad usage, a file that cannot be read, is
     neither a command script nor an SCC file or holds an error (named by file,
     line and column), a log or trace file that cannot be written or is the
     command file, a --gsmtap host that cannot be found, a port that cannot be
     opened (no PC/SC service, a PC/SC reader that is not there or is empty, a
     card another program holds), no terminal to ask for the PIN; an existing
     log is left as it was
  3  standard output, the log or a trace could not all be written (a full disk,
     a file-size limit, a closed output); for --run the commands still all ran

Errors go to standard error with the texts the window would show.

Examples:
  quorvel --run personalise.scc --port DEMO --log personalise.log
  quorvel --run select.txt --auto-response --format jsonl
  quorvel --run select.txt --port DEMO --trace select.pcap
  quorvel --run select.txt --port PCS0 --settings "PCS0: proto=t1"
  quorvel --explore --port DEMU --pps --verify-pin1
  quorvel --convert personalise.scc personalise.txt
)";
}

}  // namespace quorvel
