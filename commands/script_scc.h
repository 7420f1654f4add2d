#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_script.h"
#include "commands/scc_file.h"

namespace quorvel {

// A command script and the SCC layout, both ways. An SCC file becomes a script of
// its commands with the details the settings and records do not hold
// (SccLayoutDetails, ScriptStep::sccCommentEnd), so that writing the script as SCC
// gives the file back byte for byte.

struct SccScriptResult {
  SccDecodeStatus status = SccDecodeStatus::kRefused;  // as DecodeScc says
  CommandScript script;
  std::string message;  // the reason, when the status is not kOk
};

// The script of an SCC file's bytes. Refused when they are shorter than the header
// or hold more than kScriptMaxCommands commands; bytes after the last record are kept
// up to kScriptMaxTrailingBytes. Every setting counts as given.
SccScriptResult ScriptFromScc(std::span<const std::uint8_t> bytes);

// The SCC file of a script: its settings and commands with their details. Expectations
// and Resets are not stored (LostInScc counts them).
std::vector<std::uint8_t> EncodeScriptScc(const CommandScript& script);

// The header an SCC file of the script starts with.
std::array<std::uint8_t, kSccHeaderSize> ScriptSccHeader(const CommandScript& script);
// Settings and header details from a header's bytes (its count is not read).
void TakeSccHeader(std::span<const std::uint8_t, kSccHeaderSize> header, CommandScript& script);

// A command step's record as an SCC file holds it.
CardCommand SccRecordOf(const ScriptStep& step);
// A command step from a record's bytes as an SCC file holds them: a comment without
// its zero is cut at 63 bytes, as DecodeScc cuts it, and its last byte kept aside.
void TakeSccRecord(const CardCommand& bytes, ScriptStep& step);

// A new record with these fields: what a command line of a script gives before any
// bytes that it names by their offsets. `data` is used for a command to the card.
CardCommand PlainRecord(const std::uint8_t (&header)[5], bool toCard,
                        std::span<const std::uint8_t> data, std::string_view comment);

// The settings with nothing after the zero of each text field.
SccSettings WithBareTexts(const SccSettings& settings);

// The text of a field, up to its zero and never its last byte, as the program reads it.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N - 1));
}

}  // namespace quorvel
