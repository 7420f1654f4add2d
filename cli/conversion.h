#pragma once

#include "cli/command_line.h"
#include "port/message_sink.h"

namespace quorvel {

// --convert IN OUT: the command list of IN (a command script or an SCC file, told by its
// content) written to OUT in the kind its name says: the SCC layout for ".scc", a command
// script otherwise. What the SCC layout cannot keep (expected answers, Reset lines, the Le
// of case 4 commands) is never dropped: such a list is refused for an SCC name. OUT is
// replaced only when it is a regular file or a new name. Returns the exit status; on any
// refusal nothing is written.
int ConvertCommandFile(const CommandLine& line, MessageSink& messages);

}  // namespace quorvel
