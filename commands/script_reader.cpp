#include "commands/script_reader.h"

#include <cctype>
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
  kExit,
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
    {kExitKeyword, LineKind::kExit},
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

bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(word[i])))
      return false;
  }
  return true;
}

// Moves the cursor past `phrase` (words separated by blanks, in any case) when the line
// says it.
bool AcceptPhrase(LineCursor& cursor, std::string_view phrase) {
  LineCursor trial = cursor;
  while (!phrase.empty()) {
    const std::size_t space = phrase.find(' ');
    const std::string_view word = phrase.substr(0, space);
    trial.SkipBlanks();
    if (!SameWord(trial.Rest().substr(0, word.size()), word) || !EndsWord(trial.Peek(word.size())))
      return false;
    trial.Advance(word.size());
    phrase.remove_prefix(space == std::string_view::npos ? phrase.size() : space + 1);
  }
  cursor = trial;
  return true;
}

bool IsSetting(LineKind kind) {
  return kind != LineKind::kAt && kind != LineKind::kTrailing && kind != LineKind::kReset &&
         kind != LineKind::kExit;
}

std::string_view TrimmedEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A control character (C0, DEL or C1) at line[i], which a script never holds raw: the writer
// escapes it in a quoted value.
std::optional<std::string> ControlCharacterAt(std::string_view line, std::size_t i) {
  const auto byte = static_cast<unsigned char>(line[i]);
  if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return "\\x" + HexBytesText(&byte, 1);
  const auto next = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0u;
  if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {
    const auto code = static_cast<std::uint8_t>(next);
    return "U+00" + HexBytesText(&code, 1);
  }
  return std::nullopt;
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
  // A part of the line being read that came from one line of the file.
  struct Piece {
    std::size_t start = 0;  // where it begins in the line read
    std::size_t lineNumber = 0;
  };

  std::string fileName;
  std::string pending;  // the part of a line of the file not yet ended
  bool afterCarriageReturn = false;
  std::size_t lineNumber = 0;  // of the file
  std::uint64_t total = 0;
  std::string error;
  bool ended = false;  // an "exit" line was read

  // The line being read: one line of the file, or several joined by a "\" at their ends.
  std::string continued;
  std::vector<Piece> pieces;
  std::string backslashPlace;  // "s.txt:4:17" of the last backslash that continued a line

  CommandScript script;
  SccSettings named = WithBareTexts(DefaultSccSettings());
  std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> sccAt;
  std::map<const char*, std::size_t> settingLines;  // by phrase
  std::optional<std::int32_t> count;
  std::string countPlace;  // "s.txt:3:7", for a count that is not the script's
  std::size_t firstStepLine = 0;
  std::size_t commands = 0;
  std::size_t resets = 0;
  std::vector<std::string> comments;  // comment lines not yet followed by a line they go with
  // The last command's record bytes, while lines of its bytes may follow.
  std::optional<CardCommand> image;

  bool failed() const { return !error.empty(); }
  std::size_t LineOfStep() const { return pieces.front().lineNumber; }
  // "file:line:column" of the byte at `at` of the line being read.
  std::string Place(std::string_view line, std::size_t at) const {
    const Piece* piece = &pieces.front();
    for (const Piece& p : pieces) {
      if (p.start <= at) piece = &p;
    }
    return fileName + ":" + std::to_string(piece->lineNumber) + ":" +
           std::to_string(ColumnOf(line.substr(piece->start), at - piece->start));
  }
  void Fail(std::string_view line, std::size_t at, const std::string& what) {
    error = Place(line, at) + ": " + what;
  }

  void TakeFileLine(std::string_view line);
  void TakeLine(std::string_view line);
  void CheckText(std::string_view line) const;
  void ReadLine(LineCursor& cursor);
  void ReadSetting(LineCursor& cursor, const Keyword& keyword, std::size_t keywordAt);
  void ReadCommand(LineCursor& cursor);
  ScriptStep& NewStep();
  void EndCommand();
  void TakeHeader();
  std::optional<CommandScript> Finish();
};

void ScriptTextReader::State::TakeFileLine(std::string_view line) {
  ++lineNumber;
  if (lineNumber == 1 && line.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    line.remove_prefix(kByteOrderMark.size());
  const bool joining = !pieces.empty();
  if (!joining) pieces.push_back({0, lineNumber});
  try {
    CheckText(line);
  } catch (const SyntaxError& refusal) {
    pieces = {{0, lineNumber}};
    return Fail(line, refusal.at, refusal.what);
  }
  const std::size_t text = line.find_first_not_of(" \t");
  if (!joining && text != std::string_view::npos && line[text] == '#') {
    // A comment line of its own is kept as it stands, and never goes on to the next line.
    comments.emplace_back(TrimmedEnd(line.substr(text + 1)));
    pieces.clear();
    return;
  }
  const std::string_view content = TrimmedEnd(line);
  const bool continues = !content.empty() && content.back() == '\\';
  if (!joining && !continues) {
    TakeLine(line);
    pieces.clear();
    return;
  }
  if (joining) pieces.push_back({continued.size(), lineNumber});
  // As scriptor joins them: the backslash and the blanks before it become one blank.
  continued.append(continues ? TrimmedEnd(content.substr(0, content.size() - 1)) : line);
  if (continues) {
    continued += ' ';
    backslashPlace = fileName + ":" + std::to_string(lineNumber) + ":" +
                     std::to_string(ColumnOf(line, content.size() - 1));
  }
  if (continued.size() > kScriptMaxLineBytes) {
    return Fail(continued, kScriptMaxLineBytes,
                "expected at most " + std::to_string(kScriptMaxLineBytes) +
                    " bytes in a line, continued lines included, found more");
  }
  if (continues) return;
  TakeLine(continued);
  continued.clear();
  pieces.clear();
}

void ScriptTextReader::State::TakeLine(std::string_view line) {
  LineCursor cursor(line);
  try {
    ReadLine(cursor);
  } catch (const SyntaxError& refusal) {
    Fail(line, refusal.at, refusal.what);
  }
}

void ScriptTextReader::State::CheckText(std::string_view line) const {
  for (std::size_t i = 0; i < line.size();) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == 0) throw SyntaxError{i, "expected text, found a zero byte"};
    if (const auto control = ControlCharacterAt(line, i))
      throw SyntaxError{i, "expected text, found the control character " + *control};
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
    const auto [seen, first] = settingLines.emplace(line.phrase, LineOfStep());
    if (!first && kind != LineKind::kSccAt) {
      cursor.FailAt(keywordAt, "expected one \"" + keyword + "\" line, found another (line " +
                                   std::to_string(seen->second) + ")");
    }
    if (line.given) script.given.*line.given = true;
    // Comments among the settings stay with them, above every step.
    for (std::string& comment : comments) script.leadingComments.push_back(std::move(comment));
    comments.clear();
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
    case LineKind::kCount: {
      cursor.SkipBlanks();
      countPlace = Place(cursor.line(), cursor.at());
      count = static_cast<std::int32_t>(cursor.ReadNumber(INT32_MIN, INT32_MAX, "a number"));
      break;
    }
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
      NewStep();
      return;
    case LineKind::kExit:
      cursor.ExpectEndOrComment("exit");
      ended = true;
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
  std::optional<std::uint16_t> le;
  if (cursor.Peek() == '>' || cursor.Peek() == '<') {
    const char direction = cursor.Peek();
    toCard = direction == '>';
    if (first.bytes.size() != 5) {
      cursor.Fail("expected 5 header bytes (CLA INS P1 P2 P3) before \"" +
                  std::string(1, direction) + "\", found " + std::to_string(first.bytes.size()));
    }
    std::memcpy(header, first.bytes.data(), 5);
    cursor.Advance();
    data = cursor.ReadHexBytes("([#Ll");
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
    cursor.SkipBlanks();
    const std::size_t leAt = cursor.at();
    if (AcceptPhrase(cursor, kLeKeyword)) {
      if (!toCard || p3 == 0) {
        cursor.FailAt(leAt, toCard ? "expected data before Le (a command that sends none and "
                                     "reads Le bytes is written with \"<\")"
                                   : "expected no Le after \"<\" (P3 is the length to read)");
      }
      const HexRun byte = cursor.ReadHexBytes("([#");
      if (byte.bytes.size() != 1) {
        cursor.FailAt(
            byte.bytes.empty() ? cursor.at() : byte.at[1],
            "expected one byte after Le (00 for 256), found " + std::to_string(byte.bytes.size()));
      }
      le = LeOfByte(byte.bytes[0]);
    }
  } else {
    const ApduMapping apdu = MapApdu(first.bytes);
    if (apdu.isoCase == 0) {
      cursor.FailAt(apdu.refusedAt < first.at.size() ? first.at[apdu.refusedAt] : cursor.at(),
                    apdu.refusal);
    }
    std::memcpy(header, apdu.header, 5);
    toCard = apdu.toCard;
    dataBytes = apdu.data;
    le = apdu.le;
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
  ScriptStep& step = NewStep();
  step.expect = std::move(expect);
  step.le = le;
  image = PlainRecord(header, toCard, dataBytes, comment);
}

ScriptStep& ScriptTextReader::State::NewStep() {
  if (firstStepLine == 0) {
    firstStepLine = LineOfStep();
    TakeHeader();
  }
  EndCommand();
  ScriptStep& step = script.steps.emplace_back();
  step.commentsBefore = std::move(comments);
  comments.clear();
  return step;
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
  if (count && *count != static_cast<std::int32_t>(commands)) {
    if (*count >= 0 || commands > 0) {
      error = countPlace + ": expected a count of " + std::to_string(commands) +
              " (the commands of the script" + (commands == 0 ? ") or a negative one" : ")") +
              ", found " + std::to_string(*count);
      return std::nullopt;
    }
    script.scc.count = count;
  }
  script.closingComments = std::move(comments);
  return std::move(script);
}

ScriptTextReader::ScriptTextReader(std::string fileName) : state_(std::make_unique<State>()) {
  state_->fileName = std::move(fileName);
}

ScriptTextReader::~ScriptTextReader() = default;

bool ScriptTextReader::Feed(std::string_view piece) {
  State& s = *state_;
  if (s.failed()) return false;
  if (s.ended) return true;
  s.total += piece.size();
  if (s.total > kScriptMaxBytes) {
    s.error = s.fileName + ": expected at most " + std::to_string(kScriptMaxBytes) +
              " bytes in a script, found more";
    return false;
  }
  while (!piece.empty() && !s.failed() && !s.ended) {
    // LF, CR LF and a lone CR each end a line.
    if (s.afterCarriageReturn) {
      s.afterCarriageReturn = false;
      if (piece.front() == '\n') {
        piece.remove_prefix(1);
        continue;
      }
    }
    const std::size_t end = piece.find_first_of("\r\n");
    const std::string_view part = piece.substr(0, end);
    if (s.pending.size() + part.size() > kScriptMaxLineBytes) {
      s.pending.append(part.substr(0, kScriptMaxLineBytes + 1 - s.pending.size()));
      ++s.lineNumber;
      s.pieces = {{0, s.lineNumber}};
      s.Fail(s.pending, kScriptMaxLineBytes,
             "expected at most " + std::to_string(kScriptMaxLineBytes) +
                 " bytes in a line, found more");
      break;
    }
    if (end == std::string_view::npos) {
      s.pending.append(part);
      break;
    }
    s.afterCarriageReturn = piece[end] == '\r';
    if (s.pending.empty()) {
      s.TakeFileLine(part);
    } else {
      s.pending.append(part);
      s.TakeFileLine(s.pending);
      s.pending.clear();
    }
    piece.remove_prefix(end + 1);
  }
  return !s.failed();
}

bool ScriptTextReader::Ended() const {
  return state_->ended || state_->failed();
}

std::optional<CommandScript> ScriptTextReader::Finish() {
  State& s = *state_;
  if (!s.failed() && !s.ended && !s.pending.empty()) s.TakeFileLine(s.pending);
  if (!s.failed() && !s.ended && !s.pieces.empty()) {
    s.error = s.backslashPlace +
              ": expected a line to go on after the \"\\\" at the end of this one, found the "
              "end of the script";
  }
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
