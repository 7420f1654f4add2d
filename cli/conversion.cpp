#include "cli/conversion.h"

#include "cli/command_file.h"
#include "cli/printable_text.h"
#include "commands/script_file.h"
#include "files/file_replace.h"

namespace quorvel {
namespace {

std::string Counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int ConvertCommandFile(const CommandLine& line, MessageSink& messages) {
  const std::string& output = *line.output;
  const auto script = ReadCommandFile(*line.file, messages);
  if (!script) return kExitNothingRan;
  const ScriptFileKind kind = KindForFileName(output);
  if (kind == ScriptFileKind::kScc) {
    const SccLoss loss = LostInScc(*script);
    if (loss.any()) {
      std::string what;
      if (loss.expectations > 0)
        what = Counted(loss.expectations, "expected answer", "expected answers");
      if (loss.resets > 0)
        what += (what.empty() ? "" : " and ") + Counted(loss.resets, "Reset line", "Reset lines");
      messages.ShowMessage("Could not convert to \"" + Printable(output) +
                           "\": an SCC file cannot keep the " + what + " of \"" +
                           Printable(*line.file) +
                           "\". Nothing was written; a name that does not end in .scc keeps them.");
      return kExitNothingRan;
    }
  }
  switch (WriteFileReplacing(output, EncodeScriptFile(*script, kind))) {
    case ReplaceResult::kReplaced:
      return kExitCompleted;
    case ReplaceResult::kReadOnly:
      messages.ShowMessage("Could not write \"" + Printable(output) + "\": the file is read-only.");
      return kExitNothingRan;
    case ReplaceResult::kFailed:
      break;
  }
  messages.ShowMessage("Could not write \"" + Printable(output) +
                       "\": its folder cannot be written, the disk is full or the name is not a "
                       "file's. Nothing was written.");
  return kExitNothingRan;
}

}  // namespace quorvel
