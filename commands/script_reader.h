#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "commands/command_script.h"

namespace quorvel {

// Longest line of a script: far more than the longest a script writer writes (a
// command with 255 data bytes, a whole expected answer and an escaped comment).
inline constexpr std::size_t kScriptMaxLineBytes = 8192;
// Largest script: the text of kScriptMaxCommands commands with every byte of every
// record set (about 2.2 kB each), so every SCC file a list can keep fits as a script.
inline constexpr std::uint64_t kScriptMaxBytes = std::uint64_t{256} << 20;

// Reads a command script's text, a piece at a time, so that a file is never held
// whole. A script with any error is refused whole: nothing is taken from it. LF, CR LF
// and a lone CR end a line; a line that ends with "\" goes on on the next one, as one
// line with a blank in place of the backslash (not a comment line of its own).
class ScriptTextReader {
 public:
  // `fileName` starts every error: "script.txt:12:18: expected a hex byte, found \"G3\"".
  explicit ScriptTextReader(std::string fileName);
  ~ScriptTextReader();
  ScriptTextReader(const ScriptTextReader&) = delete;
  ScriptTextReader& operator=(const ScriptTextReader&) = delete;

  // Takes the next piece of the text. False once the script is refused; the pieces
  // after that are not read.
  bool Feed(std::string_view piece);
  // Whether the pieces still to come are read at all: not after an "exit" line, which
  // ends the script, nor once it was refused.
  bool Ended() const;
  // After the last piece: the script, or nothing when it was refused.
  std::optional<CommandScript> Finish();
  // Why the script was refused: file, line, column and what was expected there.
  const std::string& error() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

struct ScriptReadResult {
  std::optional<CommandScript> script;  // nothing when refused
  std::string error;
};

// A whole script's text at once.
ScriptReadResult ReadScriptText(std::string_view text, std::string_view fileName);

}  // namespace quorvel
