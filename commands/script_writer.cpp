#include "commands/script_writer.h"

#include <cstring>

#include "commands/command_text.h"
#include "commands/script_keywords.h"
#include "commands/script_scc.h"
#include "commands/script_value.h"

namespace quorvel {
namespace {

constexpr std::size_t kBytesPerLine = 32;
// Equal bytes between two that differ are written with them when they are this few:
// fewer characters than another line's start.
constexpr std::size_t kJoinedGap = 3;

std::string SwitchText(std::int32_t value) {
  if (value == 0) return kSwitchOff;
  if (value == 1) return kSwitchOn;
  return std::to_string(value);
}

void AppendHexLine(std::string& out, std::string_view start, const std::uint8_t* bytes,
                   std::size_t count) {
  out += start;
  out += HexBytesText(bytes, count);
  out += '\n';
}

// Lines "<indent><keyword> OFFSET: XX XX" for the bytes of `image` that differ from
// `plain`, at most kBytesPerLine bytes each.
void AppendDifferences(std::string& out, std::string_view lineStart, const std::uint8_t* image,
                       const std::uint8_t* plain, std::size_t size) {
  std::size_t at = 0;
  while (true) {
    while (at < size && image[at] == plain[at]) ++at;
    if (at == size) return;
    std::size_t end = at + 1;
    for (std::size_t next = end; next < size && next - end <= kJoinedGap; ++next) {
      if (image[next] != plain[next]) end = next + 1;
    }
    for (std::size_t from = at; from < end; from += kBytesPerLine) {
      const std::size_t count = std::min(kBytesPerLine, end - from);
      AppendHexLine(out, std::string(lineStart) + " " + std::to_string(from) + ": ", image + from,
                    count);
    }
    at = end;
  }
}

// Comment lines as they were read: "#" and the text after it.
void AppendComments(std::string& out, const std::vector<std::string>& comments) {
  for (const std::string& comment : comments) {
    out += '#';
    out += comment;
    out += '\n';
  }
}

void AppendSetting(std::string& out, std::string_view keyword, std::string_view value) {
  out += keyword;
  out += ' ';
  out += value;
  out += '\n';
}

template <std::size_t N>
void AppendSecondText(std::string& out, std::string_view keyword, const char (&field)[N],
                      const char (&plain)[N]) {
  if (FieldText(field) != FieldText(plain))
    AppendSetting(out, keyword, ValueText(FieldText(field)));
}

void AppendSettings(std::string& out, const CommandScript& script) {
  const SccSettings& s = script.settings;
  const SccSettings plain = DefaultSccSettings();
  AppendSetting(out, kLogKeyword, ValueText(FieldText(s.logFileName)));
  AppendSetting(out, kBinKeyword, SwitchText(s.bin));
  AppendSetting(out, kInvKeyword, SwitchText(s.inverse));
  AppendSetting(out, kResetSettingsKeyword, ValueText(FieldText(s.resetSettings)));
  AppendSetting(out, kExecuteSettingsKeyword, ValueText(FieldText(s.executeSettings)));
  AppendSecondText(out, kSecondLogKeyword, s.altLogFileName, plain.altLogFileName);
  AppendSecondText(out, kSecondResetSettingsKeyword, s.altResetSettings, plain.altResetSettings);
  AppendSecondText(out, kSecondExecuteSettingsKeyword, s.altExecuteSettings,
                   plain.altExecuteSettings);
  if (s.reservedWord != plain.reservedWord)
    AppendSetting(out, kReservedWordKeyword, std::to_string(s.reservedWord));
  if (std::memcmp(s.reservedBlock, plain.reservedBlock, sizeof s.reservedBlock) != 0) {
    std::size_t used = sizeof s.reservedBlock;
    while (used > 1 && s.reservedBlock[used - 1] == 0) --used;
    AppendSetting(out, kReservedBlockKeyword, HexBytesText(s.reservedBlock, used));
  }
  if (script.KeepsCount()) AppendSetting(out, kCountKeyword, std::to_string(*script.scc.count));
  const auto image = ScriptSccHeader(script);
  const auto shown = EncodeSccHeader(WithBareTexts(s), 0);
  AppendDifferences(out, kSccAtKeyword, image.data(), shown.data(), kSccCountAt);
}

void AppendCommand(std::string& out, const ScriptStep& step) {
  const CardCommand& record = *step.command;
  const bool toCard = record.direction == kToCard;
  const std::uint8_t shown = toCard ? record.p3() : 0;
  out += HexBytesText(record.header, 5);
  out += toCard ? " >" : " <";
  if (shown > 0) {
    out += ' ';
    out += HexBytesText(record.data, shown);
    if (step.le) {
      out += ' ';
      out += kLeKeyword;
      out += ' ';
      AppendHexByte(out, LeByte(*step.le));
    }
  }
  if (!step.expect.empty()) {
    out += ' ';
    out += ExpectationText(step.expect);
  }
  const std::string_view comment = FieldText(record.comment);
  if (!comment.empty()) {
    out += " # ";
    out += CommentText(comment);
  }
  out += '\n';
  const CardCommand image = SccRecordOf(step);
  const CardCommand plain =
      PlainRecord(record.header, toCard, std::span(record.data, shown), comment);
  AppendDifferences(out, std::string("  ") + kAtKeyword,
                    reinterpret_cast<const std::uint8_t*>(&image),
                    reinterpret_cast<const std::uint8_t*>(&plain), kSccRecordSize);
}

}  // namespace

std::string WriteScriptText(const CommandScript& script) {
  std::string out;
  out.reserve(512 + 64 * script.steps.size());
  AppendComments(out, script.leadingComments);
  AppendSettings(out, script);
  if (!script.steps.empty() || !script.closingComments.empty()) out += '\n';
  for (const ScriptStep& step : script.steps) {
    AppendComments(out, step.commentsBefore);
    if (step.IsReset()) {
      out += kResetKeyword;
      out += '\n';
    } else {
      AppendCommand(out, step);
    }
  }
  AppendComments(out, script.closingComments);
  const std::vector<std::uint8_t>& trailing = script.scc.trailing;
  if (!trailing.empty()) out += '\n';
  for (std::size_t from = 0; from < trailing.size(); from += kBytesPerLine) {
    AppendHexLine(out, std::string(kTrailingKeyword) + " ", trailing.data() + from,
                  std::min(kBytesPerLine, trailing.size() - from));
  }
  return out;
}

}  // namespace quorvel
