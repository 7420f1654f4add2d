#include "commands/script_scc.h"

#include <algorithm>
#include <cstring>

namespace quorvel {
namespace {

constexpr std::size_t kCommentEndAt =
    offsetof(CardCommand, comment) + sizeof CardCommand::comment - 1;

template <std::size_t N>
void ClearAfterText(char (&field)[N]) {
  const std::size_t length = FieldText(field).size();
  std::memset(field + length, 0, N - length);
}

std::int32_t CountOf(const CommandScript& script) {
  return script.scc.count.value_or(static_cast<std::int32_t>(script.CommandCount()));
}

}  // namespace

SccScriptResult ScriptFromScc(std::span<const std::uint8_t> bytes) {
  SccScriptResult result;
  if (bytes.size() >= kSccHeaderSize &&
      SccRecordsToRead(bytes.first(kSccHeaderSize), bytes.size()) > kScriptMaxCommands) {
    result.message = "it holds more than the " + std::to_string(kScriptMaxCommands) +
                     " commands a list can keep";
    return result;
  }
  SccDecodeResult decoded = DecodeScc(bytes);
  result.status = decoded.status;
  result.message = decoded.message;
  if (decoded.status == SccDecodeStatus::kRefused) return result;

  CommandScript& script = result.script;
  script.given = GivenSettings{true, true, true, true, true};
  TakeSccHeader(bytes.first<kSccHeaderSize>(), script);
  script.steps.reserve(decoded.records.size());
  const std::uint8_t* record = bytes.data() + kSccHeaderSize;
  for (auto& command : decoded.records) {
    ScriptStep& step = script.steps.emplace_back();
    step.command = std::move(command);
    if (std::memchr(record + offsetof(CardCommand, comment), '\0', sizeof CardCommand::comment) ==
        nullptr)
      step.sccCommentEnd = record[kCommentEndAt];
    record += kSccRecordSize;
  }
  if (decoded.announcedCount != static_cast<std::int32_t>(decoded.loadedCount))
    script.scc.count = decoded.announcedCount;
  const std::size_t end = kSccHeaderSize + decoded.loadedCount * kSccRecordSize;
  const std::size_t kept = std::min(bytes.size() - end, kScriptMaxTrailingBytes);
  script.scc.trailing.assign(bytes.begin() + static_cast<std::ptrdiff_t>(end),
                             bytes.begin() + static_cast<std::ptrdiff_t>(end + kept));
  script.scc.trailingNotKept = bytes.size() - end - kept;
  return result;
}

std::array<std::uint8_t, kSccHeaderSize> ScriptSccHeader(const CommandScript& script) {
  auto header = EncodeSccHeader(script.settings, CountOf(script));
  for (const auto& [offset, byte] : script.scc.headerBytes) header[offset] = byte;
  return header;
}

void TakeSccHeader(std::span<const std::uint8_t, kSccHeaderSize> header, CommandScript& script) {
  std::array<std::uint8_t, kSccHeaderSize> settingsOnly;
  std::copy(header.begin(), header.end(), settingsOnly.begin());
  std::fill(settingsOnly.begin() + kSccCountAt, settingsOnly.end(), 0);
  script.settings = DecodeScc(settingsOnly).settings;
  const auto encoded = EncodeSccHeader(script.settings, 0);
  script.scc.headerBytes.clear();
  for (std::size_t i = 0; i < kSccCountAt; ++i) {
    if (header[i] != encoded[i])
      script.scc.headerBytes.emplace_back(static_cast<std::uint16_t>(i), header[i]);
  }
}

std::vector<std::uint8_t> EncodeScriptScc(const CommandScript& script) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kSccHeaderSize + kSccRecordSize * script.steps.size() + script.scc.trailing.size());
  const auto header = ScriptSccHeader(script);
  bytes.insert(bytes.end(), header.begin(), header.end());
  for (const ScriptStep& step : script.steps) {
    if (step.IsReset()) continue;
    const CardCommand record = SccRecordOf(step);
    const auto* at = reinterpret_cast<const std::uint8_t*>(&record);
    bytes.insert(bytes.end(), at, at + kSccRecordSize);
  }
  bytes.insert(bytes.end(), script.scc.trailing.begin(), script.scc.trailing.end());
  return bytes;
}

CardCommand SccRecordOf(const ScriptStep& step) {
  CardCommand record = *step.command;
  if (step.sccCommentEnd) record.comment[sizeof record.comment - 1] = *step.sccCommentEnd;
  return record;
}

void TakeSccRecord(const CardCommand& bytes, ScriptStep& step) {
  step.command = std::make_unique<CardCommand>(bytes);
  char* comment = step.command->comment;
  step.sccCommentEnd.reset();
  if (std::memchr(comment, '\0', sizeof bytes.comment) == nullptr) {
    step.sccCommentEnd = static_cast<std::uint8_t>(comment[sizeof bytes.comment - 1]);
    comment[sizeof bytes.comment - 1] = '\0';
  }
}

CardCommand PlainRecord(const std::uint8_t (&header)[5], bool toCard,
                        std::span<const std::uint8_t> data, std::string_view comment) {
  CardCommand record = NewCardCommand();
  std::memcpy(record.header, header, sizeof header);
  record.direction = toCard ? kToCard : kFromCard;
  if (toCard) std::copy_n(data.begin(), std::min(data.size(), sizeof record.data), record.data);
  std::memcpy(record.comment, comment.data(), std::min(comment.size(), sizeof record.comment - 1));
  return record;
}

SccSettings WithBareTexts(const SccSettings& settings) {
  SccSettings bare = settings;
  ClearAfterText(bare.logFileName);
  ClearAfterText(bare.altLogFileName);
  ClearAfterText(bare.executeSettings);
  ClearAfterText(bare.altExecuteSettings);
  ClearAfterText(bare.resetSettings);
  ClearAfterText(bare.altResetSettings);
  return bare;
}

}  // namespace quorvel
