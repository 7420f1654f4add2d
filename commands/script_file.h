#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_script.h"
#include "commands/scc_file.h"

namespace quorvel {

// What a file holds, told by its content: a command script (UTF-8 text), the SCC
// layout, or neither.
enum class ScriptFileKind { kText, kScc, kNeither };

// The kind of a file of `size` bytes from its first bytes (its first kSccHeaderSize
// bytes, or all of a shorter file). Text: no zero byte (an empty file is an empty script;
// the reader judges its UTF-8 and names the place of a bad byte). SCC: not text, at least
// a header long, and either exactly as long as its count says or holding two copies of its
// Reset settings at 836, as every writer of the layout leaves them. Anything else is
// neither.
ScriptFileKind RecognizeScriptFile(std::span<const std::uint8_t> start, std::uint64_t size);

struct ScriptLoadResult {
  SccLoadStatus status = SccLoadStatus::kRefused;
  ScriptFileKind kind = ScriptFileKind::kNeither;
  CommandScript script;
  // False for an SCC file that ends before the commands it announces; `message` then
  // says how many were loaded. A text script is always complete.
  bool complete = true;
  // kMissing, kRefused: why, naming the file ("Could not load \"x.scc\": ..." or, for
  // a script's text, "x.txt:12:18: expected ..."). kLoaded: what was not complete.
  std::string message;
};

// Reads the file at `path` as a script, whatever its kind: only a regular file,
// opened without blocking. A text script larger than kScriptMaxBytes is refused before
// it is read; an SCC file is read as LoadSccFile reads it, and the bytes after its last
// record up to kScriptMaxTrailingBytes. Never throws, not even when memory runs out.
ScriptLoadResult LoadScriptFile(const std::string& path);

// The kind a file of this name is written as: the SCC layout for ".scc" (any case),
// text otherwise.
ScriptFileKind KindForFileName(std::string_view path);

// The bytes of the script as a file of `kind` (kNeither counts as text).
std::vector<std::uint8_t> EncodeScriptFile(const CommandScript& script, ScriptFileKind kind);

}  // namespace quorvel
