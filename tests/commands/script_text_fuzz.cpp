// Feeds arbitrary text to the command script reader and checks what it promises:
// a refusal names the file, line and column; a script it reads is written as text
// that reads back as the same script, and as SCC bytes that come back as the same
// file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "commands/script_reader.h"
#include "commands/script_scc.h"
#include "commands/script_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ScriptReadResult read = ReadScriptText(text, "f.txt");
  if (!read.script) {
    if (read.error.rfind("f.txt:", 0) != 0) std::abort();
    return 0;
  }
  const std::string written = WriteScriptText(*read.script);
  const ScriptReadResult again = ReadScriptText(written, "f.txt");
  if (!again.script) std::abort();
  if (WriteScriptText(*again.script) != written) std::abort();

  const auto scc = EncodeScriptScc(*read.script);
  if (EncodeScriptScc(*again.script) != scc) std::abort();
  const SccScriptResult fromScc = ScriptFromScc(scc);
  if (fromScc.status == SccDecodeStatus::kRefused) std::abort();
  if (EncodeScriptScc(fromScc.script) != scc) std::abort();
  return 0;
}
