#pragma once

#include <optional>
#include <string>

#include "commands/scc_file.h"
#include "port/message_sink.h"

namespace quorvel {

// An SCC file named on the command line, read as Load reads it (LoadSccFile). A file that cannot be
// read, is not an SCC file or ends before its last command is refused with a message
// naming it: a batch never runs part of a list. The file itself is only read.
std::optional<SccDecodeResult> ReadSccFile(const std::string& path, MessageSink& messages);

}  // namespace quorvel
