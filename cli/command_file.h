#pragma once

#include <optional>
#include <string>

#include "commands/command_script.h"
#include "port/message_sink.h"

namespace quorvel {

// A command list named on the command line, whatever its kind: a command script's text or
// an SCC file, told by its content, read as Load reads it. A file that cannot be read, is
// neither, holds an error, or ends before its last command is refused with a message naming
// it: nothing runs, lists or converts in part. The file itself is only read.
std::optional<CommandScript> ReadCommandFile(const std::string& path, MessageSink& messages);

}  // namespace quorvel
