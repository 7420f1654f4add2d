#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "commands/card_command.h"

namespace quorvel {

// A byte as the Edit Command dialog shows it: two upper-case hex digits.
void AppendHexByte(std::string& text, std::uint8_t byte);

// Bytes on one line, "3F 00 1A", as the dialog shows a header.
std::string HexBytesText(const std::uint8_t* bytes, std::size_t count);

// The header as the Edit Command dialog shows it: "A0 A4 00 00 02".
std::string FormatHeaderText(const CardCommand& command);

// Data bytes as the Edit Command dialog shows them: each byte "%02hX ", eight
// to a line, every line (the last one too) ended by "\r\n".
std::string FormatDataText(const std::uint8_t* data, unsigned count);

// The Edit Command dialog's OK. Reads the header (five hexadecimal numbers, the
// low byte of each), the comment (cut to 63 characters) and, for a command
// sending P3 > 0 bytes to the card, the data bytes into `record`. Returns the
// message to show while the dialog stays open, or std::nullopt when the
// command is accepted and the dialog closes with OK.
std::optional<std::string> AcceptEditedCommand(CardCommand& record, const std::string& headerText,
                                               const std::string& commentText,
                                               const std::string& dataText);

}  // namespace quorvel
