#include "commands/scc_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

template <std::size_t N>
void SetText(char (&field)[N], const char* text, char filler) {
  std::memset(field, filler, N);
  std::strcpy(field, text);
}

SccSettings SampleSettings() {
  SccSettings settings;
  SetText(settings.logFileName, "test.txt", 'L');
  SetText(settings.altLogFileName, "test2.txt", 'l');
  SetText(settings.executeSettings, "COM2: baud=9600 parity=E data=8 stop=2", 'E');
  SetText(settings.altExecuteSettings, "COM2: baud=10472 parity=E data=8 stop=2", 'e');
  SetText(settings.resetSettings, "COM1: baud=9600 parity=E data=8 stop=2", 'R');
  SetText(settings.altResetSettings, "COM1: baud=10472 parity=E data=8 stop=2", 'r');
  settings.reservedWord = 2;
  std::memset(settings.reservedBlock, 0, sizeof settings.reservedBlock);
  settings.reservedBlock[0] = 0x90;
  settings.reservedBlock[63] = 0x17;
  settings.bin = 1;
  settings.inverse = 1;
  return settings;
}

std::vector<std::unique_ptr<CardCommand>> SampleCommands(int count) {
  std::vector<std::unique_ptr<CardCommand>> commands;
  for (int i = 0; i < count; ++i) {
    auto command = std::make_unique<CardCommand>(NewCardCommand());
    command->header[1] = static_cast<std::uint8_t>(0xA0 + i);
    command->header[4] = 2;
    command->direction = static_cast<std::uint8_t>(i % 2);
    std::snprintf(command->comment, sizeof command->comment, "command %d", i);
    command->data[254] = static_cast<std::uint8_t>(i + 1);
    std::memset(command->reserved6, 0x60 + i, sizeof command->reserved6);
    std::memset(command->reserved345, 0x30 + i, sizeof command->reserved345);
    commands.push_back(std::move(command));
  }
  return commands;
}

std::int32_t Int32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                   static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

void PutInt32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

bool SameSettings(const SccSettings& a, const SccSettings& b) {
  return std::memcmp(a.logFileName, b.logFileName, 6 * kSccTextSize) == 0 &&
         a.reservedWord == b.reservedWord &&
         std::memcmp(a.reservedBlock, b.reservedBlock, sizeof a.reservedBlock) == 0 &&
         a.bin == b.bin && a.inverse == b.inverse;
}

TEST(SccEncode, LaysOutTheHeaderAndRecordsByteForByte) {
  const SccSettings settings = SampleSettings();
  EXPECT_EQ(EncodeScc(settings, {}).size(), 1104u);
  const auto commands = SampleCommands(3);
  const std::vector<std::uint8_t> bytes = EncodeScc(settings, commands);
  ASSERT_EQ(bytes.size(), 2964u);

  auto textAt = [&](std::size_t at) {
    return std::string(bytes.begin() + at, bytes.begin() + at + 128);
  };
  EXPECT_EQ(textAt(0), std::string(settings.logFileName, 128));
  EXPECT_EQ(textAt(128), std::string(settings.altLogFileName, 128));
  EXPECT_EQ(textAt(256), std::string(settings.executeSettings, 128));
  EXPECT_EQ(textAt(384), std::string(settings.altExecuteSettings, 128));
  EXPECT_EQ(textAt(512), std::string(settings.resetSettings, 128));
  EXPECT_EQ(textAt(640), std::string(settings.altResetSettings, 128));
  EXPECT_EQ(Int32At(bytes, 768), 2);
  EXPECT_EQ(bytes[772], 0x90);
  EXPECT_EQ(bytes[835], 0x17);
  EXPECT_EQ(textAt(836), std::string(settings.resetSettings, 128));
  EXPECT_EQ(textAt(964), std::string(settings.resetSettings, 128));
  EXPECT_EQ(Int32At(bytes, 1092), 1);
  EXPECT_EQ(Int32At(bytes, 1096), 1);
  EXPECT_EQ(Int32At(bytes, 1100), 3);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(std::memcmp(bytes.data() + 1104 + 620 * i, commands[i].get(), 620), 0) << i;
}

TEST(SccEncode, WritesIntegersLittleEndian) {
  SccSettings settings = SampleSettings();
  settings.reservedWord = -2;
  settings.inverse = 0x01020304;
  const auto bytes = EncodeScc(settings, {});
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin() + 768, bytes.begin() + 772),
              ElementsAre(0xFE, 0xFF, 0xFF, 0xFF));
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin() + 1096, bytes.begin() + 1100),
              ElementsAre(0x04, 0x03, 0x02, 0x01));
}

TEST(SccDecode, RestoresEverythingThatWasSaved) {
  const SccSettings settings = SampleSettings();
  const auto commands = SampleCommands(3);
  const SccDecodeResult loaded = DecodeScc(EncodeScc(settings, commands));
  EXPECT_EQ(loaded.status, SccDecodeStatus::kOk);
  EXPECT_TRUE(loaded.message.empty());
  EXPECT_TRUE(SameSettings(loaded.settings, settings)) << "bytes after each zero included";
  EXPECT_EQ(loaded.announcedCount, 3);
  ASSERT_EQ(loaded.loadedCount, 3u);
  ASSERT_EQ(loaded.records.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(std::memcmp(loaded.records[i].get(), commands[i].get(), 620), 0) << i;
}

TEST(SccDecode, LoadThenSaveChangesOnlyTheResetCopies) {
  std::mt19937 random(20240607);
  std::vector<std::uint8_t> file(1104 + 620 * 4);
  for (auto& byte : file) byte = static_cast<std::uint8_t>(random());
  for (std::size_t text = 0; text < 6; ++text) file[text * 128 + 100] = 0;
  for (std::size_t record = 0; record < 4; ++record) file[1104 + 620 * record + 24 + 40] = 0;
  PutInt32(file, 1100, 4);

  const SccDecodeResult loaded = DecodeScc(file);
  ASSERT_EQ(loaded.status, SccDecodeStatus::kOk);
  const std::vector<std::uint8_t> saved = EncodeScc(loaded.settings, loaded.records);
  ASSERT_EQ(saved.size(), file.size());
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (i >= 836 && i < 1092) continue;
    ASSERT_EQ(saved[i], file[i]) << "byte " << i;
  }
}

TEST(SccDecode, RefusesAFileShorterThanItsHeader) {
  for (std::size_t length : {0u, 1u, 767u, 1100u, 1103u}) {
    std::vector<std::uint8_t> bytes = EncodeScc(SampleSettings(), {});
    bytes.resize(length);
    const SccDecodeResult loaded = DecodeScc(bytes);
    EXPECT_EQ(loaded.status, SccDecodeStatus::kRefused) << length;
    EXPECT_TRUE(loaded.records.empty());
    EXPECT_THAT(loaded.message, HasSubstr(std::to_string(length) + " bytes")) << length;
  }
}

TEST(SccDecode, KeepsTheWholeRecordsOfAFileThatEndsEarly) {
  const std::vector<std::uint8_t> full = EncodeScc(SampleSettings(), SampleCommands(3));
  struct Case {
    std::size_t length;
    std::size_t loaded;
  };
  for (Case c : {Case{1104, 0}, Case{1104 + 619, 0}, Case{1104 + 620, 1}, Case{1104 + 1500, 2},
                 Case{2963, 2}}) {
    const SccDecodeResult loaded = DecodeScc(std::span<const std::uint8_t>(full.data(), c.length));
    EXPECT_EQ(loaded.status, SccDecodeStatus::kRecordsCutShort) << c.length;
    EXPECT_EQ(loaded.loadedCount, c.loaded) << c.length;
    EXPECT_EQ(loaded.records.size(), c.loaded) << c.length;
    EXPECT_EQ(loaded.announcedCount, 3);
    EXPECT_EQ(loaded.message, "The file ends early: " + std::to_string(c.loaded) +
                                  " of its 3 commands were loaded.");
    EXPECT_STREQ(loaded.settings.logFileName, "test.txt") << "the settings are still read";
  }
}

TEST(SccDecode, ANegativeCountMeansNoRecords) {
  for (std::int32_t count : {-1, -620, INT32_MIN}) {
    std::vector<std::uint8_t> bytes = EncodeScc(SampleSettings(), SampleCommands(2));
    PutInt32(bytes, 1100, count);
    const SccDecodeResult loaded = DecodeScc(bytes);
    EXPECT_EQ(loaded.status, SccDecodeStatus::kOk) << count;
    EXPECT_TRUE(loaded.records.empty()) << count;
    EXPECT_EQ(loaded.announcedCount, count);
  }
}

TEST(SccDecode, AHugeCountIsBoundedByTheFile) {
  std::vector<std::uint8_t> bytes = EncodeScc(SampleSettings(), SampleCommands(2));
  PutInt32(bytes, 1100, INT32_MAX);
  const SccDecodeResult loaded = DecodeScc(bytes);
  EXPECT_EQ(loaded.status, SccDecodeStatus::kRecordsCutShort);
  EXPECT_EQ(loaded.loadedCount, 2u);
  EXPECT_THAT(loaded.message, HasSubstr("2 of its 2147483647 commands"));
}

TEST(SccDecode, BytesBeyondTheAnnouncedRecordsAreIgnored) {
  std::vector<std::uint8_t> bytes = EncodeScc(SampleSettings(), SampleCommands(3));
  PutInt32(bytes, 1100, 1);
  const SccDecodeResult loaded = DecodeScc(bytes);
  EXPECT_EQ(loaded.status, SccDecodeStatus::kOk);
  EXPECT_EQ(loaded.records.size(), 1u);
}

TEST(SccDecode, CutsFieldsWithoutTheirZero) {
  std::vector<std::uint8_t> bytes = EncodeScc(SampleSettings(), SampleCommands(1));
  std::memset(bytes.data(), 'A', 128);
  std::memset(bytes.data() + 640, 'B', 128);
  std::memset(bytes.data() + 1104 + 24, 'c', 64);
  const SccDecodeResult loaded = DecodeScc(bytes);
  ASSERT_EQ(loaded.records.size(), 1u);
  EXPECT_EQ(std::string(loaded.settings.logFileName), std::string(127, 'A'));
  EXPECT_EQ(std::string(loaded.settings.altResetSettings), std::string(127, 'B'));
  EXPECT_EQ(std::string(loaded.records[0]->comment), std::string(63, 'c'));
  EXPECT_STREQ(loaded.settings.altLogFileName, "test2.txt") << "its neighbour is untouched";
}

}  // namespace
}  // namespace quorvel
