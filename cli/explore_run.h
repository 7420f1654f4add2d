#pragma once

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "explore/pin_question.h"

namespace quorvel {

// --explore: resets the card with a new list's settings (after --settings and --port) and
// walks its SIM or USIM files through the same card session as a run, so every exchange is
// logged and traced as a run's are. Prints the tree of files with their decoded values, or
// with --format jsonl one object a file. With --verify-pin1, says what the card tells of
// PIN1's tries, asks `pins` for the PIN and sends it once with VERIFY before the walk.
// Returns 0 when the walk went through every known file, 1 when it stopped early, the card
// is no SIM or UICC, or PIN1 was not verified, 2 when the card was never reached (nothing
// printed, an old log as it was), 3 when standard output, the log or a trace could not all
// be written.
int RunExplore(const CommandLine& line, const BatchServices& services, PinQuestion* pins);

}  // namespace quorvel
