#pragma once

#include <ostream>

#include "app/command_line.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// What a batch run needs from the platform.
struct BatchServices {
  DeviceFactory& devices;  // with the profile's [ports] names applied
  Clock& clock;
  MessageSink& messages;  // every error, with the window's texts
  std::ostream& out;      // the rows, or the JSON lines
};

// --run: what a user does in the window, without one. Reads the SCC file as Load would,
// opens the log as a Reset would (or the --log file, or none; a name from the file that
// leads out of the working folder is kept in it, as the window's default answer does),
// resets the card with the file's settings strings (after --settings and --port), then
// executes every command in order through the same card session the window uses, with
// deadlines in place of the fixed waits unless strict timing is asked for. Returns the
// exit status: 0 every exchange completed, 1 at least one failed, 2 nothing could run.
int RunBatch(const CommandLine& line, const BatchServices& services);

// The settings string used for a run: `--settings` in place of the file's string, then
// `--port` in place of its first four characters, the port's name.
std::string BatchSettings(const std::string& fromFile, const CommandLine& line);

}  // namespace quorvel
