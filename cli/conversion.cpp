#include "cli/conversion.h"

#include "cli/command_file.h"
#include "cli/printable_text.h"
#include "commands/script_file.h"
#include "files/file_replace.h"

namespace quorvel {

int ConvertCommandFile(const CommandLine& line, MessageSink& messages) {
  const std::string& output = *line.output;
  const auto script = ReadCommandFile(*line.file, messages);
  if (!script) return kExitNothingRan;
  const ScriptFileKind kind = KindForFileName(output);
  if (kind == ScriptFileKind::kScc) {
    const SccLoss loss = LostInScc(*script);
    if (loss.any()) {
      messages.ShowMessage("Could not convert to \"" + Printable(output) +
                           "\": an SCC file cannot keep the " + SccLossText(loss) + " of \"" +
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
    case ReplaceResult::kNotRegular:
      messages.ShowMessage("Could not write \"" + Printable(output) +
                           "\": it is not a regular file (a named pipe, a device, a folder or a "
                           "socket), and only a file is ever replaced. Nothing was written.");
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
