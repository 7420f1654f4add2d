#pragma once

#include <ostream>

#include "cli/command_line.h"

namespace quorvel {

// Does what the command line asks for when that is not the window: help, the version, a
// usage error, --list or --run, on this machine's ports and clock. The profile is read
// for its [ports] names and never written. Returns the exit status.
int RunCommandLine(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace quorvel
