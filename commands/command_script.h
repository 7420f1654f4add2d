#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/card_command.h"
#include "commands/scc_file.h"
#include "commands/script_expectation.h"

namespace quorvel {

// One step of a command script: a command with what it must answer, or a Reset.
struct ScriptStep {
  std::unique_ptr<CardCommand> command;  // nullptr for a Reset
  Expectation expect;                    // empty: the command expects nothing
  // The Le after a case 4 command's data (ISO/IEC 7816-4), 1 to 256: the SCC record has no
  // place for it, so it travels beside the record.
  std::optional<std::uint16_t> le;
  // An SCC record whose comment had no zero held this byte last; `command` holds the
  // zero that the program reads there instead.
  std::optional<std::uint8_t> sccCommentEnd;
  // The comment lines of a script just above this step, each the text after its "#".
  std::vector<std::string> commentsBefore;

  bool IsReset() const { return command == nullptr; }
};

// The byte a command line writes for its Le: 00 stands for 256.
inline std::uint8_t LeByte(std::uint16_t le) {
  return static_cast<std::uint8_t>(le);
}
inline std::uint16_t LeOfByte(std::uint8_t byte) {
  return byte == 0 ? 256 : byte;
}

// What an SCC file held beyond its settings and records, so that a file turned into
// a script and back is the same byte for byte.
struct SccLayoutDetails {
  // Header bytes (offset, byte) before the count that encoding the settings would
  // write otherwise: the last byte of a text field that had no zero, and bytes 836
  // to 1091 where they are not two copies of the Reset settings. Ascending offsets.
  std::vector<std::pair<std::uint16_t, std::uint8_t>> headerBytes;
  // The count, when it is not the number of commands: a negative one of a file without
  // commands, or more than a file that ends early holds.
  std::optional<std::int32_t> count;
  std::vector<std::uint8_t> trailing;  // bytes after the last record
  std::uint64_t trailingNotKept = 0;   // bytes after those, past what a script keeps

  bool empty() const {
    return headerBytes.empty() && !count && trailing.empty() && trailingNotKept == 0;
  }
};

// The settings a script's text named; the others have their defaults.
struct GivenSettings {
  bool log = false;
  bool bin = false;
  bool inv = false;
  bool resetSettings = false;
  bool executeSettings = false;
};

// The log file of a new list, and where a log named outside the working folder goes instead.
inline constexpr const char* kDefaultLogFileName = "test.txt";

// The settings of a new list: log file "test.txt" (second "test2.txt"), both settings
// strings "COM2: baud=9600 parity=E data=8 stop=2" (second ones at baud=10472), reserved
// word 2, reserved block 0x90 then zeros, Bin and Inv off.
SccSettings DefaultSccSettings();

// A command list as a script: the settings an SCC file holds and the steps in order.
struct CommandScript {
  SccSettings settings = DefaultSccSettings();
  std::vector<ScriptStep> steps;
  SccLayoutDetails scc;
  GivenSettings given;
  // Comment lines of the script's text that no step follows: those above or among the
  // settings, and those after the last step.
  std::vector<std::string> leadingComments;
  std::vector<std::string> closingComments;

  std::size_t CommandCount() const;
  // Whether a script's text can say scc.count: only a negative count of a script without
  // commands, which runs what it says. Any other count that is not the number of commands
  // is a file that ends early, which a script never writes (it says what it holds).
  bool KeepsCount() const;
};

// Most commands a script holds, as an SCC file; and most Resets.
inline constexpr std::size_t kScriptMaxCommands = kSccMaxCommands;
inline constexpr std::size_t kScriptMaxResets = kSccMaxCommands;
// Most bytes after an SCC file's last record that a script keeps.
inline constexpr std::size_t kScriptMaxTrailingBytes = std::size_t{1} << 20;

// What the SCC layout cannot keep of a script: expectations, Resets and the Le of case 4
// commands. Standalone comment lines have no place there either; they tell the reader,
// not the card, and go without a question.
struct SccLoss {
  std::size_t expectations = 0;
  std::size_t resets = 0;
  std::size_t les = 0;
  bool any() const { return expectations > 0 || resets > 0 || les > 0; }
};
SccLoss LostInScc(const CommandScript& script);
// What is lost, for a message: "2 expected answers, 1 Reset line and 1 Le of a case 4
// command"; empty when nothing is.
std::string SccLossText(const SccLoss& loss);

}  // namespace quorvel
