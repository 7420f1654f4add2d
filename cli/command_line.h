#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trace/gsmtap_target.h"

namespace quorvel {

// What the program was asked to do on its command line.
enum class CommandLineMode {
  kWindow,      // the window, with a file to load when one is named
  kRun,         // --run: Reset and every command of a file, without a window
  kExplore,     // --explore: Reset, then walk the SIM's or USIM's files and print them decoded
  kList,        // --list: a file as its command script's text
  kConvert,     // --convert: a command list from one kind of file into the other
  kHelp,        // --help
  kVersion,     // --version
  kUsageError,  // anything that does not parse
};

enum class RowFormat { kRows, kJsonLines };

// Exit statuses of the command line.
inline constexpr int kExitCompleted = 0;      // every exchange completed
inline constexpr int kExitCommandFailed = 1;  // a command failed, or answered not as expected
inline constexpr int kExitNothingRan = 2;     // bad usage, a file, log or port that cannot be used
inline constexpr int kExitOutputLost = 3;     // standard output or the log could not all be written

struct CommandLine {
  CommandLineMode mode = CommandLineMode::kWindow;
  std::optional<std::string> file;
  std::optional<std::string> output;  // --convert's second file
  // --run and --explore:
  std::optional<std::string> port;      // in place of both settings strings' port name
  std::optional<std::string> settings;  // in place of both settings strings
  bool reset = true;
  std::optional<std::string> logFile;  // in place of the file's log file name
  bool log = true;
  bool explain = false;
  RowFormat format = RowFormat::kRows;
  bool strictTiming = false;
  bool automaticResponses = false;       // --auto-response: 61xx, 9Fxx and 6Cxx answered
  bool speedNegotiation = false;         // --pps: the card's speed after the ATR
  bool fullT0 = false;                   // --full-t0: every T=0 procedure byte followed
  bool keepGoing = false;                // --keep-going: past answers not as expected
  std::optional<std::uint32_t> clockHz;  // --clock: the reader's clock
  std::optional<std::string> traceFile;  // --trace: a pcap file of GSMTAP packets
  std::optional<GsmtapTarget> gsmtap;    // --gsmtap: the same packets, live over UDP
  bool tracePins = false;                // --trace-pins: PIN data as sent in the traces
  bool verifyPin1 = false;               // --verify-pin1 (--explore): ask for PIN1, verify it once

  std::string error;  // for kUsageError: what is wrong, in one line
};

// The arguments after the program's name. Options take their value as the next argument
// or after "="; "--" ends the options.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The one-line synopsis shown after a usage error.
std::string UsageLine();
// --help: every option, the exit statuses and an example.
std::string HelpText();

}  // namespace quorvel
