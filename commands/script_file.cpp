#include "commands/script_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>

#include "commands/script_reader.h"
#include "commands/script_scc.h"
#include "commands/script_writer.h"
#include "files/input_file.h"

namespace quorvel {
namespace {

constexpr std::size_t kTextPiece = std::size_t{1} << 20;

// No zero byte: text. An SCC header always holds zeros (its integers, the ends of its
// names); whether the text is good UTF-8 is the reader's to say, with the place of the bad
// byte.
bool LooksLikeText(std::span<const std::uint8_t> start) {
  return std::find(start.begin(), start.end(), std::uint8_t{0}) == start.end();
}

bool LooksLikeScc(std::span<const std::uint8_t> header, std::uint64_t size) {
  std::uint32_t count = 0;
  for (std::size_t i = 0; i < 4; ++i) count |= std::uint32_t{header[kSccCountAt + i]} << (8 * i);
  if (count <= INT32_MAX && size == kSccHeaderSize + std::uint64_t{kSccRecordSize} * count)
    return true;
  const std::uint8_t* reset = header.data() + kSccResetSettingsAt;
  return std::memcmp(header.data() + kSccResetCopiesAt, reset, kSccTextSize) == 0 &&
         std::memcmp(header.data() + kSccResetCopiesAt + kSccTextSize, reset, kSccTextSize) == 0;
}

std::string CouldNotLoad(const std::string& path, const std::string& reason) {
  return "Could not load \"" + path + "\": " + reason + ".";
}

ScriptLoadResult Refused(const std::string& path, const std::string& reason) {
  ScriptLoadResult result;
  result.message = CouldNotLoad(path, reason);
  return result;
}

ScriptLoadResult LoadText(InputFile& file, const std::string& path) {
  if (file.size() > kScriptMaxBytes) {
    return Refused(path, "it holds " + std::to_string(file.size()) + " bytes, more than the " +
                             std::to_string(kScriptMaxBytes) + " a command script may hold");
  }
  ScriptTextReader reader(path);
  // No bigger than the file: a short script is not read through a zeroed mebibyte.
  std::vector<std::uint8_t> piece(
      static_cast<std::size_t>(std::clamp<std::uint64_t>(file.size(), 1, kTextPiece)));
  for (std::uint64_t offset = 0; offset < file.size();) {
    const std::ptrdiff_t got = file.ReadAt(offset, piece.data(), piece.size());
    if (got < 0) return Refused(path, file.reason());
    if (got == 0) break;  // it shrank meanwhile
    offset += static_cast<std::uint64_t>(got);
    reader.Feed(std::string_view(reinterpret_cast<const char*>(piece.data()),
                                 static_cast<std::size_t>(got)));
    if (reader.Ended()) break;  // refused, or an "exit" line ended it
  }
  ScriptLoadResult result;
  result.kind = ScriptFileKind::kText;
  std::optional<CommandScript> script = reader.Finish();
  if (!script) {
    result.message = reader.error();
    return result;
  }
  result.status = SccLoadStatus::kLoaded;
  result.script = std::move(*script);
  return result;
}

ScriptLoadResult LoadScc(InputFile& file, const std::string& path,
                         std::span<const std::uint8_t> header) {
  const std::size_t records = SccRecordsToRead(header, file.size());
  if (records > kScriptMaxCommands) {
    return Refused(path, "it holds " + std::to_string(records) + " commands, more than the " +
                             std::to_string(kScriptMaxCommands) + " a list can keep");
  }
  const std::uint64_t end = kSccHeaderSize + std::uint64_t{kSccRecordSize} * records;
  const std::uint64_t wanted = std::min<std::uint64_t>(file.size(), end + kScriptMaxTrailingBytes);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(wanted));
  const std::ptrdiff_t got = file.ReadAt(0, bytes.data(), bytes.size());
  if (got < 0) return Refused(path, file.reason());
  bytes.resize(static_cast<std::size_t>(got));  // fewer when it shrank meanwhile
  SccScriptResult decoded = ScriptFromScc(bytes);
  if (decoded.status == SccDecodeStatus::kRefused) return Refused(path, decoded.message);
  ScriptLoadResult result;
  result.status = SccLoadStatus::kLoaded;
  result.kind = ScriptFileKind::kScc;
  result.script = std::move(decoded.script);
  result.script.scc.trailingNotKept += file.size() - wanted;
  result.complete = decoded.status == SccDecodeStatus::kOk;
  result.message = decoded.message;
  return result;
}

}  // namespace

ScriptFileKind RecognizeScriptFile(std::span<const std::uint8_t> start, std::uint64_t size) {
  if (LooksLikeText(start)) return ScriptFileKind::kText;
  if (size >= kSccHeaderSize && start.size() >= kSccHeaderSize && LooksLikeScc(start, size))
    return ScriptFileKind::kScc;
  return ScriptFileKind::kNeither;
}

ScriptLoadResult LoadScriptFile(const std::string& path) {
  InputFile file(path);
  if (file.status() != InputFile::Status::kOpen) {
    ScriptLoadResult result = Refused(path, file.reason());
    if (file.status() == InputFile::Status::kMissing) result.status = SccLoadStatus::kMissing;
    return result;
  }
  try {
    std::vector<std::uint8_t> start(
        static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kSccHeaderSize)));
    const std::ptrdiff_t got = file.ReadAt(0, start.data(), start.size());
    if (got < 0) return Refused(path, file.reason());
    start.resize(static_cast<std::size_t>(got));
    switch (RecognizeScriptFile(start, file.size())) {
      case ScriptFileKind::kText:
        return LoadText(file, path);
      case ScriptFileKind::kScc:
        return LoadScc(file, path, start);
      case ScriptFileKind::kNeither:
        break;
    }
    return Refused(path, "it is neither a command script (UTF-8 text) nor an SCC file");
  } catch (const std::bad_alloc&) {
    return Refused(path, "there is not enough memory to load it");
  }
}

ScriptFileKind KindForFileName(std::string_view path) {
  constexpr std::string_view kExtension = ".scc";
  if (path.size() < kExtension.size()) return ScriptFileKind::kText;
  const std::string_view end = path.substr(path.size() - kExtension.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(end[i])) != kExtension[i])
      return ScriptFileKind::kText;
  }
  return ScriptFileKind::kScc;
}

std::vector<std::uint8_t> EncodeScriptFile(const CommandScript& script, ScriptFileKind kind) {
  if (kind == ScriptFileKind::kScc) return EncodeScriptScc(script);
  const std::string text = WriteScriptText(script);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace quorvel
