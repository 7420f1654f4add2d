// An SCC file turned into a script's text and back is the same byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>

#include "commands/script_reader.h"
#include "commands/script_scc.h"
#include "commands/script_writer.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Field contents of every kind a file may hold: short ASCII, UTF-8, the characters
// the text form quotes or escapes, bytes after the zero, no zero at all.
void FillField(std::mt19937& random, std::uint8_t* field, std::size_t size) {
  static const char* kTexts[] = {"test.txt",
                                 "COM2: baud=9600 parity=E data=8 stop=2",
                                 "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                                 " # \" \\x41 \\",
                                 "\x01\t\x7F\xC2\x85",
                                 "\xE9t\xE9",
                                 "\""};
  std::memset(field, 0, size);
  const int kind = static_cast<int>(random() % 5);
  if (kind < 3) {
    const char* text = kTexts[random() % std::size(kTexts)];
    std::memcpy(field, text, std::min(std::strlen(text), size - 1));
  }
  if (kind == 1 || kind == 3) {
    for (std::size_t i = random() % size; i < size; ++i)
      field[i] = static_cast<std::uint8_t>(random());
  }
  if (kind == 4) {
    for (std::size_t i = 0; i < size; ++i) field[i] = static_cast<std::uint8_t>(random() | 1);
  }
}

void PutInt32(std::uint8_t* at, std::int32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

std::int32_t RandomInt(std::mt19937& random) {
  switch (random() % 4) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return static_cast<std::int32_t>(random() % 5) - 2;
    default:
      return static_cast<std::int32_t>(random());
  }
}

Bytes RandomRecord(std::mt19937& random) {
  Bytes record(kSccRecordSize);
  const CardCommand plain = NewCardCommand();
  std::memcpy(record.data(), &plain, kSccRecordSize);
  for (std::size_t i = 0; i < 5; ++i) record[i] = static_cast<std::uint8_t>(random());
  const std::uint8_t directions[] = {0, 1, 1, static_cast<std::uint8_t>(random())};
  record[5] = directions[random() % 4];
  FillField(random, record.data() + offsetof(CardCommand, comment), sizeof CardCommand::comment);
  const int reserved = static_cast<int>(random() % 3);  // none, some, every byte random
  for (std::size_t i = 6; i < kSccRecordSize; ++i) {
    const bool comment = i >= 24 && i < 88;
    if (!comment && (reserved == 2 || (reserved == 1 && random() % 40 == 0)))
      record[i] = static_cast<std::uint8_t>(random());
  }
  return record;
}

// A file that Quorvel loads: a header with random settings bytes, some records,
// a count that may disagree with them, and bytes after them.
Bytes RandomSccFile(std::mt19937& random) {
  Bytes file(kSccHeaderSize);
  for (std::size_t field = 0; field < 6; ++field)
    FillField(random, file.data() + field * kSccTextSize, kSccTextSize);
  PutInt32(file.data() + kSccReservedWordAt, RandomInt(random));
  for (std::size_t i = 0; i < kSccReservedBlockSize; ++i) {
    if (random() % 8 == 0) file[kSccReservedBlockAt + i] = static_cast<std::uint8_t>(random());
  }
  for (std::size_t copy = 0; copy < 2; ++copy)
    std::memcpy(file.data() + kSccResetCopiesAt + copy * kSccTextSize,
                file.data() + kSccResetSettingsAt, kSccTextSize);
  if (random() % 4 == 0) file[kSccResetCopiesAt + random() % 256] ^= 0x5A;
  PutInt32(file.data() + kSccBinAt, RandomInt(random));
  PutInt32(file.data() + kSccInverseAt, RandomInt(random));
  const int records = static_cast<int>(random() % 5);
  const std::int32_t counts[] = {records, records, records + 1, records - 1, -7};
  PutInt32(file.data() + kSccCountAt, counts[random() % 5]);
  for (int i = 0; i < records; ++i) {
    const Bytes record = RandomRecord(random);
    file.insert(file.end(), record.begin(), record.end());
  }
  const std::size_t trailing = random() % 3 == 0 ? random() % 700 : 0;
  for (std::size_t i = 0; i < trailing; ++i) file.push_back(static_cast<std::uint8_t>(random()));
  return file;
}

TEST(ScriptRoundTrip, EverySccFileComesBackByteForByteThroughText) {
  for (std::uint32_t seed = 1; seed <= 3000; ++seed) {
    std::mt19937 random(seed);
    const Bytes file = RandomSccFile(random);
    const SccScriptResult scc = ScriptFromScc(file);
    ASSERT_NE(scc.status, SccDecodeStatus::kRefused) << seed;
    const std::string text = WriteScriptText(scc.script);
    const ScriptReadResult read = ReadScriptText(text, "s.txt");
    ASSERT_TRUE(read.script) << "seed " << seed << ": " << read.error << "\n" << text;
    // A file that ends early comes back whole: a script says the commands it holds.
    Bytes expected = file;
    if (scc.status == SccDecodeStatus::kRecordsCutShort)
      PutInt32(expected.data() + kSccCountAt, static_cast<std::int32_t>(scc.script.CommandCount()));
    ASSERT_EQ(EncodeScriptScc(*read.script), expected) << "seed " << seed << "\n" << text;
    ASSERT_EQ(WriteScriptText(*read.script), text) << seed;
  }
}

TEST(ScriptRoundTrip, WritesOddSccBytesAsLinesOfTheirOwn) {
  CommandScript script;
  std::strcpy(script.settings.logFileName + 9, "old");  // bytes after the name's zero
  script.settings.bin = 2;
  auto& step = script.steps.emplace_back();
  step.command = std::make_unique<CardCommand>(NewCardCommand());
  std::memcpy(step.command->header, "\x00\xB0\x00\x00\x04", 5);
  step.command->direction = 7;
  step.command->data[1] = 0x3F;
  std::memset(step.command->comment, 'c', 63);
  step.sccCommentEnd = 'd';
  Bytes file = EncodeScriptScc(script);
  file[kSccResetCopiesAt + 200] = 0x01;
  PutInt32(file.data() + kSccCountAt, 3);
  file.insert(file.end(), {0xAA, 0xBB});

  const std::string text = WriteScriptText(ScriptFromScc(file).script);
  EXPECT_EQ(text,
            "log test.txt\nbin 2\ninv off\n"
            "reset settings COM2: baud=9600 parity=E data=8 stop=2\n"
            "execute settings COM2: baud=9600 parity=E data=8 stop=2\n"
            "scc at 9: 6F 6C 64\n"
            "scc at 1036: 01\n\n"
            "00 B0 00 00 04 < # " +
                std::string(63, 'c') +
                "\n"
                "  at 5: 07\n"
                "  at 87: 64 90 00 00 3F\n\n"
                "trailing AA BB\n");
  PutInt32(file.data() + kSccCountAt, 1);  // it ended early: the script holds its one command
  EXPECT_EQ(EncodeScriptScc(*ReadScriptText(text, "s.txt").script), file);
}

// Fields the program never leaves without their zero, should a list hold them so.
TEST(ScriptRoundTrip, FieldsWithoutTheirZeroComeBackAsTheSameBytes) {
  CommandScript script;
  std::memset(script.settings.logFileName, 'L', kSccTextSize);
  auto& step = script.steps.emplace_back();
  step.command = std::make_unique<CardCommand>(NewCardCommand());
  std::memset(step.command->comment, 'c', sizeof step.command->comment);
  const ScriptReadResult read = ReadScriptText(WriteScriptText(script), "s.txt");
  ASSERT_TRUE(read.script) << read.error;
  EXPECT_EQ(EncodeScriptScc(*read.script), EncodeScriptScc(script));
}

// The largest text a record can take, with every byte set, stays within the script's
// bounds for a whole list of kScriptMaxCommands commands.
TEST(ScriptRoundTrip, ScriptBoundsHoldTheLargestListOfCommands) {
  std::size_t longestRecord = 0;
  for (const std::uint8_t direction : {0, 1, 7}) {
    for (const std::uint8_t p3 : {0, 128, 255}) {
      for (const std::uint8_t fill : {0x01, 0xFF}) {
        CommandScript script;
        auto& step = script.steps.emplace_back();
        step.command = std::make_unique<CardCommand>();
        std::memset(step.command.get(), fill, sizeof(CardCommand));
        step.command->header[4] = p3;
        step.command->direction = direction;
        step.command->comment[63] = '\0';
        step.sccCommentEnd = fill;
        const std::string settings = WriteScriptText(CommandScript());
        longestRecord = std::max(longestRecord, WriteScriptText(script).size() - settings.size());
      }
    }
  }
  const std::uint64_t trailingText = kScriptMaxTrailingBytes / 32 * 105;
  const std::uint64_t settingsText = 16 * 1024;
  EXPECT_LE(settingsText + trailingText + longestRecord * kScriptMaxCommands, kScriptMaxBytes)
      << longestRecord;

  // The longest line: 255 data bytes, every expected answer and an escaped comment.
  CommandScript script;
  auto& step = script.steps.emplace_back();
  step.command = std::make_unique<CardCommand>(NewCardCommand());
  step.command->header[4] = 255;
  step.command->direction = kToCard;
  std::memset(step.command->comment, 0x01, 63);
  step.expect.statusWords.resize(kMaxStatusWordAlternatives);
  step.expect.data.emplace(kMaxExpectedDataBytes);
  std::istringstream lines(WriteScriptText(script));
  std::size_t longestLine = 0;
  for (std::string line; std::getline(lines, line);)
    longestLine = std::max(longestLine, line.size());
  EXPECT_LE(longestLine, kScriptMaxLineBytes);
}

TEST(ScriptRoundTrip, SccKeepsCommandsButNotExpectationsOrResets) {
  const ScriptReadResult read = ReadScriptText(
      "reset\n00 A4 00 00 02 > 3F 00 (61 XX)\nreset\n00 C0 00 00 1A < # answer\n", "s.txt");
  ASSERT_TRUE(read.script);
  const SccLoss loss = LostInScc(*read.script);
  EXPECT_EQ(loss.expectations, 1u);
  EXPECT_EQ(loss.resets, 2u);
  EXPECT_TRUE(loss.any());

  const SccScriptResult scc = ScriptFromScc(EncodeScriptScc(*read.script));
  EXPECT_EQ(scc.status, SccDecodeStatus::kOk);
  EXPECT_FALSE(LostInScc(scc.script).any());
  const std::string text = WriteScriptText(scc.script);
  EXPECT_EQ(text.substr(text.find("\n\n") + 2),
            "00 A4 00 00 02 > 3F 00\n00 C0 00 00 1A < # answer\n");
  EXPECT_TRUE(scc.script.scc.empty());
}

}  // namespace
}  // namespace quorvel
