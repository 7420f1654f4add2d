#pragma once

#include <string>

#include "commands/command_script.h"

namespace quorvel {

// The script as text, UTF-8 with LF line ends: the comment lines above the settings, the
// settings lines (log, bin, inv, reset settings, execute settings, then whatever differs
// from a new list's), a blank line, one line a step (each command in its native form,
// with its Le, expectation and comment, and under it the bytes of its record that the line
// does not show), each step under its comment lines, the closing comment lines, and the
// bytes after an SCC file's last record. ReadScriptText reads it back as the same script.
std::string WriteScriptText(const CommandScript& script);

}  // namespace quorvel
