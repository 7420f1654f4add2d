#pragma once

#include "cli/command_line.h"
#include "cli/stream_message_sink.h"
#include "iso7816/transmission_rate.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// What a batch run needs from the platform.
struct BatchServices {
  DeviceFactory& devices;  // with the profile's [ports] names applied
  Clock& clock;
  MessageSink& messages;                                // every error, with the window's texts
  CheckedOutput& out;                                   // the rows, or the JSON lines
  std::uint32_t readerClockHz = kDefaultReaderClockHz;  // the clock the reader feeds the card
};

// --run: what a user does in the window, without one. Reads the command file as Load
// would (a command script or an SCC file) and judges the log before anything runs: the --log file,
// or the file's own name (kept in the working folder, as the window's default answer does), never
// the command file itself. Opens the port with the file's settings strings (after --settings and
// --port), and only then the log, so a run that cannot start leaves an old log as it was. Resets
// the card, then runs every step in order through the same card session the window uses
// (a script's Reset lines reset the card there), with deadlines in place of the fixed waits
// unless strict timing is asked for. A command whose answer is not as expected ends the
// run, unless told to keep going. Returns the exit status: 0 every command completed as
// expected, 1 at least one failed or answered otherwise, 2 nothing could run, 3 standard
// output or the log could not all be written.
int RunBatch(const CommandLine& line, const BatchServices& services);

// The settings string used for a run: `--settings` in place of the file's string, then
// `--port` in place of its first four characters, the port's name.
std::string BatchSettings(const std::string& fromFile, const CommandLine& line);

}  // namespace quorvel
