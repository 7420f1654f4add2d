#include "commands/script_reader.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "commands/apdu_line.h"
#include "commands/command_text.h"
#include "commands/script_keywords.h"
#include "commands/script_line.h"
#include "commands/script_scc.h"
#include "commands/script_value.h"
#include "controls/field_text.h"

namespace quorvel {
namespace {

enum class LineKind {
  kText,    // a name or settings string
  kSwitch,  // on, off or a number
  kNumber,
  kReservedBlock,
  kCount,
  kSccAt,
  kAt,
  kTrailing,
  kReset,
};

struct Keyword {
  const char* phrase;
  LineKind kind;
  char (SccSettings::*text)[kSccTextSize] = nullptr;
  std::int32_t SccSettings::*number = nullptr;
  bool GivenSettings::*given = nullptr;
  const char* what = "";
};

constexpr const char* kName = "a log file name";
constexpr const char* kSettings = "a settings string";

// Longer phrases before the shorter ones they start with.
const Keyword kKeywords[] = {
    {kResetSettingsKeyword, LineKind::kText, &SccSettings::resetSettings, nullptr,
     &GivenSettings::resetSettings, kSettings},
    {kResetKeyword, LineKind::kReset},
    {kLogKeyword, LineKind::kText, &SccSettings::logFileName, nullptr, &GivenSettings::log, kName},
    {kBinKeyword, LineKind::kSwitch, nullptr, &SccSettings::bin, &GivenSettings::bin},
    {kInvKeyword, LineKind::kSwitch, nullptr, &SccSettings::inverse, &GivenSettings::inv},
    {kExecuteSettingsKeyword, LineKind::kText, &SccSettings::executeSettings, nullptr,
     &GivenSettings::executeSettings, kSettings},
    {kSecondLogKeyword, LineKind::kText, &SccSettings::altLogFileName, nullptr, nullptr, kName},
    {kSecondResetSettingsKeyword, LineKind::kText, &SccSettings::altResetSettings, nullptr, nullptr,
     kSettings},
    {kSecondExecuteSettingsKeyword, LineKind::kText, &SccSettings::altExecuteSettings, nullptr,
     nullptr, kSettings},
    {kReservedWordKeyword, LineKind::kNumber, nullptr, &SccSettings::reservedWord},
    {kReservedBlockKeyword, LineKind::kReservedBlock},
    {kCountKeyword, LineKind::kCount},
    {kSccAtKeyword, LineKind::kSccAt},
    {kAtKeyword, LineKind::kAt},
    {kTrailingKeyword, LineKind::kTrailing},
};

constexpr std::size_t kTextLimit = kSccTextSize - 1;
constexpr std::size_t kCommentLimit = sizeof CardCommand::comment - 1;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string DataBytes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " data byte" : " data bytes");
}

bool EndsWord(char c) {
  return c == '\0' || IsBlank(c) || c == '#';
}

// Moves the cursor past `phrase` (words separated by blanks) when the line says it.
bool AcceptPhrase(LineCursor& cursor, std::string_view phrase) {
  LineCursor trial = cursor;
  while (!phrase.empty()) {
    const std::size_t space = phrase.find(' ');
    const std::string_view word = phrase.substr(0, space);
    trial.SkipBlanks();
    if (trial.Rest().substr(0, word.size()) != word || !EndsWord(trial.Peek(word.size())))
      return false;
    trial.Advance(word.size());
    phrase.remove_prefix(space == std::string_view::npos ? phrase.size() : space + 1);
  }
  cursor = trial;
  return true;
}

bool IsSetting(LineKind kind) {
  return kind != LineKind::kAt && kind != LineKind::kTrailing && kind != LineKind::kReset;
}

template <std::size_t N>
void SetText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size());
}

std::int32_t ReadSwitch(LineCursor& cursor) {
  cursor.SkipBlanks();
  if (AcceptPhrase(cursor, kSwitchOn)) return 1;
  if (AcceptPhrase(cursor, kSwitchOff)) return 0;
  return static_cast<std::int32_t>(cursor.ReadNumber(INT32_MIN, INT32_MAX, "on, off or a number"));
}

// "OFFSET: XX XX ..." for bytes of an area of `size` bytes.
std::pair<std::size_t, HexRun> ReadPlacedBytes(LineCursor& cursor, std::size_t size,
                                               std::string_view area) {
  const auto offset = static_cast<std::size_t>(
      cursor.ReadNumber(0, static_cast<std::int64_t>(size) - 1, "an offset"));
  cursor.SkipBlanks();
  if (cursor.Peek() != ':')
    cursor.Fail("expected \":\" after the offset, found " + cursor.FoundPair(cursor.at()));
  cursor.Advance();
  HexRun run = cursor.ReadHexBytes("#");
  if (run.bytes.empty())
    cursor.Fail("expected hex bytes after the offset, found " + cursor.FoundPair(cursor.at()));
  if (offset + run.bytes.size() > size) {
    cursor.FailAt(run.at[size - offset], "expected bytes within the " + std::string(area) + " (" +
                                             std::to_string(size) + " bytes), found " +
                                             std::to_string(run.bytes.size()) + " from " +
                                             std::to_string(offset));
  }
  return {offset, std::move(run)};
}

}  // namespace

struct ScriptTextReader::State {
  std::string fileName;
  std::string pending;  // the line not yet ended
  std::size_t lineNumber = 0;
  std::uint64_t total = 0;
  std::string error;

  CommandScript script;
  SccSettings named = WithBareTexts(DefaultSccSettings());
  std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> sccAt;
  std::map<const char*, std::size_t> settingLines;  // by phrase
  std::optional<std::int32_t> count;
  std::size_t firstStepLine = 0;
  std::size_t commands = 0;
  std::size_t resets = 0;
  // The last command's record bytes, while lines of its bytes may follow.
  std::optional<CardCommand> image;

  bool failed() const { return !error.empty(); }
  void Fail(std::string_view line, std::size_t at, const std::string& what) {
    error = fileName + ":" + std::to_string(lineNumber) + ":" + std::to_string(ColumnOf(line, at)) +
            ": " + what;
  }

  void TakeLine(std::string_view line);
  void CheckText(std::string_view line) const;
  void ReadLine(LineCursor& cursor);
  void ReadSetting(LineCursor& cursor, const Keyword& keyword, std::size_t keywordAt);
  void ReadCommand(LineCursor& cursor);
  void StartStep();
  void EndCommand();
  void TakeHeader();
  std::optional<CommandScript> Finish();
};

void ScriptTextReader::State::TakeLine(std::string_view line) {
  ++lineNumber;
  if (lineNumber == 1 && line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    line.remove_prefix(kByteOrderMark.size());
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  LineCursor cursor(line);
  try {
    CheckText(line);
    ReadLine(cursor);
  } catch (const SyntaxError& refusal) {
    Fail(line, refusal.at, refusal.what);
  }
}

void ScriptTextReader::State::CheckText(std::string_view line) const {
  for (std::size_t i = 0; i < line.size();) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == 0) throw SyntaxError{i, "expected text, found a zero byte"};
    const std::size_t length = byte < 0x80 ? 1 : FirstCharacterLength(line.substr(i));
    if (byte >= 0x80 && length == 1)
      throw SyntaxError{i, "expected UTF-8 text, found the byte " + HexBytesText(&byte, 1)};
    i += length;
  }
}

void ScriptTextReader::State::ReadLine(LineCursor& cursor) {
  cursor.SkipBlanks();
  if (cursor.AtEnd() || cursor.Peek() == '#') return;
  const std::size_t start = cursor.at();
  for (const Keyword& keyword : kKeywords) {
    if (AcceptPhrase(cursor, keyword.phrase)) return ReadSetting(cursor, keyword, start);
  }
  if (HexDigitValue(cursor.Peek()) >= 0) return ReadCommand(cursor);
  cursor.Fail("expected a command (hex bytes), reset or a setting, found " +
              cursor.FoundWord(start));
}

void ScriptTextReader::State::ReadSetting(LineCursor& cursor, const Keyword& line,
                                          std::size_t keywordAt) {
  const std::string keyword(cursor.line().substr(keywordAt, cursor.at() - keywordAt));
  const LineKind kind = line.kind;
  if (IsSetting(kind)) {
    if (firstStepLine > 0) {
      cursor.FailAt(keywordAt, "expected \"" + keyword + "\" before the first step (line " +
                                   std::to_string(firstStepLine) + ")");
    }
    const auto [seen, first] = settingLines.emplace(line.phrase, lineNumber);
    if (!first && kind != LineKind::kSccAt) {
      cursor.FailAt(keywordAt, "expected one \"" + keyword + "\" line, found another (line " +
                                   std::to_string(seen->second) + ")");
    }
    if (line.given) script.given.*line.given = true;
  }
  switch (kind) {
    case LineKind::kText:
      return SetText(named.*line.text, ReadValue(cursor, kTextLimit, line.what));
    case LineKind::kSwitch:
      named.*line.number = ReadSwitch(cursor);
      break;
    case LineKind::kNumber:
      named.*line.number =
          static_cast<std::int32_t>(cursor.ReadNumber(INT32_MIN, INT32_MAX, "a number"));
      break;
    case LineKind::kCount:
      count = static_cast<std::int32_t>(cursor.ReadNumber(INT32_MIN, INT32_MAX, "a number"));
      break;
    case LineKind::kReservedBlock: {
      const HexRun run = cursor.ReadHexBytes("#");
      if (run.bytes.empty() || run.bytes.size() > kSccReservedBlockSize) {
        cursor.FailAt(run.bytes.empty() ? cursor.at() : run.at[kSccReservedBlockSize],
                      "expected 1 to " + std::to_string(kSccReservedBlockSize) +
                          " bytes of the reserved block, found " +
                          std::to_string(run.bytes.size()));
      }
      std::memset(named.reservedBlock, 0, sizeof named.reservedBlock);
      std::memcpy(named.reservedBlock, run.bytes.data(), run.bytes.size());
      break;
    }
    case LineKind::kSccAt: {
      auto [offset, run] = ReadPlacedBytes(cursor, kSccCountAt, "SCC settings before the count");
      sccAt.emplace_back(offset, std::move(run.bytes));
      break;
    }
    case LineKind::kAt: {
      if (!image) cursor.FailAt(keywordAt, "expected a command above \"at\" (its bytes follow it)");
      const auto [offset, run] = ReadPlacedBytes(cursor, kSccRecordSize, "command's record");
      std::memcpy(reinterpret_cast<std::uint8_t*>(&*image) + offset, run.bytes.data(),
                  run.bytes.size());
      break;
    }
    case LineKind::kTrailing: {
      const HexRun run = cursor.ReadHexBytes("#");
      std::vector<std::uint8_t>& trailing = script.scc.trailing;
      if (trailing.size() + run.bytes.size() > kScriptMaxTrailingBytes) {
        cursor.FailAt(keywordAt, "expected at most " + std::to_string(kScriptMaxTrailingBytes) +
                                     " trailing bytes, found more");
      }
      trailing.insert(trailing.end(), run.bytes.begin(), run.bytes.end());
      break;
    }
    case LineKind::kReset:
      cursor.ExpectEndOrComment("reset");
      if (resets == kScriptMaxResets) {
        cursor.FailAt(keywordAt, "expected at most " + std::to_string(kScriptMaxResets) +
                                     " resets, found more");
      }
      ++resets;
      StartStep();
      script.steps.emplace_back();
      return;
  }
  cursor.ExpectEndOrComment("\"" + keyword + "\" and its value");
}

void ScriptTextReader::State::ReadCommand(LineCursor& cursor) {
  const HexRun first = cursor.ReadHexBytes("<>([#");
  std::uint8_t header[5];
  bool toCard = false;
  HexRun data;
  std::span<const std::uint8_t> dataBytes;
  if (cursor.Peek() == '>' || cursor.Peek() == '<') {
    const char direction = cursor.Peek();
    toCard = direction == '>';
    if (first.bytes.size() != 5) {
      cursor.Fail("expected 5 header bytes (CLA INS P1 P2 P3) before \"" +
                  std::string(1, direction) + "\", found " + std::to_string(first.bytes.size()));
    }
    std::memcpy(header, first.bytes.data(), 5);
    cursor.Advance();
    data = cursor.ReadHexBytes("([#");
    const std::size_t p3 = header[4];
    if (!toCard && !data.bytes.empty()) {
      cursor.FailAt(data.at[0], "expected no data after \"<\" (the card sends it), found " +
                                    cursor.FoundPair(data.at[0]));
    }
    if (toCard && data.bytes.size() != p3) {
      cursor.FailAt(data.bytes.size() > p3 ? data.at[p3] : cursor.at(),
                    "expected " + DataBytes(p3) + " as P3 " + HexBytesText(&header[4], 1) +
                        " says, found " + std::to_string(data.bytes.size()));
    }
    dataBytes = data.bytes;
  } else {
    const ApduMapping apdu = MapApdu(first.bytes);
    if (apdu.isoCase == 0) {
      cursor.FailAt(apdu.refusedAt < first.at.size() ? first.at[apdu.refusedAt] : cursor.at(),
                    apdu.refusal);
    }
    std::memcpy(header, apdu.header, 5);
    toCard = apdu.toCard;
    dataBytes = apdu.data;
  }
  Expectation expect;
  for (cursor.SkipBlanks(); cursor.Peek() == '(' || cursor.Peek() == '['; cursor.SkipBlanks())
    ReadExpectationPart(cursor, expect);
  if (!cursor.AtEnd() && cursor.Peek() != '#') {
    cursor.Fail("expected \"(\", \"[\", \"#\" or the end of the line, found " +
                cursor.FoundPair(cursor.at()));
  }
  const std::string comment = cursor.AtEnd() ? std::string() : ReadComment(cursor, kCommentLimit);
  if (commands == kScriptMaxCommands) {
    cursor.FailAt(first.at[0], "expected at most " + std::to_string(kScriptMaxCommands) +
                                   " commands, found more");
  }
  ++commands;
  StartStep();
  script.steps.emplace_back().expect = std::move(expect);
  image = PlainRecord(header, toCard, dataBytes, comment);
}

void ScriptTextReader::State::StartStep() {
  if (firstStepLine == 0) {
    firstStepLine = lineNumber;
    TakeHeader();
  }
  EndCommand();
}

void ScriptTextReader::State::EndCommand() {
  if (!image) return;
  TakeSccRecord(*image, script.steps.back());
  image.reset();
}

void ScriptTextReader::State::TakeHeader() {
  auto header = EncodeSccHeader(named, 0);
  for (const auto& [offset, bytes] : sccAt)
    std::copy(bytes.begin(), bytes.end(), header.begin() + static_cast<std::ptrdiff_t>(offset));
  TakeSccHeader(header, script);
}

std::optional<CommandScript> ScriptTextReader::State::Finish() {
  if (firstStepLine == 0) TakeHeader();
  EndCommand();
  if (count && *count != static_cast<std::int32_t>(commands)) script.scc.count = count;
  return std::move(script);
}

ScriptTextReader::ScriptTextReader(std::string fileName) : state_(std::make_unique<State>()) {
  state_->fileName = std::move(fileName);
}

ScriptTextReader::~ScriptTextReader() = default;

bool ScriptTextReader::Feed(std::string_view piece) {
  State& s = *state_;
  if (s.failed()) return false;
  s.total += piece.size();
  if (s.total > kScriptMaxBytes) {
    s.error = s.fileName + ": expected at most " + std::to_string(kScriptMaxBytes) +
              " bytes in a script, found more";
    return false;
  }
  while (!piece.empty() && !s.failed()) {
    const std::size_t end = piece.find('\n');
    const std::string_view part = piece.substr(0, end);
    if (s.pending.size() + part.size() > kScriptMaxLineBytes) {
      s.pending.append(part.substr(0, kScriptMaxLineBytes + 1 - s.pending.size()));
      ++s.lineNumber;
      s.Fail(s.pending, kScriptMaxLineBytes,
             "expected at most " + std::to_string(kScriptMaxLineBytes) +
                 " bytes in a line, found more");
      break;
    }
    if (end == std::string_view::npos) {
      s.pending.append(part);
      break;
    }
    if (s.pending.empty()) {
      s.TakeLine(part);
    } else {
      s.pending.append(part);
      s.TakeLine(s.pending);
      s.pending.clear();
    }
    piece.remove_prefix(end + 1);
  }
  return !s.failed();
}

std::optional<CommandScript> ScriptTextReader::Finish() {
  State& s = *state_;
  if (!s.failed() && !s.pending.empty()) s.TakeLine(s.pending);
  if (s.failed()) return std::nullopt;
  return s.Finish();
}

const std::string& ScriptTextReader::error() const {
  return state_->error;
}

ScriptReadResult ReadScriptText(std::string_view text, std::string_view fileName) {
  ScriptTextReader reader{std::string(fileName)};
  reader.Feed(text);
  ScriptReadResult result;
  result.script = reader.Finish();
  result.error = reader.error();
  return result;
}

}  // namespace quorvel
